#include "workbook/cfb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "workbook/error.h"

namespace {

namespace fs = std::filesystem;
using zembrix::cfb::CompoundFile;
using zembrix::cfb::DirEntry;
using zembrix::xls::ErrorKind;
using zembrix::xls::WorkbookError;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kEnd = 0xFFFFFFFEu;
constexpr std::uint32_t kFree = 0xFFFFFFFFu;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

std::uint32_t rd32(const Bytes& b, std::size_t off) {
    return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
           (static_cast<std::uint32_t>(b[off + 2]) << 16) | (static_cast<std::uint32_t>(b[off + 3]) << 24);
}
void wr16(Bytes& b, std::size_t off, std::uint16_t v) {
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
void wr32(Bytes& b, std::size_t off, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b[off + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
}

Bytes readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes pattern(std::size_t n, std::uint32_t seed) {
    Bytes b(n);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : b) {
        x = x * 1103515245u + 12345u;
        c = static_cast<std::uint8_t>(x >> 16);
    }
    return b;
}

// ---- A small compound-file writer, independent of the reader under test ---------------------

struct Node {
    std::u16string name;
    std::uint8_t type;  // 1 storage, 2 stream, 5 root
    std::uint32_t left = kNone, right = kNone, child = kNone;
    Bytes content;
};

// Lays out: FAT (one sector), directory, miniFAT, mini stream, then each regular stream.
Bytes buildImage(std::uint32_t sectorSize, std::vector<Node> nodes) {
    const std::size_t S = sectorSize;
    std::vector<std::uint32_t> fat;
    std::vector<Bytes> sectors;
    auto chainOf = [&](const Bytes& data) -> std::uint32_t {
        const std::size_t n = (data.size() + S - 1) / S;
        if (n == 0) return kEnd;
        const auto first = static_cast<std::uint32_t>(sectors.size());
        for (std::size_t i = 0; i < n; ++i) {
            Bytes sec(S, 0);
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(i * S), std::min(S, data.size() - i * S), sec.begin());
            sectors.push_back(sec);
            fat.push_back(i + 1 < n ? static_cast<std::uint32_t>(sectors.size()) : kEnd);
        }
        return first;
    };
    sectors.emplace_back(S, 0xFF);  // FAT, filled in at the end
    fat.push_back(0xFFFFFFFDu);

    Bytes mini, miniFat;
    std::vector<std::uint32_t> starts(nodes.size(), kEnd);
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        const Bytes& c = nodes[i].content;
        if (nodes[i].type != 2 || c.empty() || c.size() >= 4096) continue;
        const std::size_t first = mini.size() / 64, n = (c.size() + 63) / 64;
        starts[i] = static_cast<std::uint32_t>(first);
        mini.insert(mini.end(), c.begin(), c.end());
        mini.resize((first + n) * 64, 0);
        for (std::size_t k = 0; k < n; ++k) {
            miniFat.resize(miniFat.size() + 4);
            wr32(miniFat, miniFat.size() - 4, k + 1 < n ? static_cast<std::uint32_t>(first + k + 1) : kEnd);
        }
    }
    Bytes dir((nodes.size() * 128 + S - 1) / S * S, 0);
    const std::uint32_t dirStart = chainOf(dir);
    miniFat.resize((miniFat.size() + S - 1) / S * S, 0xFF);
    const std::uint32_t miniFatStart = chainOf(miniFat);
    starts[0] = chainOf(mini);
    for (std::size_t i = 1; i < nodes.size(); ++i)
        if (nodes[i].type == 2 && nodes[i].content.size() >= 4096) starts[i] = chainOf(nodes[i].content);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        Bytes& e = sectors[dirStart + i * 128 / S];
        const std::size_t o = i * 128 % S;
        for (std::size_t k = 0; k < nodes[i].name.size(); ++k) wr16(e, o + 2 * k, static_cast<std::uint16_t>(nodes[i].name[k]));
        wr16(e, o + 0x40, static_cast<std::uint16_t>((nodes[i].name.size() + 1) * 2));
        e[o + 0x42] = nodes[i].type;
        e[o + 0x43] = 1;
        wr32(e, o + 0x44, nodes[i].left);
        wr32(e, o + 0x48, nodes[i].right);
        wr32(e, o + 0x4C, nodes[i].child);
        e[o + 0x64] = static_cast<std::uint8_t>(i + 1);  // a timestamp byte that must survive
        wr32(e, o + 0x74, nodes[i].type == 1 ? 0 : starts[i]);
        wr32(e, o + 0x78, static_cast<std::uint32_t>(i == 0 ? mini.size() : nodes[i].content.size()));
    }
    for (std::size_t i = (nodes.size() * 128) % S ? nodes.size() : S; i % (S / 128); ++i) {
        Bytes& e = sectors[dirStart + i * 128 / S];
        wr32(e, i * 128 % S + 0x44, kNone);
        wr32(e, i * 128 % S + 0x48, kNone);
        wr32(e, i * 128 % S + 0x4C, kNone);
    }
    EXPECT_LE(fat.size(), S / 4) << "the test writer uses a single FAT sector";
    for (std::size_t k = 0; k < fat.size(); ++k) wr32(sectors[0], 4 * k, fat[k]);

    Bytes img(S, 0);
    const std::uint8_t sig[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(sig), std::end(sig), img.begin());
    wr16(img, 0x18, 0x3E);
    wr16(img, 0x1A, S == 512 ? 3 : 4);
    wr16(img, 0x1C, 0xFFFE);
    wr16(img, 0x1E, S == 512 ? 9 : 12);
    wr16(img, 0x20, 6);
    wr32(img, 0x2C, 1);
    wr32(img, 0x30, dirStart);
    wr32(img, 0x38, 4096);
    wr32(img, 0x3C, miniFatStart);
    wr32(img, 0x40, static_cast<std::uint32_t>(miniFat.size() / S));
    wr32(img, 0x44, kEnd);
    for (std::size_t k = 0; k < 109; ++k) wr32(img, 0x4C + 4 * k, k == 0 ? 0 : kFree);
    for (const Bytes& s : sectors) img.insert(img.end(), s.begin(), s.end());
    return img;
}

