#include "workbook/book.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>

#include "test_support.h"
#include "workbook/biff.h"

namespace zembrix::xls {
namespace {

using namespace test;
namespace rid = biff::rid;

std::uint32_t rkInt(int v) { return (static_cast<std::uint32_t>(v) << 2) | 2u; }

// ---------------------------------------------------------------- reading

struct ReadCase {
    const char* name;
    Bytes cell;         // the records of one cell at A1 (row 0, column 0)
    std::string text;   // what cellText(1, 1) reads
};

class ReadValue : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadValue, ReadsAsText) {
    const std::vector<std::u16string> strings{u"plain", u"考场一", std::u16string(40, u'长')};
    const Book b = Book::parse(book({sst(strings, 3, 40)}, {GetParam().cell}));
    EXPECT_EQ(b.cellText(1, 1), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, ReadValue,
    ::testing::Values(
        ReadCase{"NumberIntegral", number(0, 0, 1101), "1101"},
        ReadCase{"NumberSum", number(0, 0, 0.1 + 0.2), "0.3"},
        ReadCase{"NumberBig", number(0, 0, 1e20), "1E+20"},
        ReadCase{"NumberSmall", number(0, 0, 1e-5), "1E-05"},
        ReadCase{"NumberLong", number(0, 0, 123456789012345678.0), "1.23456789012346E+17"},
        ReadCase{"NumberFifteenDigits", number(0, 0, 123456789012345.0), "123456789012345"},
        ReadCase{"NumberNegativeZero", number(0, 0, -0.0), "0"},
        ReadCase{"NumberNegative", number(0, 0, -2.5), "-2.5"},
        ReadCase{"RkInteger", rk(0, 0, rkInt(1101)), "1101"},
        ReadCase{"RkNegativeInteger", rk(0, 0, rkInt(-5)), "-5"},
        ReadCase{"RkIntegerHundredths", rk(0, 0, rkInt(1234) | 1u), "12.34"},
        ReadCase{"RkDouble", rk(0, 0, 0x3FE00000u), "0.5"},
        ReadCase{"RkDoubleHundredths", rk(0, 0, 0x4062C000u | 1u), "1.5"},
        ReadCase{"MulRkFirst", mulRk(0, 0, {rkInt(7), rkInt(8)}), "7"},
        ReadCase{"MulRkSecond", mulRk(0, -1 + 1, {rkInt(9)}), "9"},
        ReadCase{"BoolTrue", boolErr(0, 0, 1, false), "TRUE"},
        ReadCase{"BoolFalse", boolErr(0, 0, 0, false), "FALSE"},
        ReadCase{"ErrNull", boolErr(0, 0, 0x00, true), "#NULL!"},
        ReadCase{"ErrDiv0", boolErr(0, 0, 0x07, true), "#DIV/0!"},
        ReadCase{"ErrValue", boolErr(0, 0, 0x0F, true), "#VALUE!"},
        ReadCase{"ErrRef", boolErr(0, 0, 0x17, true), "#REF!"},
        ReadCase{"ErrName", boolErr(0, 0, 0x1D, true), "#NAME?"},
        ReadCase{"ErrNum", boolErr(0, 0, 0x24, true), "#NUM!"},
        ReadCase{"ErrNA", boolErr(0, 0, 0x2A, true), "#N/A"},
        ReadCase{"FormulaNumber", formulaNumber(0, 0, 42.25), "42.25"},
        ReadCase{"FormulaString", cat({formulaSpecial(0, 0, 0), stringRecord(u"结果")}), "结果"},
        ReadCase{"FormulaStringAfterShared",
                 cat({formulaSpecial(0, 0, 0), record(rid::ShrFmla, Bytes(10, 0)), stringRecord(u"共享")}), "共享"},
        ReadCase{"FormulaEmptyString", formulaSpecial(0, 0, 3), ""},
        ReadCase{"FormulaBoolean", formulaSpecial(0, 0, 1, 1), "TRUE"},
        ReadCase{"FormulaError", formulaSpecial(0, 0, 2, 0x07), "#DIV/0!"},
        ReadCase{"Label8Bit", label(0, 0, u"Zhang San"), "Zhang San"},
        ReadCase{"LabelUtf16", label(0, 0, u"张三"), "张三"},
        ReadCase{"SstPlain", labelSst(0, 0, 0), "plain"},
        ReadCase{"SstUtf16", labelSst(0, 0, 1), "考场一"},
        ReadCase{"SstContinued", labelSst(0, 0, 2), "长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长"},
        ReadCase{"SstIndexOutOfRange", labelSst(0, 0, 99), ""},
        ReadCase{"Blank", blank(0, 0), ""},
        ReadCase{"MulBlank", mulBlank(0, 0, 3), ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(BookRead, AbsentCellsAndSheetName) {
    const Book b = Book::parse(book({}, {number(4, 3, 5)}, u"考生名单"));
    EXPECT_EQ(b.sheetName(), "考生名单");
    EXPECT_EQ(b.cellText(5, 4), "5");
    EXPECT_EQ(b.cellText(5, 5), "");
    EXPECT_EQ(b.cellText(100, 1), "");
    EXPECT_FALSE(b.modified());
}

TEST(BookRead, StringContinuedWithEncodingSwitch) {
    // One SST string whose first part is 8-bit and whose continuation is UTF-16.
    Bytes first = cat({u32(1), u32(1), u16(4), Bytes{0x00, 'a', 'b'}});
    Bytes second = cat({Bytes{0x01}, u16(0x5F20), u16(0x4E09)});
    const Bytes table = cat({record(rid::Sst, first), record(rid::Continue, second)});
    const Book b = Book::parse(book({table}, {labelSst(0, 0, 0)}));
    EXPECT_EQ(b.cellText(1, 1), "ab张三");
}

TEST(BookRead, RichAndPhoneticStringsAreSkippedCorrectly) {
    // "x" with two runs and four bytes of phonetic data, then "y".
    const Bytes data = cat({u32(2), u32(2), u16(1), Bytes{0x0C}, u16(2), u32(4), Bytes{'x'}, Bytes(8, 0), Bytes(4, 0xEE),
                            u16(1), Bytes{0x00, 'y'}});
    const Book b = Book::parse(book({record(rid::Sst, data)}, {labelSst(0, 0, 0), labelSst(0, 1, 1)}));
    EXPECT_EQ(b.cellText(1, 1), "x");
    EXPECT_EQ(b.cellText(1, 2), "y");
}

// ---------------------------------------------------------------- errors

Bytes withFirstBof(std::uint16_t version) {
    Bytes s = book({}, {number(0, 0, 1)});
    biff::setU16(s.data() + 4, version);
    return s;
}

TEST(BookErrors, KindsForBrokenOrForeignStreams) {
    struct Case { const char* name; Bytes stream; ErrorKind kind; };
    Bytes truncated = book({}, {number(0, 0, 1)});
    truncated.resize(truncated.size() - 7);
    Bytes pastEnd = book({}, {number(0, 0, 1)});
    biff::setU16(pastEnd.data() + pastEnd.size() - 4 - 18 + 2, 0x1000);  // NUMBER claims 4 KiB
    Bytes tooLong = book({}, {number(0, 0, 1)});
    biff::setU16(tooLong.data() + tooLong.size() - 4 - 18 + 2, 9000);
    Bytes shortCell = book({}, {record(rid::Number, Bytes(6, 0))});
    Bytes badPly = book({}, {number(0, 0, 1)});
    biff::setU32(badPly.data() + 20 + 4, 0x7FFFFFF0u);
    const Case cases[] = {
        {"biff5", withFirstBof(0x0500), ErrorKind::OldFormat},
        {"biff4", record(0x0409, Bytes(6, 0)), ErrorKind::OldFormat},
        {"filepass", book({record(rid::FilePass, Bytes(6, 0))}, {number(0, 0, 1)}), ErrorKind::Encrypted},
        {"chartOnly", [] {
             Bytes s = book({}, {});
             s[20 + 4 + 5] = 2;  // BOUNDSHEET8 dt: chart
             return s;
         }(), ErrorKind::NoWorksheet},
        {"truncated", truncated, ErrorKind::Corrupt},
        {"pastEnd", pastEnd, ErrorKind::Corrupt},
        {"tooLong", tooLong, ErrorKind::Corrupt},
        {"shortCell", shortCell, ErrorKind::Corrupt},
        {"badLbPlyPos", badPly, ErrorKind::Corrupt},
        {"empty", Bytes{}, ErrorKind::Corrupt},
        {"notBof", record(0x1234, Bytes(2, 0)), ErrorKind::Corrupt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            Book::parse(c.stream);
            ADD_FAILURE() << "no error";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), c.kind) << e.what();
        }
    }
}

TEST(BookErrors, CorruptMessageNamesRecordAndOffset) {
    Bytes s = book({}, {number(0, 0, 1)});
    const std::size_t numberPos = s.size() - 4 - 18;
    biff::setU16(s.data() + numberPos + 2, 0x1000);
    try {
        Book::parse(s);
        FAIL() << "no error";
    } catch (const WorkbookError& e) {
        std::ostringstream want;
        want << "0x" << std::hex << std::uppercase << std::setw(4) << std::setfill('0') << numberPos;
        EXPECT_NE(std::string(e.what()).find(want.str()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("0x0203"), std::string::npos) << e.what();
    }
}

TEST(BookErrors, EveryTruncationOfARealStreamFailsCleanly) {
    const Bytes full = book({sst({u"甲", u"乙"}, 2)}, {rowRecord(0, 0, 3), labelSst(0, 0, 0), mulRk(0, 1, {rkInt(1), rkInt(2)}),
                                                     formulaSpecial(1, 0, 0), stringRecord(u"丙")});
    for (std::size_t n = 0; n < full.size(); ++n) {
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        try {
            const Book b = Book::parse(cut);
            b.cellText(1, 1);
            b.cellText(2, 1);
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << n << ": " << e.what();
        }
    }
}

// ---------------------------------------------------------------- corpus

std::string corpusOrSkip() {
    return corpusDir();
}

struct ManifestRow {
    std::string file;
    std::string kind;
    std::string stream;
    std::string bofVers;
    std::string filepass;
};

std::vector<ManifestRow> manifest(const std::string& dir) {
    std::vector<ManifestRow> rows;
    std::ifstream in(dir + "/MANIFEST.tsv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t')) f.push_back(cell);
        if (f.size() >= 7) rows.push_back({f[0], f[2], f[3], f[4], f[6]});
    }
    return rows;
}

TEST(BookCorpus, Biff5AndEncryptedFilesAreRefusedWithTheirKind) {
    const std::string dir = corpusOrSkip();
    if (dir.empty()) GTEST_SKIP() << "corpus not found next to the project";
    int old = 0, encrypted = 0;
    for (const ManifestRow& row : manifest(dir)) {
        if (row.kind != "ole") continue;
        const bool biff5 = row.bofVers == "0x500";
        const bool enc = row.bofVers == "0x600" && row.filepass == "1";
        if (!biff5 && !enc) continue;
        // BIFF5 files keep their records in a "Book" stream; feed it here as if it were the Workbook.
        const auto stream = workbookStream(dir + "/" + row.file, row.stream == "/Book" ? u"Book" : u"Workbook");
        if (!stream) continue;
        SCOPED_TRACE(row.file);
        try {
            Book::parse(*stream);
            ADD_FAILURE() << "opened";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), biff5 ? ErrorKind::OldFormat : ErrorKind::Encrypted) << e.what();
            (biff5 ? old : encrypted)++;
        }
    }
    EXPECT_GT(encrypted, 10);
    EXPECT_GT(old, 0);
}

}  // namespace
}  // namespace zembrix::xls

