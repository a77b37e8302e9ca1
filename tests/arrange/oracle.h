#pragma once
// The arrangement written as plainly as possible: linear look-ups, the
// quadratic exchange sort, every combination of one to three schools, and
// scans of the whole tables for every pick. Slow, and the reference the fast
// engine must match exactly.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "arrange/sheet.h"

namespace zembrix::test::oracle {

struct SchoolRow {
    std::string code;
    std::int32_t headCount = 0;
    std::optional<std::int32_t> group;
    std::optional<std::int32_t> merged;
};

struct StudentRow {
    std::string code;
    std::string sex;
    std::string number;
};

struct Tables {
    std::int32_t RecordCount = 0;
    std::vector<SchoolRow> SchoolList;     // entry e at [e - 1]
    std::vector<StudentRow> StudentList;   // entry r at [r - 1]
};

void Roster(CellSheet& sheet, Tables& tables);
void Group(std::vector<SchoolRow>& schools);
void Number(Tables& tables, CellSheet& sheet);
Tables Arrange(CellSheet& sheet);

}  // namespace zembrix::test::oracle