// Where sampleImage puts directory entry i: the directory starts at sector 1.
std::size_t entryAt(std::size_t S, std::size_t i) { return S * (2 + i * 128 / S) + i * 128 % S; }

// Root -> {Workbook, \005SummaryInformation, storage "Sub" -> {"Inner", "Big"}}.
Bytes sampleImage(std::uint32_t sectorSize, std::size_t workbookSize) {
    std::vector<Node> n(6);
    n[0] = {u"Root Entry", 5, kNone, kNone, 1, {}};
    n[1] = {u"Workbook", 2, 2, 3, kNone, pattern(workbookSize, 1)};
    n[2] = {u"\u0005SummaryInformation", 2, kNone, kNone, kNone, pattern(300, 2)};
    n[3] = {u"Sub", 1, kNone, kNone, 4, {}};
    n[4] = {u"Inner", 2, kNone, 5, kNone, pattern(100, 4)};
    n[5] = {u"Big", 2, kNone, kNone, kNone, pattern(5000, 5)};
    return buildImage(sectorSize, std::move(n));
}

// ---- Independent checks on an image ----------------------------------------------------------

// The raw 128-byte directory entries, found by following the header and FAT directly.
std::vector<Bytes> rawDirectory(const Bytes& img) {
    const std::size_t S = std::size_t{1} << (img[0x1E] | (img[0x1F] << 8));
    auto sectorWord = [&](std::uint32_t s, std::size_t j) { return rd32(img, (s + 1) * S + 4 * j); };
    std::vector<std::uint32_t> fatSectors;
    const std::uint32_t fatCount = rd32(img, 0x2C);
    for (std::uint32_t k = 0; k < std::min<std::uint32_t>(fatCount, 109); ++k) fatSectors.push_back(rd32(img, 0x4C + 4 * k));
    for (std::uint32_t d = rd32(img, 0x44); fatSectors.size() < fatCount; d = sectorWord(d, S / 4 - 1))
        for (std::size_t j = 0; j + 1 < S / 4 && fatSectors.size() < fatCount; ++j) fatSectors.push_back(sectorWord(d, j));
    auto next = [&](std::uint32_t s) { return sectorWord(fatSectors.at(s / (S / 4)), s % (S / 4)); };
    std::vector<Bytes> out;
    for (std::uint32_t s = rd32(img, 0x30); s != kEnd && out.size() < 100000; s = next(s))
        for (std::size_t k = 0; k < S / 128; ++k) {
            const auto at = img.begin() + static_cast<std::ptrdiff_t>((s + 1) * S + k * 128);
            out.emplace_back(at, at + 128);
        }
    return out;
}

