#include <string>
#include <utility>

#include "arrange/engine.h"
#include "arrange/text.h"

namespace zembrix {

bool SchoolTable::FindSchool(std::string_view code, std::int32_t& index) const {
    if (stale_) {
        byCode_.clear();
        for (std::size_t e = 0; e < entries_.size(); ++e) byCode_.emplace(entries_[e].code, static_cast<std::int32_t>(e + 1));
        stale_ = false;
    }
    auto it = byCode_.find(code);
    index = it == byCode_.end() ? 0 : it->second;
    return index != 0;
}

std::int32_t SchoolTable::append(std::string_view code) {
    entries_.push_back(School{std::string(code), 1, std::nullopt, std::nullopt, count() + 1});
    const std::int32_t entry = count();
    byCode_.emplace(std::string(code), entry);
    return entry;
}

void SchoolTable::exchange(std::int32_t i, std::int32_t j) {
    School& a = (*this)[i];
    School& b = (*this)[j];
    std::swap(a.code, b.code);
    std::swap(a.headCount, b.headCount);
    std::swap(a.origin, b.origin);
    stale_ = true;  // re-indexed on the next look-up, not on every exchange of a sort
}

void SchoolTable::clear() {
    entries_.clear();
    byCode_.clear();
    stale_ = false;
}

void BuildRoster(CellSheet& sheet, Roster& roster) {
    roster.SchoolList.clear();
    roster.StudentList.clear();
    roster.RecordCount = 0;

    for (;;) {
        const std::int32_t row = roster.RecordCount + 3;
        const std::string cellA = sheet.readCell(row, 1);
        const std::string_view code = trimmed(cellA);
        if (code.empty()) break;

        std::int32_t entry = 0;
        if (roster.SchoolList.FindSchool(code, entry)) {
            ++roster.SchoolList[entry].headCount;
        } else {
            entry = roster.SchoolList.append(code);
        }

        if (roster.StudentList.upperBound() == 0) {
            roster.StudentList.grow();
            roster.StudentList.grow();
        }
        Student& student = roster.StudentList[roster.StudentList.grow()];
        student.code = code;
        student.sex = trimmed(sheet.readCell(row, 3));
        student.school = roster.SchoolList[entry].origin;
        ++roster.RecordCount;
    }

    if (roster.RecordCount == 0) {
        throw ArrangeError("对不起，第3行A列的学校代码为空，工作表中没有可编排的考生记录。请重新进行格式检测。");
    }
}

}  // namespace zembrix
