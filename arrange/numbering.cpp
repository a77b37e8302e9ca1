// Numbering: groups take turns in increasing group number, one candidate a
// turn; each turn seeks the sex opposite to the last candidate's, falling back
// to any candidate of the group. Per-school queues of unnumbered rows by sex and
// a ring of the groups that still have candidates make every pick O(1) while
// picking exactly the rows that scanning the tables would.
#include <array>
#include <charconv>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "arrange/engine.h"
#include "arrange/text.h"

namespace zembrix {
namespace {

// Appends value with at least two digits, "0" on the left.
std::size_t appendTwoDigits(char* out, std::int32_t value) {
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const auto length = static_cast<std::size_t>(end - digits);
    std::size_t at = 0;
    if (length < 2) out[at++] = '0';
    std::memcpy(out + at, digits, length);
    return at + length;
}

// Exam number, room and seat into columns D, E and F, each marked as text.
void writePlacement(CellSheet& sheet, std::int32_t row, Placement place) {
    char room[16] = "'";
    char seat[16] = "'";
    char exam[32] = "'";
    const std::size_t roomLength = 1 + appendTwoDigits(room + 1, place.room);
    const std::size_t seatLength = 1 + appendTwoDigits(seat + 1, place.seat);
    std::memcpy(exam, room, roomLength);
    std::memcpy(exam + roomLength, seat + 1, seatLength - 1);
    sheet.writeCell(row, 4, std::string_view(exam, roomLength + seatLength - 1));
    sheet.writeCell(row, 5, std::string_view(room, roomLength));
    sheet.writeCell(row, 6, std::string_view(seat, seatLength));
}

enum Sex : std::size_t { kBoy = 0, kGirl = 1, kOther = 2 };

Sex sexOf(std::string_view text) {
    if (text == kMale) return kBoy;
    if (text == kFemale) return kGirl;
    return kOther;
}

struct RowQueue {
    std::vector<std::int32_t> rows;   // ascending
    std::size_t head = 0;
    bool empty() const { return head == rows.size(); }
    std::int32_t front() const { return rows[head]; }
};

struct SchoolQueues {
    std::array<RowQueue, 3> bySex;
    bool empty() const { return bySex[0].empty() && bySex[1].empty() && bySex[2].empty(); }
    // The lowest unnumbered row of any sex.
    std::int32_t lowest() const {
        std::int32_t best = 0;
        for (const RowQueue& q : bySex) {
            if (!q.empty() && (best == 0 || q.front() < best)) best = q.front();
        }
        return best;
    }
};

class Numbering {
public:
    explicit Numbering(const Roster& roster) {
        const SchoolTable& schools = roster.SchoolList;
        const std::int32_t s = schools.count();
        queues_.resize(static_cast<std::size_t>(s) + 1);
        groupSchools_.resize(static_cast<std::size_t>(s) + 1);
        for (std::int32_t e = 1; e <= s; ++e) {
            const std::int32_t g = schools[e].group.value_or(0);
            if (g >= 1 && g <= s) groupSchools_[static_cast<std::size_t>(g)].push_back(e);
        }
        std::vector<std::int32_t> byOrigin(static_cast<std::size_t>(s) + 1, 0);
        for (std::int32_t e = 1; e <= s; ++e) {
            const std::int32_t o = schools[e].origin;
            if (o >= 1 && o <= s) byOrigin[static_cast<std::size_t>(o)] = e;
        }
        rowSchool_.assign(static_cast<std::size_t>(roster.RecordCount) + 3, 0);
        rowSex_.assign(static_cast<std::size_t>(roster.RecordCount) + 3, kOther);
        for (std::int32_t r = 3; r <= roster.RecordCount + 2; ++r) {
            const Student& student = roster.StudentList[r];
            std::int32_t entry = student.school >= 1 && student.school <= s
                                     ? byOrigin[static_cast<std::size_t>(student.school)] : 0;
            if (entry == 0 || schools[entry].code != student.code) schools.FindSchool(student.code, entry);
            const std::int32_t g = entry != 0 ? schools[entry].group.value_or(0) : 0;
            if (g < 1 || g > s) {
                throw ArrangeError("对不起，第" + std::to_string(r) + "行的学校代码“" + student.code +
                                   "”没有分组，不能编排！请重新进行格式检测后再编排。");
            }
            const Sex sex = sexOf(student.sex);
            queues_[static_cast<std::size_t>(entry)].bySex[sex].rows.push_back(r);
            rowSex_[static_cast<std::size_t>(r)] = sex;
            rowSchool_[static_cast<std::size_t>(r)] = entry;
        }
        // The ring of group numbers that still have candidates, in increasing order.
        next_.assign(static_cast<std::size_t>(s) + 1, 0);
        prev_.assign(static_cast<std::size_t>(s) + 1, 0);
        std::int32_t last = 0;
        for (std::int32_t g = 1; g <= s; ++g) {
            if (!groupHasCandidates(g)) continue;
            if (first_ == 0) first_ = g;
            else link(last, g);
            last = g;
        }
        if (first_ != 0) link(last, first_);
    }