namespace zembrix::xls {
namespace {

// ---------------------------------------------------------------- writing

// Every cell of the given range as text, for before/after comparisons.
std::map<std::pair<int, int>, std::string> grid(const Book& b, int rows, int cols) {
    std::map<std::pair<int, int>, std::string> g;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) g[{r, c}] = b.cellText(r, c);
    return g;
}

std::vector<std::uint16_t> recordIds(const Bytes& s, std::size_t from) {
    std::vector<std::uint16_t> ids;
    biff::RecordWalker w(s, from);
    while (w.next()) {
        ids.push_back(w.record().id);
        if (w.record().id == rid::Eof && from != 0) break;
        if (w.record().id == rid::Eof && from == 0) from = 1;
    }
    return ids;
}

TEST(BookWrite, UnchangedRoundTripIsIdentical) {
    const Bytes s = book({sst({u"甲"}, 1)}, {rowRecord(0, 0, 2), labelSst(0, 0, 0), number(0, 1, 3)});
    const Book b = Book::parse(s);
    EXPECT_EQ(b.serialize(), s);
}

TEST(BookWrite, TextNumberAndQuoteRules) {
    struct Case { const char* in; std::string read; std::uint16_t record; };
    const Case cases[] = {
        {"0101", "101", rid::Number},     {"'0101", "0101", rid::LabelSst}, {"12.5", "12.5", rid::Number},
        {"-3", "-3", rid::Number},        {"1e3", "1000", rid::Number},     {"A101", "A101", rid::LabelSst},
        {"第1考场", "第1考场", rid::LabelSst}, {" 5", " 5", rid::LabelSst},  {"inf", "inf", rid::LabelSst},
        {"nan", "nan", rid::LabelSst},    {"'", "", rid::LabelSst},         {"1e999", "1e999", rid::LabelSst},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        Book b = Book::parse(book({}, {rowRecord(0, 0, 1), number(0, 0, 1)}));
        b.setCellText(1, 4, c.in);
        EXPECT_TRUE(b.modified());
        EXPECT_EQ(b.cellText(1, 4), c.read);
        const Bytes out = b.serialize();
        EXPECT_EQ(validate(out), "");
        const Book again = Book::parse(out);
        EXPECT_EQ(again.cellText(1, 4), c.read);
        EXPECT_EQ(again.cellText(1, 1), "1");
        const auto ids = recordIds(out, 0);
        EXPECT_NE(std::find(ids.begin(), ids.end(), c.record), ids.end());
    }
}

// Splitting MULBLANK and MULRK around a written column: the records of row 0 after the write.
TEST(BookWrite, MultiCellRecordsSplitAroundTheWrittenColumn) {
    struct Case {
        const char* name;
        Bytes cells;                          // row 0, starting at column B (1)
        int column;                           // 1-based column written
        std::vector<std::uint16_t> records;   // the cell records of row 0 afterwards
    };
    const Bytes mb = mulBlank(0, 1, 5);                                     // B..F
    const Bytes mr = mulRk(0, 1, {rkInt(1), rkInt(2), rkInt(3), rkInt(4), rkInt(5)});
    const Bytes mr3 = mulRk(0, 2, {rkInt(1), rkInt(2), rkInt(3)});          // C..E
    const Case cases[] = {
        {"blankMiddle", mb, 4, {rid::MulBlank, rid::LabelSst, rid::MulBlank}},
        {"blankFirst", mb, 2, {rid::LabelSst, rid::MulBlank}},
        {"blankLast", mb, 6, {rid::MulBlank, rid::LabelSst}},
        {"blankSecond", mb, 3, {rid::Blank, rid::LabelSst, rid::MulBlank}},
        {"blankBeforeLast", mb, 5, {rid::MulBlank, rid::LabelSst, rid::Blank}},
        {"rkMiddle", mr, 4, {rid::MulRk, rid::LabelSst, rid::MulRk}},
        {"rkSecond", mr, 3, {rid::Rk, rid::LabelSst, rid::MulRk}},
        {"rkOfThreeMiddle", mr3, 4, {rid::Rk, rid::LabelSst, rid::Rk}},
        {"rkAfter", mr3, 7, {rid::MulRk, rid::LabelSst}},
        {"newBefore", mr3, 1, {rid::LabelSst, rid::MulRk}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes s = book({}, {rowRecord(0, 1, 6), c.cells, number(1, 0, 9)});
        Book b = Book::parse(s);
        const auto before = grid(b, 2, 8);
        b.setCellText(1, c.column, "考号");
        const Bytes out = b.serialize();
        EXPECT_EQ(validate(out), "");
        const Book again = Book::parse(out);
        auto want = before;
        want[{1, c.column}] = "考号";
        EXPECT_EQ(grid(again, 2, 8), want);
        std::vector<std::uint16_t> rowCells;
        biff::RecordWalker w(out, 0);
        while (w.next()) {
            const auto& r = w.record();
            const bool cell = r.id == rid::Blank || r.id == rid::MulBlank || r.id == rid::Rk || r.id == rid::MulRk ||
                              r.id == rid::LabelSst || r.id == rid::Number;
            if (cell && biff::getU16(out.data() + r.dataPos()) == 0) rowCells.push_back(r.id);
        }
        EXPECT_EQ(rowCells, c.records);
    }
}

TEST(BookWrite, EmptyTextBlanksAndKeepsFormat) {
    Book b = Book::parse(book({sst({u"甲"}, 1)}, {rowRecord(0, 0, 3), labelSst(0, 0, 0, 21), number(0, 1, 2, 22)}));
    b.setCellText(1, 1, "");
    b.setCellText(1, 2, "");
    b.setCellText(1, 5, "");  // absent stays absent
    const Bytes out = b.serialize();
    EXPECT_EQ(validate(out, {.extSst = false, .sstTotal = true}), "");
    const auto ids = recordIds(out, 0);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), rid::Blank), 2);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), rid::LabelSst), 0);
    // Both blanks keep their own format.
    std::vector<std::uint16_t> xfs;
    biff::RecordWalker w(out, 0);
    while (w.next())
        if (w.record().id == rid::Blank) xfs.push_back(biff::getU16(out.data() + w.record().dataPos() + 4));
    EXPECT_EQ(xfs, (std::vector<std::uint16_t>{21, 22}));
}

