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
