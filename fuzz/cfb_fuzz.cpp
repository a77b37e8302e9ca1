// The compound-file reader alone: parse, read every stream, and replace the
// Workbook stream with itself and with grown content.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <vector>

#include "common.h"
#include "workbook/cfb.h"
#include "workbook/error.h"

using zembrix::cfb::CompoundFile;

namespace {

// The stream of `entry`, or nothing when the entry is not a readable stream.
bool Read(const CompoundFile& file, std::size_t entry, std::vector<std::uint8_t>& out) {
    try {
        out = file.readStream(entry);
        return true;
    } catch (const std::out_of_range&) {
        return false;
    }
}

void CheckReplaced(const CompoundFile& file, std::size_t entry, const std::vector<std::uint8_t>& content) {
    const std::vector<std::uint8_t> image = file.replaceStream(entry, content);
    CompoundFile patched = [&] {
        try {
            return CompoundFile::parse(image);
        } catch (const zembrix::xls::WorkbookError& e) {
            std::fprintf(stderr, "a patched image does not parse: %s\n", e.what());
            std::abort();
        }
    }();
    FUZZ_REQUIRE(patched.entries().size() == file.entries().size());
    std::vector<std::uint8_t> got;
    FUZZ_REQUIRE(Read(patched, entry, got));
    FUZZ_REQUIRE(got == content);
    // Every other stream stays as it was.
    for (std::size_t i = 0; i < file.entries().size(); ++i) {
        std::vector<std::uint8_t> before, after;
        if (i == entry || !Read(file, i, before)) continue;
        FUZZ_REQUIRE(Read(patched, i, after));
        FUZZ_REQUIRE(after == before);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<CompoundFile> file;
    try {
        file.emplace(CompoundFile::parse(std::vector<std::uint8_t>(data, data + size)));
    } catch (const zembrix::xls::WorkbookError&) {
        return 0;
    }
    std::vector<std::uint8_t> stream;
    for (std::size_t i = 0; i < file->entries().size(); ++i) Read(*file, i, stream);

    const auto workbook = file->findRootStream(u"Workbook");
    if (!workbook || !Read(*file, *workbook, stream)) return 0;
    CheckReplaced(*file, *workbook, stream);
    // Grown past the mini-stream cutoff and by a few sectors more.
    std::vector<std::uint8_t> grown = stream;
    grown.resize(stream.size() + 4096 + 1000, 0x5A);
    CheckReplaced(*file, *workbook, grown);
    if (!stream.empty()) {
        stream.pop_back();
        CheckReplaced(*file, *workbook, stream);
    }
    return 0;
}