    // The row of the candidate group g gives when the last candidate had sex
    // lastSex, or false when the group has none left.
    bool PickStudent(std::int32_t g, std::string_view lastSex, std::int32_t& pickedRow) const {
        return pick(g, sexOf(lastSex), pickedRow);
    }

    void run(Roster& roster, CellSheet& sheet, const Progress& progress) {
        if (progress) progress(0, roster.RecordCount);
        std::int32_t g = first_;
        std::string_view lastSex = kFemale;  // so that a boy is sought first
        for (std::int32_t n = 1; n <= roster.RecordCount; ++n) {
            std::int32_t row = 0;
            if (g == 0 || !PickStudent(g, lastSex, row)) {
                throw ArrangeError("对不起，编排到第" + std::to_string(n) + "个考生时找不到未编号的考生，不能编排！");
            }
            Student& student = roster.StudentList[row];
            student.number = std::to_string(n);
            lastSex = student.sex;  // the table does not move while numbering
            const auto r = static_cast<std::size_t>(row);
            ++queues_[static_cast<std::size_t>(rowSchool_[r])].bySex[rowSex_[r]].head;
            writePlacement(sheet, row, PlacementOf(n));

            const std::int32_t following = next_[static_cast<std::size_t>(g)];
            if (!groupHasCandidates(g)) unlink(g);
            g = first_ == 0 ? 0 : following;
            if (progress) progress(n, roster.RecordCount);
        }
    }

private:
    // The picked row is always the front of its school's queue for its sex.
    bool pick(std::int32_t g, Sex last, std::int32_t& pickedRow) const {
        pickedRow = 0;
        if (last == kBoy || last == kGirl) {
            const Sex sought = last == kBoy ? kGirl : kBoy;
            for (std::int32_t e : groupSchools_[static_cast<std::size_t>(g)]) {
                const RowQueue& q = queues_[static_cast<std::size_t>(e)].bySex[sought];
                if (!q.empty()) {
                    pickedRow = q.front();
                    return true;
                }
            }
        }
        for (std::int32_t e : groupSchools_[static_cast<std::size_t>(g)]) {
            const SchoolQueues& school = queues_[static_cast<std::size_t>(e)];
            if (!school.empty()) {
                pickedRow = school.lowest();
                return true;
            }
        }
        return false;
    }

    bool groupHasCandidates(std::int32_t g) const {
        for (std::int32_t e : groupSchools_[static_cast<std::size_t>(g)]) {
            if (!queues_[static_cast<std::size_t>(e)].empty()) return true;
        }
        return false;
    }
    void link(std::int32_t a, std::int32_t b) {
        next_[static_cast<std::size_t>(a)] = b;
        prev_[static_cast<std::size_t>(b)] = a;
    }
    void unlink(std::int32_t g) {
        const std::int32_t p = prev_[static_cast<std::size_t>(g)];
        const std::int32_t nx = next_[static_cast<std::size_t>(g)];
        if (nx == g) {
            first_ = 0;
            return;
        }
        link(p, nx);
        if (first_ == g) first_ = nx;
    }

    std::vector<std::int32_t> rowSchool_;                 // school entry of each sheet row
    std::vector<Sex> rowSex_;                             // and its candidate's sex
    std::vector<SchoolQueues> queues_;                   // by school entry
    std::vector<std::vector<std::int32_t>> groupSchools_; // by group number, entries ascending
    std::vector<std::int32_t> next_, prev_;
    std::int32_t first_ = 0;
};

}  // namespace

Placement PlacementOf(std::int32_t runningNumber) {
    return {(runningNumber - 1) / kSeatsPerRoom + 1, (runningNumber - 1) % kSeatsPerRoom + 1};
}

std::string TwoDigitText(std::int32_t value) {
    char text[16];
    return std::string(text, appendTwoDigits(text, value));
}

std::string ExamNumberText(std::int32_t runningNumber) {
    const Placement place = PlacementOf(runningNumber);
    return TwoDigitText(place.room) + TwoDigitText(place.seat);
}

void NumberCandidates(Roster& roster, CellSheet& sheet, const Progress& progress) {
    Numbering numbering(roster);
    numbering.run(roster, sheet, progress);
}

}  // namespace zembrix
