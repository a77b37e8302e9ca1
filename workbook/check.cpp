#include "workbook/check.h"

#include "arrange/text.h"
#include "workbook/workbook.h"

namespace zembrix {
namespace {

// The rows of a sheet end at its last possible row, whatever the cells say.
bool hasCode(CellSheet& sheet, std::int32_t row) {
    return row <= xls::kMaxRow && !trimmed(sheet.readCell(row, 1)).empty();
}

}  // namespace

std::string WrongSexMessage(std::int32_t sheetRow) {
    return "对不起，第" + std::to_string(sheetRow) + "行性别不正确，不能编排！";
}

CheckOutcome CheckFormat(bool fileChosen, CellSheet& sheet, std::int32_t& RecordCount, bool& CheckPassed) {
    using Result = CheckOutcome::Result;
    if (!fileChosen) return {Result::NoFile, kAskOpenFirst, 0};

    // One walk down the rows gives what counting them first and then checking
    // every sex would: no rows when row 3 has no code, else the first wrong sex.
    RecordCount = 0;
    if (!hasCode(sheet, 3)) return {Result::NoRows, kNoRecords, 0};
    while (hasCode(sheet, RecordCount + 3)) {
        const std::int32_t row = RecordCount + 3;
        const std::string sex(trimmed(sheet.readCell(row, 3)));
        if (sex != kMale && sex != kFemale) return {Result::WrongSex, WrongSexMessage(row), row};
        ++RecordCount;
    }

    for (std::int32_t row = 3; row <= RecordCount + 2; ++row) {
        sheet.writeCell(row, 4, "");
        sheet.writeCell(row, 5, "");
        sheet.writeCell(row, 6, "");
    }
    CheckPassed = true;
    return {Result::Passed, kCheckPassed, 0};
}

}  // namespace zembrix
