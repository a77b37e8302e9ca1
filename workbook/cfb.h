#pragma once
// The compound file (OLE2) that holds an .xls workbook. We read it ourselves and
// patch it in place: the user's file must come back byte-identical except for the
// one stream we rewrite, which no general-purpose container library guarantees.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zembrix::cfb {

struct DirEntry {
    std::u16string name;        // as stored (without the terminating NUL)
    std::uint8_t type = 0;      // 0 unallocated, 1 storage, 2 stream, 5 root
    std::uint32_t left = 0, right = 0, child = 0;  // sibling/child ids (0xFFFFFFFF = none)
    std::uint32_t startSector = 0;
    std::uint64_t size = 0;     // version 3: only the low 32 bits count
};

class CompoundFile {
public:
    static bool hasSignature(std::span<const std::uint8_t> bytes) noexcept;  // D0 CF 11 E0 A1 B1 1A E1
    // Parses and validates a whole file image; throws xls::WorkbookError (ErrorKind::Corrupt with
    // a Chinese message naming the stream/sector/offset at fault; NotWorkbook when no signature).
    static CompoundFile parse(std::vector<std::uint8_t> image);
    const std::vector<DirEntry>& entries() const noexcept;
    // Index into entries() of a stream that is a direct child of the root storage and whose name
    // equals `name` ignoring ASCII letter case (real files have "WORKBOOK", "workbook").
    std::optional<std::size_t> findRootStream(std::u16string_view name) const;
    // Throws std::out_of_range unless `entry` is a stream reachable from the root.
    std::vector<std::uint8_t> readStream(std::size_t entry) const;
    // A new file image in which stream `entry` holds `content`; every byte that need not change
    // stays as it was. The object itself is not changed.
    std::vector<std::uint8_t> replaceStream(std::size_t entry, std::span<const std::uint8_t> content) const;
    const std::vector<std::uint8_t>& image() const noexcept;

private:
    friend class Patch;
    CompoundFile() = default;
    void load();

    std::vector<std::uint8_t> image_;
    std::vector<DirEntry> entries_;
    bool version4_ = false;
    std::uint32_t sectorSize_ = 512;
    std::uint32_t sectorCount_ = 0;  // sectors the image holds; the last one may be short
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> fatSectors_;
    std::vector<std::uint32_t> difatSectors_;
    std::vector<std::uint32_t> dirChain_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<std::uint32_t> miniFatChain_;
    std::vector<std::uint32_t> miniStreamChain_;
    std::uint64_t miniStreamSize_ = 0;
    std::vector<std::uint32_t> sectorOwner_;  // directory id, a table marker, or none
    std::vector<std::uint32_t> miniOwner_;
    std::vector<std::vector<std::uint32_t>> chains_;  // per entry: regular or mini chain
    std::vector<bool> reachable_;
    std::vector<bool> rootChild_;
};

}  // namespace zembrix::cfb