TEST(BookWrite, NewCellFormatComesFromRowThenColumnThenDefault) {
    const Bytes colInfo = record(rid::ColInfo, cat({u16(4), u16(5), u16(0x900), u16(33), u16(0), u16(0)}));  // E:F
    const Bytes s = book({}, {colInfo, rowRecord(0, 0, 1, 44), number(0, 0, 1), rowRecord(1, 0, 1), number(1, 0, 2)});
    Book b = Book::parse(s);
    b.setCellText(1, 4, "x");  // ghost-dirty row: 44
    b.setCellText(2, 5, "y");  // column E: 33
    b.setCellText(2, 4, "z");  // default 15
    const Bytes out = b.serialize();
    EXPECT_EQ(validate(out), "");
    std::map<std::pair<int, int>, int> xf;
    biff::RecordWalker w(out, 0);
    while (w.next()) {
        if (w.record().id != rid::LabelSst) continue;
        const std::uint8_t* d = out.data() + w.record().dataPos();
        xf[{biff::getU16(d), biff::getU16(d + 2)}] = biff::getU16(d + 4);
    }
    EXPECT_EQ(xf, (std::map<std::pair<int, int>, int>{{{0, 3}, 44}, {{1, 4}, 33}, {{1, 3}, 15}}));
}

TEST(BookWrite, FormulaAnchorsAreRefusedOthersReplaced) {
    const Bytes anchor = cat({formulaNumber(0, 3, 1), record(rid::ShrFmla, Bytes(10, 0))});
    const Bytes member = record(rid::Formula, cat({u16(1), u16(3), u16(15), f64(2), u16(0), u32(0), u16(5),
                                                   Bytes{0x01}, u16(0), u16(3)}));
    const Bytes arrayAnchor = cat({formulaNumber(0, 4, 1), record(rid::Array, Bytes(14, 0))});
    const Bytes arrayMember = record(rid::Formula, cat({u16(1), u16(4), u16(15), f64(2), u16(0), u32(0), u16(5),
                                                        Bytes{0x01}, u16(0), u16(4)}));
    const Bytes plain = cat({formulaSpecial(2, 3, 0), stringRecord(u"旧")});
    Book b = Book::parse(book({}, {anchor, arrayAnchor, member, arrayMember, plain}));
    for (const auto& [row, col] : {std::pair{1, 4}, std::pair{1, 5}, std::pair{2, 5}}) {
        try {
            b.setCellText(row, col, "1");
            ADD_FAILURE() << row << "," << col;
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Unsupported);
            if (row == 1 && col == 4) {
                EXPECT_NE(std::string(e.what()).find("D1"), std::string::npos) << e.what();
            }
        }
    }
    b.setCellText(2, 4, "新");  // shared member
    b.setCellText(3, 4, "7");   // plain formula with a string result
    const Bytes out = b.serialize();
    EXPECT_EQ(validate(out), "");
    const Book again = Book::parse(out);
    EXPECT_EQ(again.cellText(2, 4), "新");
    EXPECT_EQ(again.cellText(3, 4), "7");
    EXPECT_EQ(again.cellText(1, 4), "1");
    const auto ids = recordIds(out, 0);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), rid::String), 0);  // the replaced formula's STRING is gone
}

