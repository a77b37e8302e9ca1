#pragma once
// One corpus file through what the tool does with it: open, check, arrange when
// the check passes (else write D..F of a few rows), save to memory, reopen, and
// compare every cell with a plain in-memory sheet that went through the same steps.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "workbook/error.h"

namespace zembrix::corpus {

inline constexpr int kWindowRows = 300;
inline constexpr int kWindowColumns = 30;

struct RoundTrip {
    enum class Outcome { Arranged, Written, Refused, Failed };
    Outcome outcome = Outcome::Failed;
    xls::ErrorKind refusal = xls::ErrorKind::Corrupt;  // when Refused
    std::string stage;                                  // open, write or save, when Refused
    std::string message;                                // the refusal, or what went wrong when Failed
    std::vector<std::uint8_t> saved;                    // when Arranged or Written
    std::map<std::pair<int, int>, std::string> written; // (row, column) -> text, 1-based
};

// Never throws: anything but a WorkbookError, and every difference, is Failed.
RoundTrip RoundTripFile(const std::filesystem::path& file);

// Every .xls file of the corpus (by extension, any letter case), sorted; empty when absent.
std::vector<std::filesystem::path> CorpusFiles();
std::filesystem::path CorpusDir();

const char* KindName(xls::ErrorKind kind);

}  // namespace zembrix::corpus