std::optional<std::size_t> workbookStream(const CompoundFile& f) {
    if (auto w = f.findRootStream(u"Workbook")) return w;
    return f.findRootStream(u"Book");
}

// Replaces `target` and checks what must hold for any replacement: the result parses, the target
// reads back, every other stream and every other directory entry is unchanged.
void checkReplace(const CompoundFile& f, std::size_t target, const Bytes& content, const std::string& what) {
    SCOPED_TRACE(what);
    const Bytes out = f.replaceStream(target, content);
    std::unique_ptr<CompoundFile> g;
    try {
        g = std::make_unique<CompoundFile>(CompoundFile::parse(out));
    } catch (const WorkbookError& e) {
        FAIL() << "patched image does not parse: " << e.what();
    }
    ASSERT_EQ(g->entries().size(), f.entries().size());
    EXPECT_EQ(g->readStream(target), content);
    EXPECT_EQ(g->entries()[target].size, content.size());
    const bool miniChanged = (content.size() < 4096 && !content.empty()) || f.entries()[target].size < 4096;
    const auto before = rawDirectory(f.image()), after = rawDirectory(out);
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < f.entries().size(); ++i) {
        if (i == target) continue;
        if (i == 0 && miniChanged) {
            // Only the root's start and size may move with the mini stream.
            EXPECT_TRUE(std::equal(before[0].begin(), before[0].begin() + 0x74, after[0].begin())) << "root entry";
            continue;
        }
        EXPECT_EQ(before[i], after[i]) << "directory entry " << i;
        const DirEntry& e = f.entries()[i];
        if (e.type == 2 && e.size > 0) {
            bool readable = true;
            Bytes old;
            try {
                old = f.readStream(i);
            } catch (const std::out_of_range&) {
                readable = false;  // not reachable from the root
            }
            if (readable) {
                EXPECT_EQ(g->readStream(i), old) << "stream " << i;
            }
        }
    }
    // The target's own entry keeps its name, links, CLSID, state bits and timestamps.
    EXPECT_TRUE(std::equal(before[target].begin(), before[target].begin() + 0x74, after[target].begin()));
}

// ---- Synthetic images ------------------------------------------------------------------------

struct ReplaceCase {
    const char* name;
    std::size_t from;  // Workbook size in the sample
    std::size_t to;    // replacement size
};

class SyntheticReplace : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(SyntheticReplace, ReadsAndReplacesEveryWay) {
    const ReplaceCase cases[] = {
        {"regular, same size", 9000, 9000},    {"regular grows", 9000, 20000},
        {"regular shrinks", 20000, 5000},      {"regular to mini", 9000, 1000},
        {"mini grows in place", 200, 3000},    {"mini shrinks", 3000, 65},
        {"mini to regular", 1000, 4096},       {"mini to regular, large", 1000, 70000},
        {"regular to empty", 9000, 0},         {"mini to empty", 1000, 0},
        {"empty to mini", 0, 10},              {"empty to regular", 0, 5000},
    };
    for (const auto& c : cases) {
        const Bytes img = sampleImage(GetParam(), c.from);
        const CompoundFile f = CompoundFile::parse(img);
        const auto wb = f.findRootStream(u"WORKBOOK");
        ASSERT_TRUE(wb.has_value()) << c.name;
        EXPECT_EQ(f.readStream(*wb), pattern(c.from, 1)) << c.name;
        EXPECT_EQ(f.readStream(*f.findRootStream(u"\u0005summaryinformation")), pattern(300, 2));
        EXPECT_FALSE(f.findRootStream(u"Inner").has_value()) << "Inner lives in a sub-storage";
        EXPECT_FALSE(f.findRootStream(u"Sub").has_value()) << "Sub is a storage";
        EXPECT_EQ(f.replaceStream(*wb, f.readStream(*wb)), img) << c.name;
        checkReplace(f, *wb, pattern(c.to, 7), c.name);
        EXPECT_EQ(f.image(), img) << "replaceStream must not change the object";
    }
}

