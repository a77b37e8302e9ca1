#pragma once
// The model of a BIFF8 Workbook stream: reads the cells of the first worksheet as
// text, takes text writes, and serialises a new stream in which every record that
// did not change is copied byte for byte.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "workbook/error.h"

namespace zembrix::xls {

class Book {
public:
    // Parses a Workbook stream. Throws WorkbookError (OldFormat, Encrypted,
    // NoWorksheet, Corrupt with the record id and stream offset).
    static Book parse(std::vector<std::uint8_t> stream);

    std::string sheetName() const;                    // the first worksheet's name, UTF-8
    std::string cellText(int row, int column) const;  // 1-based row and column
    void setCellText(int row, int column, std::string_view text);
    std::vector<std::uint8_t> serialize() const;      // the new Workbook stream
    bool modified() const noexcept { return modified_; }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    enum class State : std::uint8_t { Original, Blank, Sst, Number };
    enum CellFlag : std::uint8_t { kAnchor = 1, kArrayAnchor = 2, kArrayMember = 4 };

    struct Cell {
        std::uint16_t col = 0;
        std::uint16_t ixfe = 0;
        State state = State::Original;
        std::uint8_t flags = 0;
        std::uint32_t src = kNone;  // header offset of the original record; kNone for a new cell
        std::uint32_t aux = kNone;  // a formula's STRING record, the isst of a text write,
                                    // or the index in numbers_ of a number write
    };
    struct Row {
        std::vector<Cell> cells;    // ascending column
        std::uint32_t rowRec = kNone;
        std::uint16_t ghostXf = 0xFFFF;
        bool changed = false;
    };
    struct Sheet {                  // every BOUNDSHEET8, in record order
        std::size_t boundSheetPos = 0;
        std::size_t bof = 0;
        bool walked = false;        // its substream was walked and is sound
        std::size_t end = 0;
        std::vector<std::size_t> indexes;  // INDEX records of the substream
    };

    Book() = default;
    void parseGlobals();
    void parseSst(std::size_t pos);
    void walkSheet(Sheet& sheet, bool& dialog, std::size_t& labelSsts, std::uint64_t& isstEnd) const;
    void parseFirstSheet();
    void reserveRows();
    void addCell(std::uint16_t row, const Cell& cell);
    const Cell* findCell(int row, int col) const;
    Cell* findCell(int row, int col);
    std::string originalText(const Cell& cell) const;
    std::string sstString(std::uint32_t index) const;
    std::uint32_t internString(std::string_view text);
    bool isLabelSst(const Cell& cell) const;
    bool isBlank(const Cell& cell) const;

    void writeGlobals(std::vector<std::uint8_t>& out, std::vector<std::size_t>& boundSheetOut) const;
    void appendStrings(std::vector<std::uint8_t>& out, std::size_t recHeader, std::uint32_t first,
                       std::vector<std::pair<std::uint32_t, std::uint32_t>>& where) const;
    void writeExtSst(std::vector<std::uint8_t>& out,
                     const std::vector<std::pair<std::uint32_t, std::uint32_t>>& newWhere) const;
    void writeSheet(std::vector<std::uint8_t>& out) const;

    std::vector<std::uint8_t> stream_;
    std::size_t globalsEnd_ = 0;
    std::vector<Sheet> sheets_;
    std::size_t first_ = 0;         // index in sheets_ of the first worksheet
    std::string sheetName_;
    std::size_t sheetStart_ = 0, sheetEnd_ = 0;

    // SST: the original strings plus the ones added, as one UTF-8 buffer.
    bool hasSst_ = false;
    std::size_t sstPos_ = 0;
    std::vector<std::size_t> sstRecords_;   // SST and its CONTINUE records
    std::size_t sstChainEnd_ = 0;
    bool sstAppendable_ = true;             // the chain ends right after its last string
    std::uint32_t sstTotalHeader_ = 0;
    std::uint32_t sstUniqueHeader_ = 0;
    std::string sstText_;
    std::vector<std::uint32_t> sstOffsets_{0};
    std::vector<std::uint32_t> sstStart_;   // stream offset of each original string
    std::vector<bool> sstPlain_;            // neither rich text nor phonetic
    std::uint32_t sstOriginal_ = 0;
    // Open-addressing set of SST indexes keyed by their text, for reusing an
    // existing string; a slot holds an index or kNone. Built on the first write.
    std::vector<std::uint32_t> sstSlots_;
    std::size_t sstSlotsUsed_ = 0;
    bool sstIndexBuilt_ = false;
    std::string_view sstView(std::uint32_t index) const;
    std::uint32_t* sstSlot(std::string_view text);
    void sstRemember(std::uint32_t index);
    std::size_t extSstPos_ = SIZE_MAX;
    std::size_t labelSstCount_ = 0;         // LABELSST records in all sheets
    bool labelSstKnown_ = true;
    std::uint64_t sstReferenced_ = 0;
    std::vector<double> numbers_;       // values of the numbers written  // one past the highest string index a LABELSST names
    long long labelSstDelta_ = 0;

    std::vector<Row> rows_;
    std::array<std::uint16_t, 256> colXf_{};
    bool modified_ = false;
};

}  // namespace zembrix::xls
