#include "oracle.h"

#include <string_view>

#include "arrange/engine.h"
#include "arrange/text.h"

namespace zembrix::test::oracle {
namespace {

bool FindSchool(const std::vector<SchoolRow>& schools, std::string_view code, std::int32_t& index) {
    for (std::size_t e = 0; e < schools.size(); ++e) {
        if (schools[e].code == code) {
            index = static_cast<std::int32_t>(e + 1);
            return true;
        }
    }
    index = 0;
    return false;
}

SchoolRow& At(std::vector<SchoolRow>& schools, std::int32_t e) { return schools.at(static_cast<std::size_t>(e - 1)); }

bool PickStudent(const Tables& t, std::int32_t g, const std::string& lastSex, std::int32_t& row) {
    auto search = [&](const std::string* sought) {
        for (const SchoolRow& school : t.SchoolList) {
            if (school.group != g) continue;
            for (std::int32_t r = 3; r <= t.RecordCount + 2; ++r) {
                const StudentRow& s = t.StudentList.at(static_cast<std::size_t>(r - 1));
                if (s.code == school.code && s.number.empty() && (!sought || s.sex == *sought)) {
                    row = r;
                    return true;
                }
            }
        }
        return false;
    };
    const std::string male(kMale), female(kFemale);
    row = 0;
    if (lastSex == male && search(&female)) return true;
    if (lastSex == female && search(&male)) return true;
    if (search(nullptr)) return true;
    row = 0;
    return false;
}

}  // namespace

void Roster(CellSheet& sheet, Tables& t) {
    t.SchoolList.clear();
    t.StudentList.clear();
    t.RecordCount = 0;
    for (;;) {
        const std::int32_t r = t.RecordCount + 3;
        const std::string code(trimmed(sheet.readCell(r, 1)));
        if (code.empty()) break;
        std::int32_t index = 0;
        if (FindSchool(t.SchoolList, code, index)) ++At(t.SchoolList, index).headCount;
        else t.SchoolList.push_back({code, 1, std::nullopt, std::nullopt});
        if (t.StudentList.empty()) t.StudentList.resize(2);
        t.StudentList.push_back({code, std::string(trimmed(sheet.readCell(r, 3))), ""});
        ++t.RecordCount;
    }
}

void Group(std::vector<SchoolRow>& s) {
    const auto n = static_cast<std::int32_t>(s.size());
    for (std::int32_t i = 1; i <= n; ++i) {
        for (std::int32_t j = i + 1; j <= n; ++j) {
            if (At(s, j).headCount > At(s, i).headCount) {
                std::swap(At(s, i).code, At(s, j).code);
                std::swap(At(s, i).headCount, At(s, j).headCount);
            }
        }
    }
    for (std::int32_t i = 1; i <= n; ++i) {
        At(s, i).group = i;
        At(s, i).merged = 0;
    }
    auto remaining = [&] {
        std::int32_t count = 0;
        for (std::int32_t j = 2; j <= n; ++j) count += At(s, j).merged == 0 ? 1 : 0;
        return count;
    };
    for (std::int32_t m = remaining(); m > 0; m = remaining()) {
        const std::int64_t target = At(s, 1).headCount;
        std::int64_t bestDifference = target;
        std::vector<std::pair<std::string, std::int32_t>> candidates;  // CandidateList
        for (std::int32_t j = 2; j <= n; ++j) {
            if (At(s, j).merged == 0) candidates.emplace_back(At(s, j).code, At(s, j).headCount);
        }
        std::vector<std::string> bestGroup;
        for (std::int32_t k = 1; k <= std::min(3, m); ++k) {
            std::vector<std::int32_t> combination(static_cast<std::size_t>(m), 0);
            for (std::int32_t c = 1; c <= k; ++c) combination[static_cast<std::size_t>(c - 1)] = c;
            do {
                std::int64_t total = 0;
                for (std::int32_t c = 0; c < k; ++c)
                    total += candidates.at(static_cast<std::size_t>(combination[static_cast<std::size_t>(c)] - 1)).second;
                const std::int64_t difference = target - total;
                if (difference >= 0 && difference < bestDifference) {
                    bestGroup.clear();
                    for (std::int32_t c = 0; c < k; ++c)
                        bestGroup.push_back(
                            candidates.at(static_cast<std::size_t>(combination[static_cast<std::size_t>(c)] - 1)).first);
                    bestDifference = difference;
                }
            } while (NextCombination(combination, k, m));
        }
        std::int32_t groupNumber = 0;
        for (const std::string& code : bestGroup) {
            for (std::int32_t j = 2; j <= n; ++j) {
                if (At(s, j).code == code) {
                    if (groupNumber == 0) groupNumber = *At(s, j).group;
                    At(s, j).group = groupNumber;
                    At(s, j).merged = 1;
                }
            }
        }
    }
}

void Number(Tables& t, CellSheet& sheet) {
    const auto schools = static_cast<std::int32_t>(t.SchoolList.size());
    std::int32_t g = 1;
    std::string lastSex(kFemale);
    for (std::int32_t n = 1; n <= t.RecordCount; ++n) {
        std::int32_t row = 0;
        while (!PickStudent(t, g, lastSex, row)) g = g + 1 > schools ? 1 : g + 1;
        StudentRow& student = t.StudentList.at(static_cast<std::size_t>(row - 1));
        student.number = std::to_string(n);
        const std::int32_t room = (n - 1) / 30 + 1;
        const std::int32_t seat = (n - 1) % 30 + 1;
        auto two = [](std::int32_t v) {
            std::string text = std::to_string(v);
            while (text.size() < 2) text = "0" + text;
            return text;
        };
        sheet.writeCell(row, 4, "'" + two(room) + two(seat));
        sheet.writeCell(row, 5, "'" + two(room));
        sheet.writeCell(row, 6, "'" + two(seat));
        lastSex = student.sex;
        g = g + 1 > schools ? 1 : g + 1;
    }
}

Tables Arrange(CellSheet& sheet) {
    Tables t;
    Roster(sheet, t);
    Group(t.SchoolList);
    Number(t, sheet);
    return t;
}

}  // namespace zembrix::test::oracle