TEST_P(SyntheticReplace, RewritingInPlaceTouchesOnlyTheStreamAndItsEntry) {
    const Bytes img = sampleImage(GetParam(), 9000);
    const CompoundFile f = CompoundFile::parse(img);
    const std::size_t wb = *f.findRootStream(u"Workbook");
    Bytes content = pattern(8800, 9);  // same sector count
    const Bytes out = f.replaceStream(wb, content);
    ASSERT_EQ(out.size(), img.size());
    // Changed bytes lie inside the stream's own sectors or its directory entry's size field.
    const std::size_t S = GetParam();
    const std::uint32_t start = f.entries()[wb].startSector;
    const std::size_t streamBegin = (start + 1) * S, streamEnd = streamBegin + (9000 + S - 1) / S * S;
    const std::size_t sizeField = entryAt(S, wb) + 0x78;
    for (std::size_t i = 0; i < img.size(); ++i) {
        if (img[i] == out[i] || (i >= streamBegin && i < streamEnd) || (i >= sizeField && i < sizeField + 4)) continue;
        ADD_FAILURE() << "byte " << i << " outside the Workbook stream changed";
        break;
    }
    // Old content past the new end is zeroed, not left behind.
    EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(streamBegin + 8800),
                            out.begin() + static_cast<std::ptrdiff_t>(streamBegin + 9000), [](std::uint8_t b) { return b == 0; }));
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, SyntheticReplace, ::testing::Values(512u, 4096u));

TEST(CompoundFile, GrowsTheFatThroughDifatSectors) {
    const CompoundFile f = CompoundFile::parse(sampleImage(512, 9000));
    const std::size_t wb = *f.findRootStream(u"Workbook");
    // 8 MB in 512-byte sectors needs over 128 FAT sectors, more than the header lists.
    const Bytes big = pattern(8u << 20, 3);
    checkReplace(f, wb, big, "8 MB Workbook");
    const Bytes out = f.replaceStream(wb, big);
    EXPECT_GT(rd32(out, 0x2C), 109u);
    EXPECT_GE(rd32(out, 0x48), 1u);
    EXPECT_NE(rd32(out, 0x44), kEnd);
    // Growing further from there extends the existing DIFAT chain.
    const CompoundFile g = CompoundFile::parse(out);
    checkReplace(g, wb, pattern(16u << 20, 4), "16 MB Workbook");
}

TEST(CompoundFile, RefusesWhatIsNotACompoundFile) {
    for (const Bytes& b : {Bytes{}, Bytes{'P', 'K', 3, 4}, Bytes(600, 0)}) {
        EXPECT_FALSE(CompoundFile::hasSignature(b));
        try {
            (void)CompoundFile::parse(b);
            ADD_FAILURE() << "accepted a file without the signature";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::NotWorkbook);
        }
    }
    EXPECT_TRUE(CompoundFile::hasSignature(sampleImage(512, 100)));
}

