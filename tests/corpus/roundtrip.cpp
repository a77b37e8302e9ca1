#include "roundtrip.h"

#include <algorithm>
#include <exception>
#include <sstream>

#include "arrange/engine.h"
#include "memory_sheet.h"
#include "workbook/check.h"
#include "workbook/workbook.h"

namespace zembrix::corpus {
namespace fs = std::filesystem;
namespace {

// Rows written when the check fails: D..F of these rows.
constexpr int kWrittenRows[] = {3, 4, 5};

std::string Address(int row, int col) {
    std::ostringstream s;
    s << "R" << row << "C" << col;
    return s.str();
}

// Copies the cells the check and the arrangement may read into a memory sheet:
// the comparison window, and A..F of every row down to the first whose A is empty.
void CopyInto(CellSheet& sheet, test::MemorySheet& copy, std::vector<std::vector<std::string>>& window) {
    window.assign(kWindowRows, std::vector<std::string>(kWindowColumns));
    for (int r = 1; r <= kWindowRows; ++r) {
        for (int c = 1; c <= kWindowColumns; ++c) {
            std::string text = sheet.readCell(r, c);
            window[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)] = text;
            if (!text.empty()) copy.set(r, c, std::move(text));
        }
    }
    for (int r = kWindowRows + 1; r <= xls::kMaxRow; ++r) {
        std::string a = sheet.readCell(r, 1);
        if (a.empty()) break;
        copy.set(r, 1, std::move(a));
        for (int c = 2; c <= 6; ++c) {
            std::string text = sheet.readCell(r, c);
            if (!text.empty()) copy.set(r, c, std::move(text));
        }
    }
}

}  // namespace

fs::path CorpusDir() { return fs::path(ZEMBRIX_SOURCE_DIR) / ".." / "shared" / "corpus" / "xls"; }

std::vector<fs::path> CorpusFiles() {
    std::vector<fs::path> files;
    std::error_code ec;
    if (!fs::is_directory(CorpusDir(), ec)) return files;
    for (const auto& e : fs::recursive_directory_iterator(CorpusDir(), ec)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        if (e.is_regular_file() && ext == ".xls") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

const char* KindName(xls::ErrorKind kind) {
    using K = xls::ErrorKind;
    switch (kind) {
    case K::NotFound: return "NotFound";
    case K::TooLarge: return "TooLarge";
    case K::NotWorkbook: return "NotWorkbook";
    case K::OldFormat: return "OldFormat";
    case K::Encrypted: return "Encrypted";
    case K::NoWorksheet: return "NoWorksheet";
    case K::Corrupt: return "Corrupt";
    case K::Unsupported: return "Unsupported";
    case K::SaveFailed: return "SaveFailed";
    case K::ChangedOnDisk: return "ChangedOnDisk";
    }
    return "?";
}

RoundTrip RoundTripFile(const fs::path& file) {
    RoundTrip result;
    std::string stage = "open";
    try {
        auto book = xls::Workbook::open(file);
        CellSheet& sheet = book->firstSheet();
        test::MemorySheet plain;
        std::vector<std::vector<std::string>> before;
        CopyInto(sheet, plain, before);

        // The same steps on the plain copy say what the workbook must hold afterwards.
        std::int32_t count = 0, plainCount = 0;
        bool passed = false, plainPassed = false;
        const auto check = CheckFormat(true, sheet, count, passed);
        const auto plainCheck = CheckFormat(true, plain, plainCount, plainPassed);
        if (check.result != plainCheck.result || count != plainCount) {
            result.message = "the check differs from the same check on a plain copy: " + check.message + " / " +
                             plainCheck.message;
            return result;
        }
        stage = "write";
        if (check.result == CheckOutcome::Result::Passed) {
            Roster roster, plainRoster;
            bool refused = false, plainRefused = false;
            std::string why;
            try {
                ExecuteArrangement(plain, plainRoster);
            } catch (const ArrangeError&) {
                plainRefused = true;
            }
            try {
                ExecuteArrangement(sheet, roster);
            } catch (const ArrangeError& e) {
                refused = true;
                why = e.what();
            }
            if (refused != plainRefused) {
                result.message = "the arrangement refused only one of the workbook and its plain copy: " + why;
                return result;
            }
            result.outcome = RoundTrip::Outcome::Arranged;
        } else {
            for (int row : kWrittenRows) {
                for (int col = 4; col <= 6; ++col) {
                    const std::string text = "Z" + std::to_string(row) + "-" + std::to_string(col);
                    sheet.writeCell(row, col, text);
                    plain.writeCell(row, col, text);
                }
            }
            result.outcome = RoundTrip::Outcome::Written;
        }
        for (const auto& w : plain.writes()) result.written[{w.row, w.column}] = w.text;

        stage = "save";
        result.saved = book->saveToBytes();
        stage = "reopen";
        auto reopened = xls::Workbook::fromBytes(result.saved);
        CellSheet& after = reopened->firstSheet();
        std::ostringstream diffs;
        int differences = 0;
        auto compare = [&](int r, int c, const std::string& expected) {
            const std::string got = after.readCell(r, c);
            if (got != expected && ++differences <= 5)
                diffs << " " << Address(r, c) << " '" << expected << "' became '" << got << "';";
        };
        for (int r = 1; r <= kWindowRows; ++r) {
            for (int c = 1; c <= kWindowColumns; ++c) {
                const auto w = result.written.find({r, c});
                compare(r, c, w != result.written.end() ? w->second
                                                        : before[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)]);
            }
        }
        for (const auto& [at, text] : result.written) {
            if (at.first > kWindowRows || at.second > kWindowColumns) compare(at.first, at.second, text);
        }
        if (differences > 0) {
            result.outcome = RoundTrip::Outcome::Failed;
            result.message = std::to_string(differences) + " cells differ after the round trip:" + diffs.str();
        }
    } catch (const xls::WorkbookError& e) {
        if (stage == "reopen") {
            result.outcome = RoundTrip::Outcome::Failed;
            result.message = std::string("our own output does not reopen: ") + e.what();
        } else {
            result.outcome = RoundTrip::Outcome::Refused;
            result.refusal = e.kind();
            result.stage = stage;
            result.message = e.what();
        }
        result.saved.clear();
    } catch (const std::exception& e) {
        result.outcome = RoundTrip::Outcome::Failed;
        result.message = "at " + stage + ": an exception that is not a WorkbookError: " + e.what();
        result.saved.clear();
    }
    return result;
}

}  // namespace zembrix::corpus