TEST(BookWrite, OutOfRangeCellsAreRefused) {
    Book b = Book::parse(book({}, {number(0, 0, 1)}));
    for (const auto& [row, col] : {std::pair{0, 1}, std::pair{65537, 1}, std::pair{1, 0}, std::pair{1, 257}}) {
        try {
            b.setCellText(row, col, "x");
            ADD_FAILURE() << row << "," << col;
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Unsupported);
        }
    }
    b.setCellText(65536, 256, "corner");
    const Book again = Book::parse(b.serialize());
    EXPECT_EQ(again.cellText(65536, 256), "corner");
}

TEST(BookWrite, SstGrowsAcrossContinueWithCjk) {
    // An SST already split over records, then enough new CJK and mixed strings to open more.
    std::vector<std::u16string> existing;
    for (int i = 0; i < 300; ++i) existing.push_back(u"已有字符串" + std::u16string(1, static_cast<char16_t>(u'甲' + i)));
    std::vector<Bytes> cells{rowRecord(0, 0, 1)};
    for (int i = 0; i < 300; ++i) cells.push_back(labelSst(i, 0, static_cast<std::uint32_t>(i)));
    Book b = Book::parse(book({sst(existing, 300, 1000)}, cells));
    std::vector<std::string> written;
    for (int i = 0; i < 3000; ++i) {
        std::string t = (i % 3 == 0) ? "KS" + std::to_string(100000 + i) : "第" + std::to_string(i) + "考场座位";
        if (i % 7 == 0) t += std::string(400, 'x');  // long strings cross record boundaries
        written.push_back(t);
        b.setCellText(i + 1, 4, t);
    }
    b.setCellText(1, 5, "已有字符串甲");  // an existing string is reused
    const Bytes out = b.serialize();
    EXPECT_EQ(validate(out), "");
    const Book again = Book::parse(out);
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(again.cellText(i + 1, 4), written[static_cast<std::size_t>(i)]) << i;
    for (int i = 0; i < 300; ++i) ASSERT_EQ(again.cellText(i + 1, 1), b.cellText(i + 1, 1));
    EXPECT_EQ(again.cellText(1, 5), "已有字符串甲");
}

