#pragma once
// A workbook opened from an .xls file: its first worksheet as a CellSheet, and
// saving back to its own file (or another) without ever leaving a half-written one.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "arrange/sheet.h"
#include "workbook/error.h"
#include "workbook/safe_save.h"

namespace zembrix::xls {

// Files larger than this are refused before they are read: an Excel 97-2003
// workbook cannot usefully be this big, and we hold the whole file in memory.
inline constexpr std::uintmax_t kMaxFileSize = 256ull * 1024 * 1024;

// The last row a BIFF8 sheet can have.
inline constexpr int kMaxRow = 65'536;

class Workbook {
public:
    // Reads and parses the file; throws WorkbookError naming what the file is
    // when it is not an Excel 97-2003 workbook we can change.
    static std::unique_ptr<Workbook> open(const std::filesystem::path& path);
    // The same from bytes already in memory (nothing is read from disk).
    static std::unique_ptr<Workbook> fromBytes(std::vector<std::uint8_t> bytes);
    ~Workbook();

    // The first worksheet by position; chart, macro and dialog sheets are skipped.
    CellSheet& firstSheet();
    std::string sheetName() const;
    const std::filesystem::path& path() const noexcept;

    // The whole file as it would be saved now.
    std::vector<std::uint8_t> saveToBytes() const;
    // Writes the workbook back to its own file: beside it, then renamed over it,
    // keeping its permissions; through a symlink to the link's target. Refuses
    // when another program changed the file since it was opened or last saved.
    // ops replaces the system calls, for tests that inject failures.
    void save(const FileOps* ops = nullptr);
    // Writes to another file (replacing it atomically when it exists).
    void saveAs(const std::filesystem::path& target, const FileOps* ops = nullptr);

private:
    struct Impl;
    explicit Workbook(std::unique_ptr<Impl> impl);
    static std::unique_ptr<Workbook> fromParsed(const std::filesystem::path& path, std::vector<std::uint8_t> bytes);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zembrix::xls
