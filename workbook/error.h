#pragma once
// Every failure of the workbook engine is a WorkbookError: a Chinese message for
// the user that names the problem and what to do, plus the kind for callers.
#include <stdexcept>
#include <string>

namespace zembrix::xls {

enum class ErrorKind {
    NotFound,         // the file cannot be read at all
    TooLarge,         // over the size we accept
    NotWorkbook,      // another kind of file (zip, HTML, text, ...)
    OldFormat,        // BIFF2-4 or BIFF5/7
    Encrypted,        // FILEPASS or an encrypted package
    NoWorksheet,      // the workbook holds no worksheet
    Corrupt,          // the structure is broken; the message says where
    Unsupported,      // a valid file we cannot change safely
    SaveFailed,       // writing the file failed; the original is untouched
    ChangedOnDisk,    // another program changed the file since it was opened
};

class WorkbookError : public std::runtime_error {
public:
    WorkbookError(ErrorKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    ErrorKind kind() const noexcept { return kind_; }

private:
    ErrorKind kind_;
};

}  // namespace zembrix::xls