TEST(BookWrite, WorkbookWithoutSstGetsOne) {
    Book b = Book::parse(book({}, {rowRecord(0, 0, 1), number(0, 0, 1)}));
    b.setCellText(1, 4, "考号");
    b.setCellText(2, 6, "座位");
    const Bytes out = b.serialize();
    EXPECT_EQ(validate(out), "");
    const Book again = Book::parse(out);
    EXPECT_EQ(again.cellText(1, 4), "考号");
    EXPECT_EQ(again.cellText(2, 6), "座位");
    EXPECT_EQ(again.cellText(1, 1), "1");
}

// A sheet shaped like Excel's: INDEX, DEFCOLWIDTH, DIMENSIONS, blocks of 32 ROWs, their cells and
// a DBCELL, then a second sheet whose INDEX must follow it when it moves.
Bytes blockedBook(int rows, int cols) {
    auto sheet = [&](int nrows) {
        std::vector<Bytes> recs;
        const int blocks = (nrows + 31) / 32;
        recs.push_back(record(rid::Index, cat({u32(0), u32(0), u32(static_cast<std::uint32_t>(nrows)), u32(0),
                                               Bytes(4 * static_cast<std::size_t>(blocks), 0)})));
        recs.push_back(record(rid::DefColWidth, u16(8)));
        for (int b0 = 0; b0 < nrows; b0 += 32) {
            const int end = std::min(nrows, b0 + 32);
            for (int r = b0; r < end; ++r) recs.push_back(rowRecord(r, 0, cols));
            for (int r = b0; r < end; ++r)
                for (int c = 0; c < cols; ++c) recs.push_back(c == 1 ? number(r, c, r + 0.5) : rk(r, c, rkInt(r * 10 + c)));
            recs.push_back(record(rid::DbCell, Bytes(4 + 2 * static_cast<std::size_t>(end - b0), 0)));
        }
        return recs;
    };
    // Two sheets: build the first with the helper, then append a copy of its substream as sheet 2.
    Bytes s = book({}, sheet(rows));
    // Fix INDEX and DBCELL of the built sheet by serialising through Book with a no-op-free edit later;
    // here fill them directly from the record positions.
    std::size_t sheetStart = biff::getU32(s.data() + 20 + 4);
    Bytes sheet2(s.begin() + static_cast<std::ptrdiff_t>(sheetStart), s.end());
    // A second BOUNDSHEET8 before the globals EOF.
    const Bytes bs2 = record(rid::BoundSheet, cat({u32(0), Bytes{0, 0}, Bytes{2, 0, 'S', '2'}}));
    s.insert(s.begin() + static_cast<std::ptrdiff_t>(sheetStart - 4), bs2.begin(), bs2.end());
    sheetStart += bs2.size();
    biff::setU32(s.data() + 20 + 4, static_cast<std::uint32_t>(sheetStart));
    const std::size_t sheet2Start = s.size();
    biff::setU32(s.data() + sheetStart - 4 - bs2.size() + 4, static_cast<std::uint32_t>(sheet2Start));
    s.insert(s.end(), sheet2.begin(), sheet2.end());
    // INDEX and DBCELL of both sheets, from the layout.
    for (const std::size_t start : {sheetStart, sheet2Start}) {
        std::size_t index = 0, defcol = 0, firstRow = 0, ref = 0;
        std::vector<std::size_t> dbcells, blockRows;
        std::map<int, std::size_t> firstCell;
        biff::RecordWalker w(s, start);
        while (w.next()) {
            const auto& r = w.record();
            const std::uint8_t* d = s.data() + r.dataPos();
            if (r.id == rid::Index) index = r.pos;
            if (r.id == rid::DefColWidth) defcol = r.pos;
            if (r.id == rid::Row) {
                if (blockRows.empty()) firstRow = r.pos;
                blockRows.push_back(biff::getU16(d));
            }
            if ((r.id == rid::Rk || r.id == rid::Number)) firstCell.try_emplace(biff::getU16(d), r.pos);
            if (r.id == rid::DbCell) {
                dbcells.push_back(r.pos);
                biff::setU32(s.data() + r.dataPos(), static_cast<std::uint32_t>(r.pos - firstRow));
                ref = firstRow + 20;
                for (std::size_t k = 0; k < blockRows.size(); ++k) {
                    const std::size_t fc = firstCell[static_cast<int>(blockRows[k])];
                    biff::setU16(s.data() + r.dataPos() + 4 + 2 * k, static_cast<std::uint16_t>(fc - ref));
                    ref = fc;
                }
                blockRows.clear();
            }
            if (r.id == rid::Eof) break;
        }
        biff::setU32(s.data() + index + 4 + 12, static_cast<std::uint32_t>(defcol));
        for (std::size_t k = 0; k < dbcells.size(); ++k)
            biff::setU32(s.data() + index + 4 + 16 + 4 * k, static_cast<std::uint32_t>(dbcells[k]));
    }
    return s;
}

