#pragma once
// The format check of the candidate sheet: counts the candidate rows, checks
// every sex, empties columns D to F of those rows.
#include <cstdint>
#include <string>

#include "arrange/sheet.h"

namespace zembrix {

struct CheckOutcome {
    enum class Result { NoFile, NoRows, WrongSex, Passed };
    Result result = Result::NoFile;
    std::string message;   // shown to the user as it stands
    std::int32_t wrongRow = 0;
};

// fileChosen: a workbook has been chosen. RecordCount and CheckPassed are the
// caller's state; the check changes them as its outcome says (a failed check
// never clears CheckPassed). Failures of the sheet itself propagate.
CheckOutcome CheckFormat(bool fileChosen, CellSheet& sheet, std::int32_t& RecordCount, bool& CheckPassed);

inline constexpr const char* kAskOpenFirst = "请先打开文件！";
inline constexpr const char* kNoRecords = "对不起，文件数据记录数为0，不能编排！";
inline constexpr const char* kCheckPassed = "格式检测成功！";
inline constexpr const char* kAskCheckFirst = "请先进行格式检测！";
inline constexpr const char* kArranged = "考号编排成功！";
std::string WrongSexMessage(std::int32_t sheetRow);

}  // namespace zembrix
