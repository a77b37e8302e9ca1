#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "arrange/engine.h"
#include "memory_sheet.h"
#include "workbook/check.h"
#include "workbook/workbook.h"

namespace zembrix::xls {
namespace {
namespace fs = std::filesystem;

const fs::path kFixtures = ZEMBRIX_FIXTURE_DIR;

std::vector<std::uint8_t> ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zembrix-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    fs::path Copy(const fs::path& fixture, const std::string& name = "roster.xls") {
        const fs::path to = dir / name;
        fs::copy_file(fixture, to, fs::copy_options::overwrite_existing);
        return to;
    }
    std::vector<fs::path> Entries() const {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(dir)) found.push_back(e.path().filename());
        std::sort(found.begin(), found.end());
        return found;
    }
    fs::path dir;
};

// ---- What the file really is ------------------------------------------------

struct Refusal {
    const char* file;
    ErrorKind kind;
    const char* says;
};

TEST(OpenRefuses, FilesThatAreNotExcel97Workbooks) {
    const std::vector<Refusal> cases{
        {"not_xls_xlsx.xls", ErrorKind::NotWorkbook, ".xlsx"},
        {"not_xls_html.xls", ErrorKind::NotWorkbook, "HTML"},
        {"not_xls_csv.xls", ErrorKind::NotWorkbook, "CSV"},
        {"not_xls_spreadsheetml.xls", ErrorKind::NotWorkbook, "SpreadsheetML"},
        {"biff5.xls", ErrorKind::OldFormat, "Excel 95"},
        {"biff4.xls", ErrorKind::OldFormat, "4.0"},
        {"encrypted.xls", ErrorKind::Encrypted, "密码"},
    };
    for (const Refusal& c : cases) {
        try {
            Workbook::open(kFixtures / c.file);
            ADD_FAILURE() << c.file << " opened";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), c.kind) << c.file << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.file << ": " << e.what();
            if (c.kind != ErrorKind::Encrypted) {
                EXPECT_NE(std::string(e.what()).find("97-2003"), std::string::npos) << c.file << ": " << e.what();
            }
        }
    }
}

TEST_F(TempDir, OpenRefusesMissingEmptyHugeAndDirectoryPaths) {
    WriteBytes(dir / "empty.xls", {});
    { std::ofstream(dir / "sparse.xls").close(); }
    fs::resize_file(dir / "sparse.xls", 1ull << 30);  // a sparse gigabyte: refused before reading
    fs::create_directory(dir / "folder.xls");
    const std::vector<std::pair<std::string, ErrorKind>> cases{
        {"missing.xls", ErrorKind::NotFound}, {"empty.xls", ErrorKind::NotWorkbook},
        {"sparse.xls", ErrorKind::TooLarge}, {"folder.xls", ErrorKind::NotFound}};
    for (const auto& [name, kind] : cases) {
        try {
            Workbook::open(dir / name);
            ADD_FAILURE() << name << " opened";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), kind) << name << ": " << e.what();
        }
    }
}

// ---- Check, arrange and save on real workbooks -----------------------------

constexpr int kWindowRows = 320;  // covers every fixture and the example

// The first sheet's cells as text over a window wide enough for the fixtures.
std::vector<std::vector<std::string>> Cells(CellSheet& sheet, int rows, int columns) {
    std::vector<std::vector<std::string>> cells(static_cast<std::size_t>(rows));
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= columns; ++c) cells[static_cast<std::size_t>(r - 1)].push_back(sheet.readCell(r, c));
    }
    return cells;
}

class Arranged : public ::testing::TestWithParam<const char*> {};