TEST(BookWrite, BlocksIndexAndSecondSheetStayConsistent) {
    const Bytes s = blockedBook(100, 3);
    ASSERT_EQ(validate(s, {.extSst = false, .sstTotal = true}), "");
    Book b = Book::parse(s);
    const auto before = grid(b, 101, 7);
    for (int r = 1; r <= 100; ++r) {
        b.setCellText(r, 4, "KS" + std::to_string(r));
        b.setCellText(r, 5, std::to_string(r % 9));
        b.setCellText(r, 6, r % 2 ? "'0" + std::to_string(r) : "");
    }
    b.setCellText(2, 2, "改");  // a NUMBER becomes text inside a block
    const Bytes out = b.serialize();
    EXPECT_EQ(validate(out), "");
    const Book again = Book::parse(out);
    auto want = before;
    for (int r = 1; r <= 100; ++r) {
        want[{r, 4}] = "KS" + std::to_string(r);
        want[{r, 5}] = std::to_string(r % 9);
        want[{r, 6}] = r % 2 ? "0" + std::to_string(r) : "";
    }
    want[{2, 2}] = "改";
    EXPECT_EQ(grid(again, 101, 7), want);
}

TEST(BookWrite, NewRowsBeyondTheTableAreReadBack) {
    Book b = Book::parse(blockedBook(40, 3));
    b.setCellText(60, 4, "末尾");
    b.setCellText(35, 6, "中间");
    const Bytes out = b.serialize();
    EXPECT_EQ(validate(out), "");
    const Book again = Book::parse(out);
    EXPECT_EQ(again.cellText(60, 4), "末尾");
    EXPECT_EQ(again.cellText(35, 6), "中间");
    EXPECT_EQ(again.cellText(35, 3), "342");
}

