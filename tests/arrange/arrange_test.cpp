#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "arrange/engine.h"
#include "arrange/text.h"
#include "memory_sheet.h"
#include "oracle.h"

namespace zembrix {
namespace {

using test::MemorySheet;
using Rows = std::vector<std::vector<std::string>>;

const std::string M(kMale);
const std::string F(kFemale);

// Rows numbered in order, read off the exam-number writes.
std::vector<int> PickedRows(const MemorySheet& sheet) {
    std::vector<int> rows;
    for (const auto& w : sheet.writes()) {
        if (w.column == 4) rows.push_back(w.row);
    }
    return rows;
}

// A roster whose schools have these head counts, in this order of first occurrence.
Rows RowsWithHeadCounts(const std::vector<std::pair<std::string, int>>& schools) {
    Rows rows;
    for (const auto& [code, count] : schools) {
        for (int i = 0; i < count; ++i) rows.push_back({code, "x", i % 2 ? F : M});
    }
    return rows;
}

// ---- Roster ----------------------------------------------------------------

TEST(Roster, SchoolsInOrderOfFirstOccurrenceWithHeadCounts) {
    MemorySheet sheet(Rows{{"1101", "a", M}, {"1102", "b", F}, {"1101", "c", F}, {"1103", "d", M}});
    Roster roster;
    BuildRoster(sheet, roster);
    ASSERT_EQ(roster.RecordCount, 4);
    ASSERT_EQ(roster.SchoolList.count(), 3);
    EXPECT_EQ(roster.SchoolList[1].code, "1101");
    EXPECT_EQ(roster.SchoolList[1].headCount, 2);
    EXPECT_EQ(roster.SchoolList[2].code, "1102");
    EXPECT_EQ(roster.SchoolList[3].code, "1103");
    EXPECT_EQ(roster.SchoolList[3].headCount, 1);
    EXPECT_FALSE(roster.SchoolList[1].group.has_value());
    EXPECT_FALSE(roster.SchoolList[1].merged.has_value());
    ASSERT_EQ(roster.StudentList.upperBound(), 6);
    EXPECT_TRUE(roster.StudentList[1].code.empty());
    EXPECT_TRUE(roster.StudentList[2].code.empty());
    EXPECT_EQ(roster.StudentList[5].code, "1101");
    EXPECT_EQ(roster.StudentList[6].sex, M);
    EXPECT_TRUE(roster.StudentList[6].number.empty());
    std::int32_t index = -1;
    EXPECT_TRUE(roster.SchoolList.FindSchool("1102", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(roster.SchoolList.FindSchool("1102 ", index));
    EXPECT_EQ(index, 0);
}

TEST(Roster, TrimsControlCharactersButKeepsFullWidthSpaceAndCase) {
    const std::string fullWidth = "\u3000";
    MemorySheet sheet(Rows{{" 1101\t", "a", " " + M + "\r\n"},
                           {"1101", "b", F},
                           {"ab", "c", M},
                           {"AB", "d", M},
                           {"ab" + fullWidth, "e", F}});
    Roster roster;
    BuildRoster(sheet, roster);
    ASSERT_EQ(roster.SchoolList.count(), 4);
    EXPECT_EQ(roster.SchoolList[1].code, "1101");
    EXPECT_EQ(roster.SchoolList[1].headCount, 2);
    EXPECT_EQ(roster.SchoolList[4].code, "ab" + fullWidth);
    EXPECT_EQ(roster.StudentList[3].sex, M);
}

TEST(Roster, AnEmptyOrBlankColumnAEndsTheList) {
    for (const std::string blank : {"", "  ", "\t"}) {
        MemorySheet sheet(Rows{{"1101", "a", M}, {"1101", "b", F}, {"1102", "c", M},
                               {"1102", "d", F}, {"1103", "e", M}, {blank, "f", M}, {"1104", "g", "?"}});
        Roster roster;
        BuildRoster(sheet, roster);
        EXPECT_EQ(roster.RecordCount, 5);
        EXPECT_EQ(roster.StudentList.upperBound(), 7);
        EXPECT_EQ(roster.StudentList[7].code, "1103");
        EXPECT_EQ(roster.SchoolList.count(), 3);
    }
}

TEST(Roster, NoCandidateInRowThreeIsAnErrorNotAnEmptyTable) {
    MemorySheet sheet(Rows{{"", "a", M}, {"1101", "b", F}});
    Roster roster;
    EXPECT_THROW(BuildRoster(sheet, roster), ArrangeError);
    EXPECT_THROW(ExecuteArrangement(sheet, roster), ArrangeError);
    EXPECT_TRUE(sheet.writes().empty());
}

// ---- Grouping --------------------------------------------------------------

struct GroupingCase {
    const char* name;
    std::vector<std::pair<std::string, int>> schools;  // first-occurrence order
    std::vector<std::string> sortedCodes;
    std::vector<std::int32_t> groups;                  // column 3 after grouping
};

class Grouping : public ::testing::TestWithParam<GroupingCase> {};

TEST_P(Grouping, SortsAndGroupsAsTheChoiceRuleSays) {
    const GroupingCase& c = GetParam();
    MemorySheet sheet(RowsWithHeadCounts(c.schools));
    Roster roster;
    BuildRoster(sheet, roster);
    GroupSchools(roster.SchoolList);
    ASSERT_EQ(roster.SchoolList.count(), static_cast<std::int32_t>(c.sortedCodes.size()));
    for (std::int32_t e = 1; e <= roster.SchoolList.count(); ++e) {
        const auto i = static_cast<std::size_t>(e - 1);
        EXPECT_EQ(roster.SchoolList[e].code, c.sortedCodes[i]) << "entry " << e;
        EXPECT_EQ(roster.SchoolList[e].group, c.groups[i]) << "entry " << e;
        EXPECT_EQ(roster.SchoolList[e].merged, e == 1 ? 0 : 1) << "entry " << e;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Grouping,
    ::testing::Values(
        GroupingCase{"OneSchool", {{"A", 7}}, {"A"}, {1}},
        GroupingCase{"AllEqual", {{"A", 3}, {"B", 3}, {"C", 3}, {"D", 3}}, {"A", "B", "C", "D"}, {1, 2, 3, 4}},
        GroupingCase{"PairThenPair",
                     {{"A", 100}, {"B", 60}, {"C", 40}, {"D", 30}, {"E", 20}},
                     {"A", "B", "C", "D", "E"},
                     {1, 2, 2, 4, 4}},
        GroupingCase{"TripleReplacesPair",
                     {{"1101", 40}, {"1102", 25}, {"1103", 20}, {"1104", 12}, {"1105", 8}, {"1106", 3}},
                     {"1101", "1102", "1103", "1104", "1105", "1106"},
                     {1, 2, 3, 2, 3, 2}},
        GroupingCase{"EqualDifferenceFirstFoundWins",
                     {{"A", 10}, {"B", 6}, {"C", 4}, {"D", 4}},
                     {"A", "B", "C", "D"},
                     {1, 2, 2, 4}},
        GroupingCase{"OverTheTargetNeverTaken", {{"A", 10}, {"B", 9}, {"C", 2}}, {"A", "B", "C"}, {1, 2, 3}},
        GroupingCase{"FewerSchoolsWin",
                     {{"A", 10}, {"B", 10}, {"C", 5}, {"D", 5}},
                     {"A", "B", "C", "D"},
                     {1, 2, 3, 3}},
        GroupingCase{"TiesFollowTheExchanges",
                     {{"A", 1}, {"B", 2}, {"C", 2}, {"D", 3}},
                     {"D", "C", "B", "A"},
                     {1, 2, 3, 2}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Grouping, NextCombinationWalksLexicographically) {
    std::vector<std::int32_t> c{1, 2, 0, 0};
    std::vector<std::vector<std::int32_t>> seen{{1, 2}};
    while (NextCombination(c, 2, 4)) seen.push_back({c[0], c[1]});
    EXPECT_EQ(seen, (std::vector<std::vector<std::int32_t>>{{1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}}));
    EXPECT_EQ(c, (std::vector<std::int32_t>{3, 4, 0, 0}));  // unchanged after the last
}

// ---- Numbering -------------------------------------------------------------

Roster RosterWithGroups(const std::vector<std::pair<std::string, std::int32_t>>& schools, const Rows& rows) {
    Roster roster;
    for (const auto& [code, group] : schools) {
        const std::int32_t e = roster.SchoolList.append(code);
        roster.SchoolList[e].group = group;
        roster.SchoolList[e].merged = e == 1 ? 0 : 1;
    }
    roster.StudentList.grow();
    roster.StudentList.grow();
    for (const auto& row : rows) {
        Student& s = roster.StudentList[roster.StudentList.grow()];
        s.code = row[0];
        s.sex = row[2];
        ++roster.RecordCount;
    }
    return roster;
}

TEST(Numbering, WorkedExample) {
    Rows rows{{"1101", "", M}, {"1101", "", M}, {"1101", "", F}, {"1101", "", F},
              {"1102", "", F}, {"1102", "", M}, {"1103", "", F}, {"1103", "", F}};
    Roster roster = RosterWithGroups({{"1101", 1}, {"1102", 2}, {"1103", 2}}, rows);
    MemorySheet sheet(rows);
    NumberCandidates(roster, sheet, {});
    EXPECT_EQ(PickedRows(sheet), (std::vector<int>{3, 7, 4, 9, 5, 8, 6, 10}));
    EXPECT_EQ(sheet.writes().at(0), (test::CellWrite{3, 4, "'0101"}));
    EXPECT_EQ(sheet.writes().at(1), (test::CellWrite{3, 5, "'01"}));
    EXPECT_EQ(sheet.writes().at(2), (test::CellWrite{3, 6, "'01"}));
    EXPECT_EQ(sheet.get(10, 4), "0108");
    EXPECT_EQ(sheet.get(10, 6), "08");
    EXPECT_EQ(roster.StudentList[10].number, "8");
}

TEST(Numbering, OrderOfPicks) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::int32_t>> schools;
        Rows rows;
        std::vector<int> picked;
    };
    const std::vector<Case> cases{
        {"single school alternates from a boy", {{"1", 1}}, {{"1", "", M}, {"1", "", M}, {"1", "", M}, {"1", "", F}},
         {3, 6, 4, 5}},
        {"girls only fall back to any", {{"1", 1}, {"2", 2}}, {{"1", "", F}, {"2", "", F}, {"1", "", F}, {"2", "", F}},
         {3, 4, 5, 6}},
        {"an unknown last sex takes the lowest row", {{"1", 1}}, {{"1", "", "?"}, {"1", "", F}, {"1", "", M}},
         {5, 4, 3}},
        {"the last group left takes all", {{"1", 1}, {"2", 2}}, {{"2", "", M}, {"1", "", F}, {"1", "", M}, {"1", "", F}},
         {5, 3, 4, 6}},
    };
    for (const Case& c : cases) {
        Roster roster = RosterWithGroups(c.schools, c.rows);
        MemorySheet sheet(c.rows);
        NumberCandidates(roster, sheet, {});
        EXPECT_EQ(PickedRows(sheet), c.picked) << c.name;
    }
}

TEST(Numbering, FourGroupsOfAlternatingSchools) {
    Rows rows;
    std::vector<std::pair<std::string, std::int32_t>> schools;
    for (int s = 0; s < 4; ++s) {
        schools.push_back({"11" + std::to_string(s), s + 1});
        for (int i = 0; i < 8; ++i) rows.push_back({"11" + std::to_string(s), "", i % 2 ? F : M});
    }
    Roster roster = RosterWithGroups(schools, rows);
    MemorySheet sheet(rows);
    NumberCandidates(roster, sheet, {});
    std::vector<std::string> first;
    for (int r = 3; r <= 10; ++r) first.push_back(sheet.get(r, 4));
    // Boys in rows 3, 5, 7, 9 take 1, 5, 9, 13; the girls 17, 21, 25, 29.
    EXPECT_EQ(first, (std::vector<std::string>{"0101", "0117", "0105", "0121", "0109", "0125", "0113", "0129"}));
}

TEST(Numbering, ExamNumberRoomAndSeatTexts) {
    const std::vector<std::tuple<std::int32_t, std::string, std::string, std::string>> cases{
        {1, "0101", "01", "01"},   {9, "0109", "01", "09"},     {10, "0110", "01", "10"},
        {30, "0130", "01", "30"},  {31, "0201", "02", "01"},    {60, "0230", "02", "30"},
        {300, "1030", "10", "30"}, {301, "1101", "11", "01"},   {2970, "9930", "99", "30"},
        {2971, "10001", "100", "01"}, {3000, "10030", "100", "30"}};
    for (const auto& [n, exam, room, seat] : cases) {
        const Placement p = PlacementOf(n);
        EXPECT_EQ(ExamNumberText(n), exam) << n;
        EXPECT_EQ(TwoDigitText(p.room), room) << n;
        EXPECT_EQ(TwoDigitText(p.seat), seat) << n;
    }
}

TEST(Numbering, ReportsProgressOncePerCandidate) {
    MemorySheet sheet(RowsWithHeadCounts({{"A", 40}, {"B", 25}}));
    Roster roster;
    std::vector<std::pair<int, int>> calls;
    const ArrangeSummary summary =
        ExecuteArrangement(sheet, roster, [&](std::int32_t pos, std::int32_t max) { calls.emplace_back(pos, max); });
    ASSERT_EQ(calls.size(), 66u);
    EXPECT_EQ(calls.front(), (std::pair<int, int>{0, 65}));
    for (int n = 1; n <= 65; ++n) EXPECT_EQ(calls[static_cast<std::size_t>(n)], (std::pair<int, int>{n, 65}));
    EXPECT_EQ(summary.candidates, 65);
    EXPECT_EQ(summary.schools, 2);
    EXPECT_EQ(summary.groups, 2);
    EXPECT_EQ(summary.rooms, 3);
}

TEST(Numbering, ASchoolWithoutAGroupIsAnErrorBeforeAnyWrite) {
    Rows rows{{"1101", "", M}, {"1102", "", F}};
    for (std::int32_t badGroup : {0, 3, -1}) {
        Roster roster = RosterWithGroups({{"1101", 1}, {"1102", badGroup}}, rows);
        MemorySheet sheet(rows);
        EXPECT_THROW(NumberCandidates(roster, sheet, {}), ArrangeError) << badGroup;
        EXPECT_TRUE(sheet.writes().empty());
    }
    Roster unknownSchool = RosterWithGroups({{"1101", 1}}, rows);
    MemorySheet sheet(rows);
    EXPECT_THROW(NumberCandidates(unknownSchool, sheet, {}), ArrangeError);
}

TEST(Numbering, RunningTwiceWritesTheSameValues) {
    MemorySheet sheet(RowsWithHeadCounts({{"A", 17}, {"B", 9}, {"C", 8}, {"D", 3}}));
    Roster roster;
    ExecuteArrangement(sheet, roster);
    const auto first = sheet.writes();
    ExecuteArrangement(sheet, roster);
    const std::vector<test::CellWrite> second(sheet.writes().begin() + static_cast<std::ptrdiff_t>(first.size()),
                                              sheet.writes().end());
    EXPECT_EQ(first, second);
}

// ---- The fast engine against the plain one ---------------------------------

// Random rosters with the shapes that stress ties and ordering: few or many
// schools, equal head counts, one sex only, scattered rows, codes differing
// only by letter case or a full-width space, and padding that trimming removes.
Rows RandomRoster(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int shape = pick(0, 5);
    const int schools = shape == 0 ? pick(1, 3) : pick(1, 40);
    std::vector<std::string> codes;
    const std::vector<std::string> variants{"a", "A", "a\u3000", "\u3000a", "1101", "01101"};
    for (int s = 0; s < schools; ++s) {
        codes.push_back(s < static_cast<int>(variants.size()) && shape == 1 ? variants[static_cast<std::size_t>(s)]
                                                                             : "S" + std::to_string(s));
    }
    std::vector<int> heads(static_cast<std::size_t>(schools));
    const int equalHead = pick(1, 6);
    for (int& h : heads) {
        h = shape == 2 ? equalHead : shape == 3 ? pick(1, 4) * 5 : pick(1, shape == 4 ? 3 : 25);
    }
    const int sexMode = pick(0, 3);  // 0 mixed, 1 boys only, 2 girls only, 3 some unknown
    Rows rows;
    for (int s = 0; s < schools; ++s) {
        for (int i = 0; i < heads[static_cast<std::size_t>(s)]; ++i) {
            std::string sex = sexMode == 1 ? M : sexMode == 2 ? F : (pick(0, 1) ? M : F);
            if (sexMode == 3 && pick(0, 9) == 0) sex = "X";
            std::string code = codes[static_cast<std::size_t>(s)];
            if (pick(0, 7) == 0) code = " " + code + "\t";
            rows.push_back({code, "n", sex});
        }
    }
    if (pick(0, 2) != 0) std::shuffle(rows.begin(), rows.end(), rng);
    return rows;
}

TEST(Differential, FastEngineMatchesThePlainOneOnRandomRosters) {
    std::mt19937 rng(20261211);
    constexpr int kRosters = 3000;
    for (int i = 0; i < kRosters; ++i) {
        const Rows rows = RandomRoster(rng);
        MemorySheet fastSheet(rows);
        MemorySheet plainSheet(rows);
        Roster roster;
        ExecuteArrangement(fastSheet, roster);
        const test::oracle::Tables plain = test::oracle::Arrange(plainSheet);

        ASSERT_EQ(fastSheet.writes(), plainSheet.writes()) << "roster " << i;
        ASSERT_EQ(roster.RecordCount, plain.RecordCount);
        ASSERT_EQ(roster.SchoolList.count(), static_cast<std::int32_t>(plain.SchoolList.size()));
        for (std::int32_t e = 1; e <= roster.SchoolList.count(); ++e) {
            const auto& p = plain.SchoolList[static_cast<std::size_t>(e - 1)];
            ASSERT_EQ(roster.SchoolList[e].code, p.code) << "roster " << i << " entry " << e;
            ASSERT_EQ(roster.SchoolList[e].headCount, p.headCount);
            ASSERT_EQ(roster.SchoolList[e].group, p.group) << "roster " << i << " entry " << e;
            ASSERT_EQ(roster.SchoolList[e].merged, p.merged);
        }
        for (std::int32_t r = 3; r <= roster.RecordCount + 2; ++r) {
            ASSERT_EQ(roster.StudentList[r].number, plain.StudentList[static_cast<std::size_t>(r - 1)].number);
        }
    }
}

// Grouping alone on larger school counts, where pruning and ties matter most.
TEST(Differential, FastGroupingMatchesExhaustiveSearchForManySchools) {
    std::mt19937 rng(7);
    for (int i = 0; i < 150; ++i) {
        const int schools = std::uniform_int_distribution<int>(40, 70)(rng);
        const int maxHead = std::uniform_int_distribution<int>(2, 120)(rng);
        std::vector<test::oracle::SchoolRow> plain;
        SchoolTable fast;
        for (int s = 0; s < schools; ++s) {
            const int head = std::uniform_int_distribution<int>(1, maxHead)(rng);
            const std::string code = "S" + std::to_string(s);
            plain.push_back({code, head, std::nullopt, std::nullopt});
            fast[fast.append(code)].headCount = head;
        }
        test::oracle::Group(plain);
        GroupSchools(fast);
        for (std::int32_t e = 1; e <= fast.count(); ++e) {
            const auto& p = plain[static_cast<std::size_t>(e - 1)];
            ASSERT_EQ(fast[e].code, p.code) << "case " << i << " entry " << e;
            ASSERT_EQ(fast[e].group, p.group) << "case " << i << " entry " << e;
        }
    }
}

}  // namespace
}  // namespace zembrix
