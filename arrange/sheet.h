#pragma once
// The narrow view of a worksheet that the format check and the arrangement use:
// a cell's text by 1-based row and column, row first.
#include <string>
#include <string_view>

namespace zembrix {

class CellSheet {
public:
    virtual ~CellSheet() = default;
    // The cell's value as text (blank cells read as the empty text).
    virtual std::string readCell(int row, int column) = 0;
    // The empty text blanks the cell; a leading "'" stores the rest as text.
    virtual void writeCell(int row, int column, std::string_view text) = 0;
};

}  // namespace zembrix
