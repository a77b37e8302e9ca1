#include <gtest/gtest.h>

#include "arrange/text.h"
#include "memory_sheet.h"
#include "workbook/check.h"
#include "workbook/workbook.h"

namespace zembrix {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using Result = CheckOutcome::Result;
const std::string M(kMale), F(kFemale);

struct CheckCase {
    const char* name;
    Rows rows;
    Result result;
    std::int32_t recordCount;
    std::string message;
};

TEST(FormatCheck, Outcomes) {
    const std::vector<CheckCase> cases{
        {"passes with padding around the sex", {{"1101", "a", " " + M + "\t"}, {"1102", "", F + "\r\n"}}, Result::Passed, 2,
         "格式检测成功！"},
        {"numeric code and empty name", {{"1101", "", M}, {"7", "", F}}, Result::Passed, 2, "格式检测成功！"},
        {"row 3 empty", {{"", "a", M}, {"1101", "b", F}}, Result::NoRows, 0, "对不起，文件数据记录数为0，不能编排！"},
        {"row 3 only spaces", {{"   ", "a", M}}, Result::NoRows, 0, "对不起，文件数据记录数为0，不能编排！"},
        {"full-width space around the sex", {{"1101", "", M}, {"1101", "", "\u3000" + F}}, Result::WrongSex, 1,
         "对不起，第4行性别不正确，不能编排！"},
        {"empty sex", {{"1101", "", M}, {"1101", "", M}, {"1101", "", ""}}, Result::WrongSex, 2,
         "对不起，第5行性别不正确，不能编排！"},
        {"first of several wrong rows", {{"1", "", M}, {"1", "", F}, {"1", "", M}, {"1", "", M}, {"1", "", "男生"}, {"1", "", "M"}},
         Result::WrongSex, 4, "对不起，第7行性别不正确，不能编排！"},
        {"a gap ends the list before a wrong sex", {{"1", "", M}, {"", "", M}, {"1", "", "x"}}, Result::Passed, 1,
         "格式检测成功！"},
    };
    for (const CheckCase& c : cases) {
        test::MemorySheet sheet(c.rows);
        for (std::size_t r = 0; r < c.rows.size(); ++r) sheet.set(static_cast<int>(r) + 3, 4, "old");
        std::int32_t recordCount = -5;
        bool checkPassed = false;
        const CheckOutcome outcome = CheckFormat(true, sheet, recordCount, checkPassed);
        EXPECT_EQ(outcome.result, c.result) << c.name;
        EXPECT_EQ(outcome.message, c.message) << c.name;
        EXPECT_EQ(recordCount, c.recordCount) << c.name;
        EXPECT_EQ(checkPassed, c.result == Result::Passed) << c.name;
        // Only a passed check empties D..F, and only of the candidate rows.
        std::size_t emptied = 0;
        for (const auto& w : sheet.writes()) {
            EXPECT_TRUE(w.text.empty() && w.column >= 4 && w.column <= 6 && w.row >= 3 && w.row < 3 + c.recordCount)
                << c.name;
            ++emptied;
        }
        EXPECT_EQ(emptied, c.result == Result::Passed ? static_cast<std::size_t>(3 * c.recordCount) : 0u) << c.name;
    }
}

TEST(FormatCheck, RefusesWithoutAFileAndNeverClearsAPassedCheck) {
    test::MemorySheet sheet(Rows{{"1101", "", "?"}});
    std::int32_t recordCount = 9;
    bool checkPassed = true;
    EXPECT_EQ(CheckFormat(false, sheet, recordCount, checkPassed).message, "请先打开文件！");
    EXPECT_EQ(recordCount, 9);
    EXPECT_EQ(sheet.reads(), 0);
    EXPECT_EQ(CheckFormat(true, sheet, recordCount, checkPassed).result, Result::WrongSex);
    EXPECT_TRUE(checkPassed);
    EXPECT_EQ(recordCount, 0);
}

TEST(FormatCheck, StopsAtTheLastRowASheetCanHave) {
    class EndlessSheet : public CellSheet {
    public:
        std::string readCell(int, int column) override { return column == 1 ? "1101" : std::string(kMale); }
        void writeCell(int, int, std::string_view) override { ++writes; }
        int writes = 0;
    } sheet;
    std::int32_t recordCount = 0;
    bool checkPassed = false;
    EXPECT_EQ(CheckFormat(true, sheet, recordCount, checkPassed).result, Result::Passed);
    EXPECT_EQ(recordCount, xls::kMaxRow - 2);
    EXPECT_EQ(sheet.writes, 3 * (xls::kMaxRow - 2));
}

}  // namespace
}  // namespace zembrix
