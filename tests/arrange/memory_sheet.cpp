#include "memory_sheet.h"

namespace zembrix::test {

MemorySheet::MemorySheet(const std::vector<std::vector<std::string>>& candidateRows) {
    set(1, 1, "XX片区学科考试考号安排表");
    set(2, 1, "学校代码");
    set(2, 2, "姓名");
    set(2, 3, "性别");
    int row = 3;
    for (const auto& cells : candidateRows) {
        for (std::size_t c = 0; c < cells.size(); ++c) set(row, static_cast<int>(c) + 1, cells[c]);
        ++row;
    }
}

std::string MemorySheet::readCell(int row, int column) {
    ++reads_;
    return get(row, column);
}

std::string MemorySheet::get(int row, int column) const {
    auto it = cells_.find({row, column});
    return it == cells_.end() ? std::string() : it->second;
}

void MemorySheet::writeCell(int row, int column, std::string_view text) {
    std::string stored(text);
    writes_.push_back({row, column, stored});
    // As a spreadsheet would: the apostrophe marks text and is not kept.
    if (!stored.empty() && stored.front() == '\'') stored.erase(0, 1);
    if (stored.empty()) cells_.erase({row, column});
    else cells_[{row, column}] = std::move(stored);
}

}  // namespace zembrix::test
