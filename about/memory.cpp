#include "about/memory.h"

#include <sys/sysinfo.h>

#include <QFile>

#include <algorithm>
#include <charconv>
#include <limits>

namespace zembrix {

namespace {

// The value in kB of a "Name:   123 kB" line, if the line is `name`.
std::optional<std::uint64_t> fieldKb(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line.substr(0, name.size()) != name || line[name.size()] != ':')
        return std::nullopt;
    std::string_view rest = line.substr(name.size() + 1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (ec != std::errc{} || end == rest.data()) return std::nullopt;
    return value;
}

int loadOf(std::uint64_t total, std::uint64_t available) {
    if (total == 0) return 0;
    available = std::min(available, total);
    const long double used = static_cast<long double>(total - available);
    return static_cast<int>(used * 100.0L / static_cast<long double>(total) + 0.5L);
}

}  // namespace

std::optional<MemoryStatus> ParseMeminfo(std::string_view text) {
    std::optional<std::uint64_t> total, available, freeKb, buffers, cached;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (auto v = fieldKb(line, "MemTotal")) total = v;
        else if (auto a = fieldKb(line, "MemAvailable")) available = a;
        else if (auto f = fieldKb(line, "MemFree")) freeKb = f;
        else if (auto b = fieldKb(line, "Buffers")) buffers = b;
        else if (auto c = fieldKb(line, "Cached")) cached = c;
    }
    constexpr std::uint64_t kMaxKb = std::numeric_limits<std::uint64_t>::max() / 1024;
    if (!total || *total == 0 || *total > kMaxKb) return std::nullopt;
    // Older kernels lack MemAvailable: free plus buffers plus page cache comes close.
    const std::uint64_t avail = available ? *available
                                          : std::min(*total, freeKb.value_or(0) + buffers.value_or(0) + cached.value_or(0));
    return MemoryStatus{*total * 1024, loadOf(*total, avail)};
}

MemoryStatus QueryMemoryStatus() {
    QFile file(QStringLiteral("/proc/meminfo"));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.read(64 * 1024);
        if (auto status = ParseMeminfo(std::string_view(text.constData(), static_cast<std::size_t>(text.size()))))
            return *status;
    }
    struct sysinfo info {};
    if (sysinfo(&info) != 0) return {};
    const std::uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    const std::uint64_t total = static_cast<std::uint64_t>(info.totalram) * unit;
    const std::uint64_t freeBytes = static_cast<std::uint64_t>(info.freeram + info.bufferram) * unit;
    return {total, loadOf(total, freeBytes)};
}

QString PhysMemText(std::uint64_t totalBytes, const QLocale& locale) {
    // Nearest whole KB without going through floating point.
    const std::uint64_t kb = totalBytes / 1024 + (totalBytes % 1024 >= 512 ? 1 : 0);
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(static_cast<qulonglong>(kb)) + QStringLiteral(" KB");
}

QString MemoryLoadText(int loadPercent) {
    return QString::asprintf("%d %%", loadPercent);
}

}  // namespace zembrix
