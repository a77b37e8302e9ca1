#pragma once
// Helpers of the workbook tests: building small BIFF8 streams record by record,
// loading Workbook streams of corpus files, and a validator that recomputes the
// structures holding offsets and counts from a stream and compares.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zembrix::xls::test {

using Bytes = std::vector<std::uint8_t>;

// Little-endian pieces and whole records.
Bytes u16(std::uint16_t v);
Bytes u32(std::uint32_t v);
Bytes f64(double v);
Bytes cat(std::initializer_list<Bytes> parts);
Bytes record(std::uint16_t id, const Bytes& data);

// Cell records (row and column 0-based).
Bytes blank(int row, int col, int xf = 15);
Bytes number(int row, int col, double v, int xf = 15);
Bytes rk(int row, int col, std::uint32_t raw, int xf = 15);
Bytes mulRk(int row, int col, const std::vector<std::uint32_t>& raws, int xf = 15);
Bytes mulBlank(int row, int col, int count, int xf = 15);
Bytes labelSst(int row, int col, std::uint32_t isst, int xf = 15);
Bytes label(int row, int col, const std::u16string& text, int xf = 15);
Bytes boolErr(int row, int col, int value, bool error, int xf = 15);
// A FORMULA whose cached result is a number (when `result` holds one) or of a special kind:
// 0 string, 1 boolean, 2 error, 3 empty string, with `value` the boolean or error code.
Bytes formulaNumber(int row, int col, double v);
Bytes formulaSpecial(int row, int col, int kind, int value = 0);
Bytes stringRecord(const std::u16string& text);
Bytes rowRecord(int row, int colMic, int colMac, int xf = -1);

// SST holding the given strings (UTF-16 when any unit > 0xFF), split into records
// so that no record's data exceeds `maxData` bytes.
Bytes sst(const std::vector<std::u16string>& strings, std::uint32_t total, std::size_t maxData = 8224);

// A workbook with one worksheet "Sheet1" (or `name`): globals BOF, `globals` records,
// BOUNDSHEET8, EOF; then the sheet: BOF, DIMENSIONS, `sheet` records, EOF.
Bytes book(const std::vector<Bytes>& globals, const std::vector<Bytes>& sheet, const std::u16string& name = u"Sheet1");

// A root stream ("Workbook", or "Book" for BIFF5) of an .xls file; nullopt when it cannot be read.
std::optional<Bytes> workbookStream(const std::string& path, const std::u16string& name = u"Workbook");
// The corpus folder, or "" when it is absent.
std::string corpusDir();

struct ValidateOptions {
    bool extSst = true;    // EXTSST must match what it should be
    bool sstTotal = true;  // cstTotal must equal the LABELSST count
};
// "" when the structures agree with the stream, else what disagrees.
std::string validate(const Bytes& stream, ValidateOptions options = {});

}  // namespace zembrix::xls::test