TEST(CompoundFile, ToleratesWhatRealReadersTolerate) {
    // Layout of sampleImage(512, 9000): sector 0 FAT, 1-2 directory, 3 miniFAT, 4 mini stream,
    // 5-22 Workbook, 23-32 Big (its last sector holds 5000 - 9 * 512 = 392 bytes).
    struct Case {
        const char* name;
        std::size_t workbookSize;
        std::function<void(Bytes&)> mutate;
    };
    const std::vector<Case> cases = {
        {"last sector cut short", 9000, [](Bytes& b) { b.erase(b.end() - 100, b.end()); }},
        {"size high half is garbage", 9000, [](Bytes& b) { wr32(b, entryAt(512, 5) + 0x7C, 0xDEADBEEF); }},
        {"chain longer than the size needs", 8000, [](Bytes& b) { wr32(b, entryAt(512, 1) + 0x78, 8000); }},
        // PHPExcel writes the mini stream's chain on into the next stream's sectors.
        {"mini stream chain runs into the next stream", 9000, [](Bytes& b) { wr32(b, 512 + 4 * 4, 5); }},
        {"unused directory entries hold garbage", 9000,
         [](Bytes& b) {
             for (const std::size_t i : {std::size_t{6}, std::size_t{7}}) {
                 std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(entryAt(512, i)), 128, 0xAB);
                 b[entryAt(512, i) + 0x42] = 0;
             }
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes img = sampleImage(512, 9000);
        c.mutate(img);
        std::unique_ptr<CompoundFile> f;
        try {
            f = std::make_unique<CompoundFile>(CompoundFile::parse(img));
        } catch (const WorkbookError& e) {
            ADD_FAILURE() << "refused: " << e.what();
            continue;
        }
        const std::size_t wb = *f->findRootStream(u"Workbook");
        Bytes expected = pattern(9000, 1);
        expected.resize(c.workbookSize);
        EXPECT_EQ(f->readStream(wb), expected);
        EXPECT_EQ(f->entries()[5].size, 5000u);
        EXPECT_EQ(f->readStream(5), pattern(5000, 5));
        EXPECT_EQ(f->replaceStream(wb, expected), img);
        checkReplace(*f, wb, pattern(30000, 8), "grown");
        checkReplace(*f, wb, pattern(2000, 8), "moved into the mini stream");
    }
}

// ---- Broken images ---------------------------------------------------------------------------

TEST(CompoundFile, RejectsBrokenStructureAsCorrupt) {
    // Layout of sampleImage(512, 9000): sector 0 FAT, 1-2 directory, 3 miniFAT, 4 mini stream,
    // 5-22 Workbook, 23-32 Big; mini sectors 0-4 SummaryInformation, 5-6 Inner.
    const Bytes good = sampleImage(512, 9000);
    ASSERT_NO_THROW((void)CompoundFile::parse(good));
    auto fatAt = [](std::uint32_t s) { return std::size_t{512} + 4 * s; };
    struct Case {
        const char* name;
        std::function<void(Bytes&)> mutate;
    };
    const std::vector<Case> cases = {
        {"truncated header", [](Bytes& b) { b.resize(300); }},
        {"no sectors", [](Bytes& b) { b.resize(512); }},
        {"bad byte order", [](Bytes& b) { wr16(b, 0x1C, 0xFEFF); }},
        {"bad sector shift", [](Bytes& b) { wr16(b, 0x1E, 7); }},
        {"FAT count larger than the file", [](Bytes& b) { wr32(b, 0x2C, 0x00FFFFFF); }},
        {"FAT sector out of range", [](Bytes& b) { wr32(b, 0x4C, 4000); }},
        {"FAT loop in Workbook", [&](Bytes& b) { wr32(b, fatAt(20), 16); }},
        {"chain points out of range", [&](Bytes& b) { wr32(b, fatAt(20), 9999); }},
        {"chain ends on a free sector", [&](Bytes& b) { wr32(b, fatAt(20), kFree); }},
        {"sector owned twice", [&](Bytes& b) { wr32(b, fatAt(20), 25); }},
        {"directory chain loops", [&](Bytes& b) { wr32(b, fatAt(2), 1); }},
        {"huge claimed size", [&](Bytes& b) { wr32(b, entryAt(512, 1) + 0x78, 0xFFFFFFF0u); }},
        {"size larger than its chain", [&](Bytes& b) { wr32(b, entryAt(512, 1) + 0x78, 20000); }},
        {"root is not a root", [&](Bytes& b) { b[entryAt(512, 0) + 0x42] = 1; }},
        {"child id out of range", [&](Bytes& b) { wr32(b, entryAt(512, 0) + 0x4C, 77); }},
        {"sibling cycle", [&](Bytes& b) { wr32(b, entryAt(512, 2) + 0x44, 1); }},
        {"child cycle", [&](Bytes& b) { wr32(b, entryAt(512, 3) + 0x4C, 3); }},
        {"link to an unused entry", [&](Bytes& b) { wr32(b, entryAt(512, 5) + 0x44, 6); }},
        {"mini chain out of range", [&](Bytes& b) { wr32(b, 4 * 512 + 4 * 3, 60); }},
        {"mini sector owned twice", [&](Bytes& b) { wr32(b, 4 * 512 + 4 * 3, 5); }},
        {"mini stream size beyond its chain", [&](Bytes& b) { wr32(b, entryAt(512, 0) + 0x78, 4096); }},
        {"FAT count beyond the listed sectors", [](Bytes& b) { wr32(b, 0x2C, 20); }},
    };
    for (const auto& c : cases) {
        Bytes b = good;
        c.mutate(b);
        try {
            (void)CompoundFile::parse(b);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << c.name;
            EXPECT_EQ(std::string(e.what()).rfind("文件已损坏：", 0), 0u) << c.name << ": " << e.what();
        }
    }
}

TEST(CompoundFile, CorruptMessageNamesStreamAndSector) {
    Bytes b = sampleImage(512, 9000);
    wr32(b, 512 + 4 * 20, 25);  // Workbook's chain (sectors 5-22) runs into Big's (23-32)
    try {
        (void)CompoundFile::parse(b);
        FAIL() << "accepted";
    } catch (const WorkbookError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("扇区 25"), std::string::npos) << m;
        EXPECT_NE(m.find("“Big”流"), std::string::npos) << m;
        EXPECT_NE(m.find("“Workbook”流"), std::string::npos) << m;
    }
}

