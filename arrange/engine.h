#pragma once
// The arrangement: roster, grouping and numbering stages over a worksheet.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "arrange/sheet.h"
#include "arrange/tables.h"

namespace zembrix {

// Raised when the sheet or the tables break what the stages rely on.
class ArrangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Called once with (0, maximum) when numbering starts and once per candidate after it.
using Progress = std::function<void(std::int32_t position, std::int32_t maximum)>;

struct Roster {
    std::int32_t RecordCount = 0;
    SchoolTable SchoolList;
    StudentTable StudentList;
};

// What one arrangement did, for the summary line.
struct ArrangeSummary {
    std::int32_t candidates = 0;
    std::int32_t schools = 0;
    std::int32_t groups = 0;
    std::int32_t rooms = 0;
};

// Stage 1: reads columns A and C from row 3 down to the first row whose
// trimmed column A is empty.
void BuildRoster(CellSheet& sheet, Roster& roster);

// Stage 2: sorts the schools by head count and gives each a group number.
void GroupSchools(SchoolTable& schools);

// Stage 3: numbers every candidate and writes exam number, room and seat.
void NumberCandidates(Roster& roster, CellSheet& sheet, const Progress& progress);

// All three stages. The caller checks the format first and saves afterwards.
ArrangeSummary ExecuteArrangement(CellSheet& sheet, Roster& roster, const Progress& progress = {});

// Advances cells [0, k) of combination to the next k-element combination of
// 1..n in lexicographic order; false (and no change) after the last one.
bool NextCombination(std::vector<std::int32_t>& combination, std::int32_t k, std::int32_t n);

// Room and seat of running number n (30 seats to a room), and their texts.
struct Placement {
    std::int32_t room = 0;
    std::int32_t seat = 0;
};
Placement PlacementOf(std::int32_t runningNumber);
std::string TwoDigitText(std::int32_t value);   // at least two digits, "0" on the left
std::string ExamNumberText(std::int32_t runningNumber);

inline constexpr std::int32_t kSeatsPerRoom = 30;

}  // namespace zembrix
