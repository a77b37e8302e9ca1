#pragma once
// A worksheet held in memory, with a log of every write.
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "arrange/sheet.h"

namespace zembrix::test {

struct CellWrite {
    int row;
    int column;
    std::string text;
    bool operator==(const CellWrite&) const = default;
};

class MemorySheet : public CellSheet {
public:
    MemorySheet() = default;
    // Candidate rows from row 3 on: {code, name, sex} per row.
    explicit MemorySheet(const std::vector<std::vector<std::string>>& candidateRows);

    std::string readCell(int row, int column) override;
    void writeCell(int row, int column, std::string_view text) override;

    void set(int row, int column, std::string text) { cells_[{row, column}] = std::move(text); }
    std::string get(int row, int column) const;
    const std::vector<CellWrite>& writes() const { return writes_; }
    int reads() const { return reads_; }

private:
    std::map<std::pair<int, int>, std::string> cells_;
    std::vector<CellWrite> writes_;
    int reads_ = 0;
};

}  // namespace zembrix::test