// ---- The corpus ------------------------------------------------------------------------------

fs::path corpusDir() { return fs::path(ZEMBRIX_SOURCE_DIR) / ".." / "shared" / "corpus" / "xls"; }

std::vector<fs::path> oleFiles() {
    std::vector<fs::path> out;
    std::error_code ec;
    if (!fs::is_directory(corpusDir(), ec)) return out;
    for (const auto& e : fs::recursive_directory_iterator(corpusDir()))
        if (e.is_regular_file() && e.path().extension() == ".xls" && CompoundFile::hasSignature(readFile(e.path())))
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(CompoundFileCorpus, EveryFileParsesOrIsRefusedAndPatchesCleanly) {
    const auto files = oleFiles();
    if (files.empty()) GTEST_SKIP() << "corpus not found at " << corpusDir();
    std::size_t parsed = 0, patched = 0;
    for (const auto& p : files) {
        SCOPED_TRACE(p.string());
        const Bytes img = readFile(p);
        std::unique_ptr<CompoundFile> f;
        try {
            f = std::make_unique<CompoundFile>(CompoundFile::parse(img));
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << e.what();
            continue;
        }
        ++parsed;
        const auto wb = workbookStream(*f);
        if (!wb) continue;
        const Bytes content = f->readStream(*wb);
        ASSERT_EQ(f->replaceStream(*wb, content), img) << "identity replacement changed the file";
        Bytes grown = content;
        const Bytes extra = pattern(3000, 11);
        grown.insert(grown.end(), extra.begin(), extra.end());
        checkReplace(*f, *wb, grown, "grown by 3 KB");
        grown.resize(content.size() + 100000, 0x5A);
        checkReplace(*f, *wb, grown, "grown by 100 KB");
        ++patched;
    }
    // Nearly all real files are well-formed; a reader that refuses them is broken.
    EXPECT_GT(parsed, files.size() * 9 / 10);
    EXPECT_GT(patched, files.size() * 8 / 10);
}

TEST(CompoundFileCorpus, SmallWorkbookLeavesAndStaysInTheMiniStream) {
    const auto files = oleFiles();
    if (files.empty()) GTEST_SKIP() << "corpus not found at " << corpusDir();
    std::size_t small = 0;
    for (const auto& p : files) {
        std::unique_ptr<CompoundFile> f;
        try {
            f = std::make_unique<CompoundFile>(CompoundFile::parse(readFile(p)));
        } catch (const WorkbookError&) {
            continue;
        }
        const auto wb = workbookStream(*f);
        if (!wb || f->entries()[*wb].size >= 4096 || f->entries()[*wb].size == 0) continue;
        SCOPED_TRACE(p.string());
        ++small;
        const Bytes content = f->readStream(*wb);
        Bytes under = content;
        under.resize(4095, 0x33);
        checkReplace(*f, *wb, under, "grown to 4095 bytes, still mini");
        Bytes over = content;
        over.resize(4096, 0x44);
        checkReplace(*f, *wb, over, "grown to 4096 bytes, out of the mini stream");
        // And back: a patched file whose Workbook moved out can shrink into the mini stream again.
        const CompoundFile g = CompoundFile::parse(f->replaceStream(*wb, over));
        checkReplace(g, *wb, content, "shrunk back into the mini stream");
    }
    if (small == 0) GTEST_SKIP() << "no corpus file has a Workbook stream under 4,096 bytes";
}

// ---- An independent reader: gsf ----------------------------------------------------------------

std::string narrow(std::u16string_view s) {
    std::string out;
    for (const char16_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// "path size" for every stream, as gsf lists them.
std::multiset<std::string> gsfStreams(const fs::path& file) {
    std::multiset<std::string> out;
    const std::string cmd = "gsf list '" + file.string() + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    if (!pipe) return out;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe.get())) {
        // "f  [date time]  size path"
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        if (l.empty() || l[0] != 'f') continue;
        std::size_t i = 1;
        auto token = [&] {
            while (i < l.size() && l[i] == ' ') ++i;
            const std::size_t from = i;
            while (i < l.size() && l[i] != ' ') ++i;
            return l.substr(from, i - from);
        };
        std::string size = token();
        if (size.find('-') != std::string::npos) {
            token();  // time
            size = token();
        }
        out.insert(l.substr(i + 1) + " " + size);
    }
    return out;
}

std::multiset<std::string> ourStreams(const CompoundFile& f, std::size_t skip) {
    std::multiset<std::string> out;
    const auto& es = f.entries();
    std::vector<std::pair<std::uint32_t, std::string>> stack{{es[0].child, ""}};
    std::vector<bool> seen(es.size(), false);
    while (!stack.empty()) {
        const auto [id, prefix] = stack.back();
        stack.pop_back();
        if (id >= es.size() || seen[id]) continue;
        seen[id] = true;
        const DirEntry& e = es[id];
        stack.push_back({e.left, prefix});
        stack.push_back({e.right, prefix});
        if (e.type == 1) stack.push_back({e.child, prefix + narrow(e.name) + "/"});
        if (e.type == 2 && id != skip) out.insert(prefix + narrow(e.name) + " " + std::to_string(e.size));
    }
    return out;
}

TEST(CompoundFileGsf, IndependentReaderSeesTheSameStreams) {
    if (std::system("gsf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "gsf (libgsf-bin) is not installed";
    std::vector<std::pair<std::string, Bytes>> inputs = {{"synthetic-512", sampleImage(512, 9000)},
                                                          {"synthetic-4096", sampleImage(4096, 1000)}};
    for (const auto& p : oleFiles()) {
        if (inputs.size() >= 12) break;
        inputs.emplace_back(p.filename().string(), readFile(p));
    }
    const fs::path dir = fs::temp_directory_path() / ("zembrix-cfb-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::size_t compared = 0;
    for (const auto& [name, img] : inputs) {
        SCOPED_TRACE(name);
        std::unique_ptr<CompoundFile> f;
        try {
            f = std::make_unique<CompoundFile>(CompoundFile::parse(img));
        } catch (const WorkbookError&) {
            continue;
        }
        const auto wb = workbookStream(*f);
        if (!wb) continue;
        for (const std::size_t size : {std::size_t{2000}, std::size_t{150000}}) {
            const Bytes out = f->replaceStream(*wb, pattern(size, 5));
            const fs::path file = dir / "patched.xls";
            std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(out.data()),
                                                         static_cast<std::streamsize>(out.size()));
            auto theirs = gsfStreams(file);
            const std::string wbLine = narrow(f->entries()[*wb].name) + " " + std::to_string(size);
            ASSERT_EQ(theirs.count(wbLine), 1u) << "gsf does not see the new Workbook size";
            theirs.erase(theirs.find(wbLine));
            EXPECT_EQ(theirs, ourStreams(*f, *wb));
            ++compared;
        }
    }
    fs::remove_all(dir);
    EXPECT_GE(compared, 4u);
}

}  // namespace