TEST_P(Arranged, SavedWorkbookHoldsTheEngineTextsAndNothingElseChanges) {
    const fs::path file = GetParam()[0] == '/' ? fs::path(GetParam()) : kFixtures / GetParam();
    auto book = Workbook::open(file);
    CellSheet& sheet = book->firstSheet();
    const auto before = Cells(sheet, kWindowRows, 10);

    std::int32_t recordCount = 0;
    bool passed = false;
    ASSERT_EQ(CheckFormat(true, sheet, recordCount, passed).result, CheckOutcome::Result::Passed);
    Roster roster;
    ExecuteArrangement(sheet, roster);

    // The same arrangement on a plain in-memory copy of columns A..C.
    test::MemorySheet expected;
    for (int r = 3; r <= recordCount + 2; ++r) {
        expected.set(r, 1, before[static_cast<std::size_t>(r - 1)][0]);
        expected.set(r, 3, before[static_cast<std::size_t>(r - 1)][2]);
    }
    Roster expectedRoster;
    ExecuteArrangement(expected, expectedRoster);

    auto reopened = Workbook::fromBytes(book->saveToBytes());
    const auto after = Cells(reopened->firstSheet(), kWindowRows, 10);
    for (int r = 1; r <= kWindowRows; ++r) {
        for (int c = 1; c <= 10; ++c) {
            const auto& got = after[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)];
            const bool written = r >= 3 && r <= recordCount + 2 && c >= 4 && c <= 6;
            EXPECT_EQ(got, written ? expected.get(r, c) : before[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)])
                << file.filename() << " row " << r << " column " << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Arranged,
                         ::testing::Values("roster_xlwt.xls", "roster_lo.xls", "roster_gnumeric.xls", "formulas.xls",
                                           "existing_def.xls", "merged_def.xls", "cjk_codes.xls",
                                           ZEMBRIX_SOURCE_DIR "/examples/candidates.xls"));

TEST(Opened, AnUnchangedWorkbookSavesToTheSameBytes) {
    for (const char* name : {"roster_xlwt.xls", "roster_lo.xls", "roster_gnumeric.xls"}) {
        const auto original = ReadBytes(kFixtures / name);
        EXPECT_EQ(Workbook::fromBytes(original)->saveToBytes(), original) << name;
    }
}

// ---- Saving safely ---------------------------------------------------------

// Opens a copy of a roster and arranges it, ready to save.
std::unique_ptr<Workbook> ArrangedCopy(const fs::path& path) {
    auto book = Workbook::open(path);
    std::int32_t count = 0;
    bool passed = false;
    CheckFormat(true, book->firstSheet(), count, passed);
    Roster roster;
    ExecuteArrangement(book->firstSheet(), roster);
    return book;
}

TEST_F(TempDir, SaveReplacesTheFileKeepingItsPermissions) {
    const fs::path path = Copy(kFixtures / "roster_xlwt.xls");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    auto book = ArrangedCopy(path);
    const auto bytes = book->saveToBytes();
    book->save();
    EXPECT_EQ(ReadBytes(path), bytes);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Entries(), std::vector<fs::path>{"roster.xls"});
    book->save();  // saving again is no change on disk by someone else
    EXPECT_EQ(ReadBytes(path), bytes);
}

TEST_F(TempDir, SaveThroughASymlinkWritesItsTarget) {
    const fs::path real = Copy(kFixtures / "roster_lo.xls", "real.xls");
    fs::create_symlink(real, dir / "link.xls");
    auto book = ArrangedCopy(dir / "link.xls");
    book->save();
    EXPECT_TRUE(fs::is_symlink(dir / "link.xls"));
    EXPECT_EQ(ReadBytes(real), book->saveToBytes());
    EXPECT_EQ(Entries(), (std::vector<fs::path>{"link.xls", "real.xls"}));
}

TEST_F(TempDir, SaveAsLeavesTheOriginalAlone) {
    const fs::path path = Copy(kFixtures / "roster_gnumeric.xls");
    const auto original = ReadBytes(path);
    auto book = ArrangedCopy(path);
    book->saveAs(dir / "out.xls");
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(ReadBytes(dir / "out.xls"), book->saveToBytes());
}