TEST(BookWrite, LargeSheetTakesAllWrites) {
    const int rows = 65534;
    Book b = Book::parse(blockedBook(rows, 3));
    for (int r = 1; r <= rows; ++r) {
        b.setCellText(r, 4, "KS" + std::to_string(100000 + r));
        b.setCellText(r, 5, std::to_string(r / 30 + 1));
        b.setCellText(r, 6, std::to_string(r % 30 + 1));
    }
    const Bytes out = b.serialize();
    EXPECT_EQ(validate(out), "");
    const Book again = Book::parse(out);
    for (int r = 1; r <= rows; r += 997) {
        ASSERT_EQ(again.cellText(r, 4), "KS" + std::to_string(100000 + r));
        ASSERT_EQ(again.cellText(r, 6), std::to_string(r % 30 + 1));
        ASSERT_EQ(again.cellText(r, 1), std::to_string((r - 1) * 10));
    }
}

}  // namespace
}  // namespace zembrix::xls

namespace zembrix::xls {
namespace {

// Values read by xlrd from the files.
TEST(BookCorpus, ReadsKnownValues) {
    const std::string dir = corpusDir();
    if (dir.empty()) GTEST_SKIP() << "corpus not found next to the project";
    struct Known { const char* file; int row; int col; const char* text; };
    const Known known[] = {
        {"xls/testdata/issue47.xls", 1, 1, "时段"},
        {"xls/testdata/issue47.xls", 1, 2, "短期预测风速"},
        {"xls/testdata/issue47.xls", 1, 4, "实测风速"},
        {"xlrd/tests/samples/Formate.xls", 1, 1, "Huber"},
        {"xlrd/tests/samples/Formate.xls", 2, 1, "Äcker"},
        {"xlrd/tests/samples/Formate.xls", 3, 1, "Öcker"},
        {"gnumeric/samples/excel/chart-tests-excel.xls", 1, 1, "10"},
        {"gnumeric/samples/excel/chart-tests-excel.xls", 1, 2, "2.09983341664683"},
        {"gnumeric/samples/excel/chart-tests-excel.xls", 2, 1, "20"},
    };
    for (const Known& k : known) {
        SCOPED_TRACE(std::string(k.file) + " " + std::to_string(k.row) + "," + std::to_string(k.col));
        const auto stream = workbookStream(dir + "/" + k.file);
        ASSERT_TRUE(stream);
        EXPECT_EQ(Book::parse(*stream).cellText(k.row, k.col), k.text);
    }
}

// Every BIFF8 file of the corpus: no change gives identical bytes; writing D..F of the first rows
// reads back, leaves every other cell as it was and keeps the structures consistent.
TEST(BookCorpus, RoundTripAndWritesOnEveryWriter) {
    const std::string dir = corpusDir();
    if (dir.empty()) GTEST_SKIP() << "corpus not found next to the project";
    int opened = 0, written = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.path().extension() != ".xls" && entry.path().extension() != ".XLS") continue;
        const auto stream = workbookStream(entry.path().string());
        if (!stream) continue;
        const std::string name = entry.path().lexically_relative(dir).string();
        SCOPED_TRACE(name);
        std::optional<Book> parsed;
        try {
            parsed.emplace(Book::parse(*stream));
        } catch (const WorkbookError&) {
            continue;  // refusals are checked by kind elsewhere; here we only need no crash
        }
        Book& b = *parsed;
        ++opened;
        ASSERT_EQ(b.serialize(), *stream);
        const auto before = grid(b, 60, 12);
        const bool cleanBefore = validate(*stream, {.extSst = false, .sstTotal = false}).empty();
        bool refused = false;
        for (int r = 1; r <= 50 && !refused; ++r) {
            try {
                b.setCellText(r, 4, "KS" + std::to_string(2024000 + r));
                b.setCellText(r, 5, "第" + std::to_string(r % 7 + 1) + "考场");
                b.setCellText(r, 6, std::to_string(r % 30 + 1));
            } catch (const WorkbookError& e) {
                EXPECT_EQ(e.kind(), ErrorKind::Unsupported) << e.what();
                refused = true;
            }
        }
        if (refused) continue;
        ++written;
        const Bytes out = b.serialize();
        if (cleanBefore) {
            EXPECT_EQ(validate(out, {.extSst = false, .sstTotal = false}), "");
        }
        const Book again = Book::parse(out);
        auto want = before;
        for (int r = 1; r <= 50; ++r) {
            want[{r, 4}] = "KS" + std::to_string(2024000 + r);
            want[{r, 5}] = "第" + std::to_string(r % 7 + 1) + "考场";
            want[{r, 6}] = std::to_string(r % 30 + 1);
        }
        EXPECT_EQ(grid(again, 60, 12), want);
    }
    EXPECT_GT(opened, 500);
    EXPECT_GT(written, 400);
}

}  // namespace
}  // namespace zembrix::xls
