#pragma once
// The two memory figures of the About window.
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace zembrix {

struct MemoryStatus {
    std::uint64_t totalBytes = 0;   // physical memory; 64 bits, so large machines show their true size
    int loadPercent = 0;            // share of physical memory in use, 0..100
};

// From the text of /proc/meminfo; nothing when MemTotal is missing or unusable.
std::optional<MemoryStatus> ParseMeminfo(std::string_view text);

// The operating system's figures: /proc/meminfo, else sysinfo(2).
MemoryStatus QueryMemoryStatus();

// The total in KB, rounded to the nearest whole KB, grouped by the locale, then " KB".
QString PhysMemText(std::uint64_t totalBytes, const QLocale& locale);

// The load formatted with "%d %%".
QString MemoryLoadText(int loadPercent);

}  // namespace zembrix