// Each failure leaves the file byte-identical, no temporary file behind, and
// the workbook open so that saving again works once the cause is gone.
TEST_F(TempDir, FailedSavesLoseNothing) {
    struct Fault {
        const char* name;
        ErrorKind kind;
        std::function<void(const fs::path&)> before;  // disturbs the file system
        FileOps ops;                                  // or the system calls
        std::function<void(const fs::path&)> undo;
    };
    int budget = 0;
    auto failAfter = [&budget](int error) {
        return [&budget, error](int fd, const void* data, std::size_t size) -> ssize_t {
            if (budget <= 0) {
                errno = error;
                return -1;
            }
            const std::size_t n = std::min<std::size_t>(size, static_cast<std::size_t>(budget));
            budget -= static_cast<int>(n);
            return ::write(fd, data, n);
        };
    };
    const std::vector<Fault> faults{
        {"writer fails after 1000 bytes", ErrorKind::SaveFailed, {}, {failAfter(EIO), {}, {}}, {}},
        {"disk full", ErrorKind::SaveFailed, {}, {failAfter(ENOSPC), {}, {}}, {}},
        {"permission denied", ErrorKind::SaveFailed, {}, {failAfter(EACCES), {}, {}}, {}},
        {"fsync fails", ErrorKind::SaveFailed, {}, {{}, [](int) { errno = EIO; return -1; }, {}}, {}},
        {"rename fails", ErrorKind::SaveFailed, {}, {{}, {}, [](const char*, const char*) { errno = EXDEV; return -1; }}, {}},
        {"read-only file", ErrorKind::SaveFailed,
         [](const fs::path& p) { fs::permissions(p, fs::perms::owner_read | fs::perms::group_read); }, {},
         [](const fs::path& p) { fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write); }},
        {"changed on disk", ErrorKind::ChangedOnDisk,
         [](const fs::path& p) { std::ofstream(p, std::ios::app | std::ios::binary) << 'x'; }, {},
         [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) - 1); }},
        {"replaced on disk", ErrorKind::ChangedOnDisk,
         [](const fs::path& p) { fs::rename(p, p.string() + ".away"); fs::copy_file(kFixtures / "roster_lo.xls", p); }, {},
         [](const fs::path& p) { fs::rename(p.string() + ".away", p); }},
        {"path now a directory", ErrorKind::SaveFailed,
         [](const fs::path& p) { fs::rename(p, p.string() + ".away"); fs::create_directory(p); }, {},
         [](const fs::path& p) { fs::remove(p); fs::rename(p.string() + ".away", p); }},
    };
    for (const Fault& f : faults) {
        const fs::path path = Copy(kFixtures / "roster_xlwt.xls");
        const auto original = ReadBytes(path);
        auto book = ArrangedCopy(path);
        budget = 1000;
        if (f.before) f.before(path);
        const auto disturbed = fs::is_regular_file(path) ? ReadBytes(path) : std::vector<std::uint8_t>{};
        try {
            book->save(&f.ops);
            ADD_FAILURE() << f.name << ": saved";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), f.kind) << f.name << ": " << e.what();
        }
        if (fs::is_regular_file(path)) {
            EXPECT_EQ(ReadBytes(path), disturbed) << f.name;
        }
        EXPECT_EQ(Entries().size(), fs::exists(path.string() + ".away") ? 2u : 1u) << f.name << ": a temporary file is left";
        if (f.undo) f.undo(path);
        ASSERT_EQ(ReadBytes(path), original) << f.name;
        book->save();  // the cause is gone: the same workbook saves
        EXPECT_EQ(ReadBytes(path), book->saveToBytes()) << f.name;
    }
}

TEST_F(TempDir, SaveFailsCleanlyWhenTheFolderIsGone) {
    fs::create_directory(dir / "sub");
    const fs::path path = Copy(kFixtures / "roster_xlwt.xls", "sub/roster.xls");
    auto book = ArrangedCopy(path);
    fs::remove_all(dir / "sub");
    try {
        book->save();
        ADD_FAILURE() << "saved into a removed folder";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::ChangedOnDisk) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir / "sub"));
    try {
        book->saveAs(dir / "sub" / "out.xls");
        ADD_FAILURE() << "saved into a removed folder";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::SaveFailed) << e.what();
        EXPECT_NE(std::string(e.what()).find("原文件没有改动"), std::string::npos);
    }
}

}  // namespace
}  // namespace zembrix::xls
