// Inputs the fuzzers found, kept as named files beside this test, and workbooks at
// the edges of what the tool accepts: the last row a sheet can have, an empty sex,
// and files whose structures claim far more than they hold.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "arrange/engine.h"
#include "memory_sheet.h"
#include "workbook/book.h"
#include "workbook/check.h"
#include "workbook/workbook.h"

namespace zembrix::xls {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kHere = fs::path(ZEMBRIX_SOURCE_DIR) / "tests" / "regressions";
const fs::path kFixtures = ZEMBRIX_FIXTURE_DIR;

Bytes ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    EXPECT_TRUE(in) << p;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- Found by fuzzing ------------------------------------------------------------

// The BIFF8 fuzz target's steps: cell texts, a few writes (new strings, a new cell
// in a used row, a number), serialise, parse again. "" when every cell reads as it should.
std::string WriteAndReparse(const Bytes& stream) {
    Book book = Book::parse(stream);
    constexpr int kRows = 8, kCols = 8;
    std::vector<std::string> expected;
    for (int r = 1; r <= kRows; ++r) {
        for (int c = 1; c <= kCols; ++c) expected.push_back(book.cellText(r, c));
    }
    const struct { int row, col; const char* input; const char* reads; } writes[] = {
        {1, 4, "'0101", "0101"}, {3, 5, "考号", "考号"}, {4, 6, "7", "7"}};
    for (const auto& w : writes) {
        book.setCellText(w.row, w.col, w.input);
        expected[static_cast<std::size_t>((w.row - 1) * kCols + w.col - 1)] = w.reads;
    }
    const Book again = Book::parse(book.serialize());
    std::string diffs;
    for (int r = 1; r <= kRows; ++r) {
        for (int c = 1; c <= kCols; ++c) {
            const std::string got = again.cellText(r, c);
            const std::string& want = expected[static_cast<std::size_t>((r - 1) * kCols + c - 1)];
            if (got != want) diffs += " R" + std::to_string(r) + "C" + std::to_string(c) + " '" + want + "' reads '" + got + "';";
        }
    }
    return diffs;
}

// A new cell in a row that already has cells: the fresh cell was once left in the
// "original" state with no source record, and reading its record id ran off the stream.
TEST(FoundByFuzzing, NewCellBesideExistingOnes) {
    EXPECT_EQ(WriteAndReparse(ReadBytes(kHere / "new_cell_in_used_row.stream")), "");
}

// An EXTSST ahead of an empty SST: serialising with new strings once rewrote the EXTSST
// where it stood, before the new strings had positions; it now moves behind the SST.
TEST(FoundByFuzzing, ExtSstAheadOfTheSst) {
    EXPECT_EQ(WriteAndReparse(ReadBytes(kHere / "extsst_before_sst.stream")), "");
}

// A1 is a LABELSST naming string 1 of a one-string table: it reads empty, and once
// read as a newly appended string; empty strings now fill the table up to it first.
TEST(FoundByFuzzing, LabelSstPastTheTableStaysEmpty) {
    const Bytes stream = ReadBytes(kHere / "labelsst_past_sst.stream");
    try {
        EXPECT_EQ(WriteAndReparse(stream), "");
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << e.what();  // refusing the file is fine too
    }
}

// C1 names a string far past the end of the table, so adding text is refused; the
// refusal must hold for every later write, or the next new string takes index 1,
// which A1 names, and A1 changes text.
TEST(FoundByFuzzing, RefusedStringTableStaysRefused) {
    std::optional<Book> book;
    try {
        book.emplace(Book::parse(ReadBytes(kHere / "labelsst_far_past_sst.stream")));
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << e.what();  // refusing the file is fine too
        return;
    }
    ASSERT_EQ(book->cellText(1, 1), "");
    for (const char* text : {"考号", "考室"}) {
        try {
            book->setCellText(3, 4, text);
            ADD_FAILURE() << text << " was added";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << e.what();
        }
    }
    EXPECT_EQ(Book::parse(book->serialize()).cellText(1, 1), "");
}

// An SST whose last string is cut short cannot take new strings, and A1 names string 5,
// past its end. The refused write must leave nothing behind: the stream still serialises
// to one that parses, with A1 empty.
TEST(FoundByFuzzing, RefusedWriteLeavesTheStringTableAsItWas) {
    Book book = Book::parse(ReadBytes(kHere / "sst_trailing_bytes_past_sst.stream"));
    EXPECT_THROW(book.setCellText(3, 4, "考号"), WorkbookError);
    book.setCellText(4, 4, "7");
    try {
        const Book again = Book::parse(book.serialize());
        EXPECT_EQ(again.cellText(1, 1), "");
        EXPECT_EQ(again.cellText(2, 1), "a");
        EXPECT_EQ(again.cellText(4, 4), "7");
    } catch (const WorkbookError& e) {
        ADD_FAILURE() << "our own stream does not parse: " << e.what();
    }
}

// ---- Awkward sheets --------------------------------------------------------------

// D..F of every data row as the arrangement on a plain in-memory copy writes them.
void ExpectArrangedLikeAPlainCopy(CellSheet& saved, test::MemorySheet& plain, int lastRow) {
    Roster roster;
    ExecuteArrangement(plain, roster);
    int wrong = 0;
    for (int r = 3; r <= lastRow && wrong < 5; ++r) {
        for (int c = 4; c <= 6; ++c) {
            if (saved.readCell(r, c) != plain.get(r, c)) {
                ++wrong;
                ADD_FAILURE() << "row " << r << " column " << c << ": " << saved.readCell(r, c) << " instead of "
                              << plain.get(r, c);
            }
        }
    }
}

// 65,534 candidates fill a sheet down to its last row, 65,536: the check counts them
// all, and every row gets its number, room and seat in the saved workbook.
TEST(AwkwardSheets, CandidatesDownToTheLastRowOfTheSheet) {
    auto book = Workbook::open(kFixtures / "roster_xlwt.xls");
    CellSheet& sheet = book->firstSheet();
    test::MemorySheet plain;
    for (int r = 3; r <= kMaxRow; ++r) {
        const std::string code = "'" + std::to_string(1101 + r % 37);
        const std::string name = "考生" + std::to_string(r);
        const char* sex = r % 3 ? "男" : "女";
        sheet.writeCell(r, 1, code);
        sheet.writeCell(r, 2, name);
        sheet.writeCell(r, 3, sex);
        plain.set(r, 1, code.substr(1));
        plain.set(r, 3, sex);
    }
    auto grown = Workbook::fromBytes(book->saveToBytes());
    std::int32_t count = 0;
    bool passed = false;
    ASSERT_EQ(CheckFormat(true, grown->firstSheet(), count, passed).result, CheckOutcome::Result::Passed);
    EXPECT_EQ(count, kMaxRow - 2);
    Roster roster;
    ExecuteArrangement(grown->firstSheet(), roster);
    auto saved = Workbook::fromBytes(grown->saveToBytes());
    ExpectArrangedLikeAPlainCopy(saved->firstSheet(), plain, kMaxRow);
    EXPECT_EQ(saved->firstSheet().readCell(kMaxRow, 2), "考生65536");
}

// An empty sex cell is a wrong sex: the check names its row and fills nothing.
TEST(AwkwardSheets, EmptySexFailsTheCheckAtItsRow) {
    for (const char* blank : {"", " "}) {
        auto book = Workbook::open(kFixtures / "roster_xlwt.xls");
        CellSheet& sheet = book->firstSheet();
        sheet.writeCell(7, 3, blank);
        std::int32_t count = 0;
        bool passed = false;
        const CheckOutcome outcome = CheckFormat(true, sheet, count, passed);
        EXPECT_EQ(outcome.result, CheckOutcome::Result::WrongSex) << "'" << blank << "'";
        EXPECT_EQ(outcome.wrongRow, 7) << "'" << blank << "'";
        EXPECT_EQ(outcome.message, WrongSexMessage(7));
        EXPECT_FALSE(passed);
    }
}

// ---- Resource bounds ---------------------------------------------------------------

std::uint32_t Get32(const Bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) v = (v << 8) | b[at + i];
    return v;
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Counts and chains in the compound file that claim far more than the file holds are
// refused as corrupt, without reserving memory for what they claim. Counts that a
// reader does not need (the header's 109 DIFAT entries cover the whole FAT; there is
// no mini FAT) may be ignored, as other readers do: then the file reads as before.
TEST(ResourceBounds, HugeClaimsAndCyclesAreRefusedWithBoundedMemory) {
    const Bytes original = ReadBytes(kFixtures / "roster_xlwt.xls");
    ASSERT_EQ(original[0x1E], 9) << "the cases below assume 512-byte sectors";
    const std::uint32_t firstFat = Get32(original, 0x4C);
    const std::uint32_t dirStart = Get32(original, 0x30);
    auto fatEntry = [&](std::uint32_t sector) { return 512 * (std::size_t{firstFat} + 1) + 4 * std::size_t{sector}; };
    // The Workbook entry of the first directory sector.
    std::optional<std::size_t> workbook;
    for (std::size_t e = 0; e < 4; ++e) {
        const std::size_t at = 512 * (std::size_t{dirStart} + 1) + 128 * e;
        if (original[at] == 'W' && original[at + 2] == 'o' && original[at + 0x40] == 18) workbook = at;
    }
    ASSERT_TRUE(workbook.has_value());
    const std::uint32_t wbStart = Get32(original, *workbook + 0x74);
    ASSERT_LT(dirStart, 128u);
    ASSERT_LT(wbStart, 128u);

    const struct { const char* what; std::size_t at; std::uint32_t value; bool mayIgnore; } cases[] = {
        {"8,388,609 FAT sectors", 0x2C, 0x00800001u, false},
        {"a directory chain that loops", fatEntry(dirStart), dirStart, false},
        {"a Workbook chain that loops", fatEntry(wbStart), wbStart, false},
        {"a Workbook of 4 GiB", *workbook + 0x78, 0xFFFFFFF0u, false},
        {"16,777,215 DIFAT sectors", 0x48, 0x00FFFFFFu, true},
        {"a DIFAT chain starting at a FAT sector", 0x44, firstFat, true},
        {"a mini FAT of 4 billion sectors", 0x40, 0xFFFFFFF0u, true},
    };
    const std::string a3 = Workbook::fromBytes(original)->firstSheet().readCell(3, 1);
    const long before = PeakRssKb();
    for (const auto& c : cases) {
        Bytes bytes = original;
        Put32(bytes, c.at, c.value);
        if (c.at == 0x44) Put32(bytes, 0x48, 1);
        try {
            auto book = Workbook::fromBytes(std::move(bytes));
            if (!c.mayIgnore) ADD_FAILURE() << c.what << ": opened";
            EXPECT_EQ(book->firstSheet().readCell(3, 1), a3) << c.what;
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << c.what << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find("97-2003"), std::string::npos) << c.what << ": " << e.what();
        }
    }
    EXPECT_LT(PeakRssKb() - before, 64 * 1024) << "peak memory grew by more than 64 MiB";
}

}  // namespace
}  // namespace zembrix::xls
