#include "workbook/cfb.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "workbook/error.h"

namespace zembrix::cfb {

namespace {

using xls::ErrorKind;
using xls::WorkbookError;

constexpr std::uint32_t kFree = 0xFFFFFFFFu;
constexpr std::uint32_t kEnd = 0xFFFFFFFEu;
constexpr std::uint32_t kFatSect = 0xFFFFFFFDu;
constexpr std::uint32_t kDifSect = 0xFFFFFFFCu;
constexpr std::uint32_t kNoStream = 0xFFFFFFFFu;

constexpr std::uint32_t kMiniCutoff = 4096;
constexpr std::uint32_t kMiniSize = 64;
constexpr std::uint32_t kHeaderDifat = 109;
constexpr std::size_t kDirEntrySize = 128;

// Sector owners besides directory entries (entry 0, the root, owns the mini stream).
constexpr std::uint32_t kOwnerNone = 0xFFFFFFFFu;
constexpr std::uint32_t kOwnerFat = 0xFFFFFFF0u;
constexpr std::uint32_t kOwnerDifat = 0xFFFFFFF1u;
constexpr std::uint32_t kOwnerDir = 0xFFFFFFF2u;
constexpr std::uint32_t kOwnerMiniFat = 0xFFFFFFF3u;

// Header fields.
constexpr std::size_t kOffMajor = 0x1A;
constexpr std::size_t kOffByteOrder = 0x1C;
constexpr std::size_t kOffSectorShift = 0x1E;
constexpr std::size_t kOffMiniShift = 0x20;
constexpr std::size_t kOffFatCount = 0x2C;
constexpr std::size_t kOffDirStart = 0x30;
constexpr std::size_t kOffMiniCutoff = 0x38;
constexpr std::size_t kOffMiniFatStart = 0x3C;
constexpr std::size_t kOffMiniFatCount = 0x40;
constexpr std::size_t kOffDifatStart = 0x44;
constexpr std::size_t kOffDifatCount = 0x48;
constexpr std::size_t kOffDifat = 0x4C;

// Directory entry fields.
constexpr std::size_t kOffNameLen = 0x40;
constexpr std::size_t kOffType = 0x42;
constexpr std::size_t kOffLeft = 0x44;
constexpr std::size_t kOffRight = 0x48;
constexpr std::size_t kOffChild = 0x4C;
constexpr std::size_t kOffStart = 0x74;
constexpr std::size_t kOffSize = 0x78;

const char* const kAdvice = "请用 Excel 打开并另存为“Excel 97-2003 工作簿(*.xls)”后重试。";

std::uint16_t rd16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t rd32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}
std::string num(std::uint64_t v) { return std::to_string(v); }

[[noreturn]] void corrupt(const std::string& what) {
    throw WorkbookError(ErrorKind::Corrupt, "文件已损坏：" + what + "。" + kAdvice);
}

// UTF-8 for messages; the control characters some names start with (\005, \001) are dropped.
std::string utf8(std::u16string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(s[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x20) continue;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reading

bool CompoundFile::hasSignature(std::span<const std::uint8_t> bytes) noexcept {
    static constexpr std::array<std::uint8_t, 8> kSig{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return bytes.size() >= kSig.size() && std::equal(kSig.begin(), kSig.end(), bytes.begin());
}

CompoundFile CompoundFile::parse(std::vector<std::uint8_t> image) {
    if (!hasSignature(image)) {
        throw WorkbookError(ErrorKind::NotWorkbook,
                            "这不是 Excel 97-2003 工作簿：文件开头没有复合文档标志。"
                            "请确认选择的是 .xls 文件；若是其他格式，请用 Excel 另存为"
                            "“Excel 97-2003 工作簿(*.xls)”后重试。");
    }
    CompoundFile f;
    f.image_ = std::move(image);
    f.load();
    return f;
}

const std::vector<DirEntry>& CompoundFile::entries() const noexcept { return entries_; }
const std::vector<std::uint8_t>& CompoundFile::image() const noexcept { return image_; }

namespace {

// What the loader needs while it walks the file; kept out of the class to keep the header lean.
struct Loader {
    const std::vector<std::uint8_t>& img;
    std::uint32_t S;
    std::uint32_t count;
    std::vector<std::uint32_t>& owner;
    const std::vector<DirEntry>* entries = nullptr;

    std::uint64_t offset(std::uint32_t s) const { return static_cast<std::uint64_t>(s + 1) * S; }

    // Reads entry j of sector s as a 32-bit value; bytes past the end of a short last sector read as 0.
    std::uint32_t word(std::uint32_t s, std::uint32_t j) const {
        const std::uint64_t off = offset(s) + std::uint64_t{j} * 4;
        if (off + 4 <= img.size()) return rd32(img.data() + off);
        std::uint8_t b[4] = {0, 0, 0, 0};
        for (std::uint64_t k = 0; k < 4; ++k)
            if (off + k < img.size()) b[k] = img[static_cast<std::size_t>(off + k)];
        return rd32(b);
    }

    std::string label(std::uint32_t id) const {
        switch (id) {
            case kOwnerFat: return "文件分配表（FAT）";
            case kOwnerDifat: return "扩展分配表（DIFAT）";
            case kOwnerDir: return "目录";
            case kOwnerMiniFat: return "短扇区分配表（MiniFAT）";
            case 0: return "短流容器（根目录项）";
            default: break;
        }
        if (entries && id < entries->size()) return "“" + utf8((*entries)[id].name) + "”流";
        return "目录项 " + num(id);
    }

    void claim(std::uint32_t s, std::uint32_t who) {
        if (s >= count) {
            corrupt(label(who) + "引用扇区 " + hex(s) + "，超出文件范围（文件只有 " + num(count) + " 个扇区）");
        }
        if (owner[s] == who) corrupt(label(who) + "的扇区链在扇区 " + num(s) + " 处成环");
        if (owner[s] != kOwnerNone) {
            corrupt("扇区 " + num(s) + " 同时被" + label(owner[s]) + "和" + label(who) + "使用");
        }
        owner[s] = who;
    }

    // Follows a chain to its end, or only as far as `limit` sectors: a stream's chain may run on past
    // what its size needs (PHPExcel links the mini stream into the next stream), and readers ignore that.
    std::vector<std::uint32_t> chain(std::uint32_t start, std::uint32_t who, const std::vector<std::uint32_t>& fat,
                                     std::uint64_t limit = UINT64_MAX) {
        std::vector<std::uint32_t> out;
        std::uint32_t s = start;
        while (s != kEnd && out.size() < limit) {
            if (s >= count) {
                const std::string where = out.empty() ? "起始扇区" : "扇区 " + num(out.back()) + " 之后的扇区";
                corrupt(label(who) + "的" + where + "为 " + hex(s) + "，超出文件范围（文件只有 " + num(count) +
                        " 个扇区）");
            }
            claim(s, who);
            out.push_back(s);
            if (s >= fat.size()) corrupt("扇区 " + num(s) + " 在文件分配表中没有记录（" + label(who) + "）");
            s = fat[s];
        }
        return out;
    }
};

}  // namespace

void CompoundFile::load() {
    const std::vector<std::uint8_t>& img = image_;
    if (img.size() < 512) {
        corrupt("文件头不完整（只有 " + num(img.size()) + " 字节，至少应有 512 字节）");
    }
    const std::uint8_t* h = img.data();
    const std::uint16_t major = rd16(h + kOffMajor);
    const std::uint16_t order = rd16(h + kOffByteOrder);
    const std::uint16_t shift = rd16(h + kOffSectorShift);
    if (order != 0xFFFE) corrupt("文件头的字节序标记为 " + hex(order) + "，应为 0xFFFE");
    if (major == 3 && shift == 9) {
        sectorSize_ = 512;
    } else if (major == 4 && shift == 12) {
        sectorSize_ = 4096;
        version4_ = true;
    } else {
        corrupt("文件头的版本号 " + num(major) + " 与扇区大小 2^" + num(shift) + " 不是有效的组合");
    }
    if (rd16(h + kOffMiniShift) != 6) corrupt("文件头的短扇区大小 2^" + num(rd16(h + kOffMiniShift)) + " 无效，应为 64 字节");
    if (rd32(h + kOffMiniCutoff) != kMiniCutoff) {
        corrupt("文件头的短流界限为 " + num(rd32(h + kOffMiniCutoff)) + "，应为 4096");
    }
    const std::uint32_t S = sectorSize_;
    if (img.size() <= S) corrupt("文件在文件头之后没有任何扇区");
    const std::uint64_t sectors = ceilDiv(img.size() - S, S);
    if (sectors >= kDifSect) corrupt("文件过大，扇区数超出格式上限");
    sectorCount_ = static_cast<std::uint32_t>(sectors);
    sectorOwner_.assign(sectorCount_, kOwnerNone);

    Loader L{img, S, sectorCount_, sectorOwner_};
    const std::uint32_t perSector = S / 4;

    // FAT sectors: the first 109 listed in the header, the rest in the DIFAT chain.
    const std::uint32_t fatCount = rd32(h + kOffFatCount);
    if (fatCount == 0 || fatCount > sectorCount_) {
        corrupt("文件头声称有 " + num(fatCount) + " 个文件分配表扇区，而文件只有 " + num(sectorCount_) + " 个扇区");
    }
    for (std::uint32_t k = 0; k < std::min(fatCount, kHeaderDifat); ++k) {
        const std::uint32_t s = rd32(h + kOffDifat + 4 * k);
        L.claim(s, kOwnerFat);
        fatSectors_.push_back(s);
    }
    std::uint32_t next = rd32(h + kOffDifatStart);
    while (fatSectors_.size() < fatCount) {
        if (next >= sectorCount_) {
            corrupt("扩展分配表（DIFAT）链在列出第 " + num(fatSectors_.size() + 1) + " 个文件分配表扇区之前中断（下一扇区 " +
                    hex(next) + "）");
        }
        L.claim(next, kOwnerDifat);
        difatSectors_.push_back(next);
        for (std::uint32_t j = 0; j + 1 < perSector && fatSectors_.size() < fatCount; ++j) {
            const std::uint32_t s = L.word(next, j);
            L.claim(s, kOwnerFat);
            fatSectors_.push_back(s);
        }
        next = L.word(next, perSector - 1);
    }
    fat_.reserve(std::size_t{fatCount} * perSector);
    for (const std::uint32_t s : fatSectors_)
        for (std::uint32_t j = 0; j < perSector; ++j) fat_.push_back(L.word(s, j));

    // Directory.
    dirChain_ = L.chain(rd32(h + kOffDirStart), kOwnerDir, fat_);
    const std::size_t perDirSector = S / kDirEntrySize;
    entries_.resize(dirChain_.size() * perDirSector);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::uint64_t off = L.offset(dirChain_[i / perDirSector]) + (i % perDirSector) * kDirEntrySize;
        std::uint8_t raw[kDirEntrySize] = {};
        if (off < img.size()) {
            std::memcpy(raw, img.data() + off, static_cast<std::size_t>(std::min<std::uint64_t>(kDirEntrySize, img.size() - off)));
        }
        DirEntry& e = entries_[i];
        e.type = raw[kOffType];
        const std::size_t chars = std::min<std::size_t>(rd16(raw + kOffNameLen), 64) / 2;
        for (std::size_t k = 0; k + 1 < chars; ++k) e.name.push_back(static_cast<char16_t>(rd16(raw + 2 * k)));
        e.left = rd32(raw + kOffLeft);
        e.right = rd32(raw + kOffRight);
        e.child = rd32(raw + kOffChild);
        e.startSector = rd32(raw + kOffStart);
        const std::uint64_t low = rd32(raw + kOffSize);
        const std::uint64_t high = rd32(raw + kOffSize + 4);
        e.size = version4_ ? (low | (high << 32)) : low;  // version 3 writers leave garbage in the high half
    }
    L.entries = &entries_;
    if (entries_.empty() || entries_[0].type != 5) corrupt("目录的第一项不是根存储");

    // Walk the tree from the root: ids in range, no entry reached twice.
    reachable_.assign(entries_.size(), false);
    rootChild_.assign(entries_.size(), false);
    reachable_[0] = true;
    struct Item {
        std::uint32_t id;
        std::uint32_t from;
        bool underRoot;
    };
    std::vector<Item> stack;
    if (entries_[0].child != kNoStream) stack.push_back({entries_[0].child, 0, true});
    while (!stack.empty()) {
        const Item it = stack.back();
        stack.pop_back();
        if (it.id >= entries_.size()) {
            corrupt("目录项 " + num(it.from) + " 指向不存在的目录项 " + hex(it.id) + "（目录只有 " + num(entries_.size()) +
                    " 项）");
        }
        if (reachable_[it.id]) corrupt("目录树在目录项 " + num(it.id) + " 处成环");
        const DirEntry& e = entries_[it.id];
        if (e.type != 1 && e.type != 2) {
            corrupt("目录项 " + num(it.from) + " 指向类型为 " + num(e.type) + " 的目录项 " + num(it.id));
        }
        reachable_[it.id] = true;
        rootChild_[it.id] = it.underRoot;
        if (e.left != kNoStream) stack.push_back({e.left, it.id, it.underRoot});
        if (e.right != kNoStream) stack.push_back({e.right, it.id, it.underRoot});
        if (e.type == 1 && e.child != kNoStream) stack.push_back({e.child, it.id, false});
    }

    const std::uint64_t fileBytes = std::uint64_t{sectorCount_} * S;
    chains_.resize(entries_.size());

    // The mini stream and its allocation table.
    const DirEntry& root = entries_[0];
    miniStreamSize_ = root.size;
    if (miniStreamSize_ > fileBytes) {
        corrupt("短流容器声称有 " + num(miniStreamSize_) + " 字节，超过整个文件的大小");
    }
    if (miniStreamSize_ > 0) {
        miniStreamChain_ = L.chain(root.startSector, 0, fat_, ceilDiv(miniStreamSize_, S));
        if (miniStreamChain_.size() < ceilDiv(miniStreamSize_, S)) {
            corrupt("短流容器长 " + num(miniStreamSize_) + " 字节，但其扇区链只有 " + num(miniStreamChain_.size()) + " 个扇区");
        }
    }
    const std::uint32_t miniFatStart = rd32(h + kOffMiniFatStart);
    if (miniFatStart != kEnd && miniFatStart != kFree) {
        miniFatChain_ = L.chain(miniFatStart, kOwnerMiniFat, fat_);
        for (const std::uint32_t s : miniFatChain_)
            for (std::uint32_t j = 0; j < perSector; ++j) miniFat_.push_back(L.word(s, j));
    }
    const std::uint64_t miniCount = ceilDiv(miniStreamSize_, kMiniSize);
    miniOwner_.assign(static_cast<std::size_t>(miniCount), kOwnerNone);

    // Stream chains: regular ones first, then those inside the mini stream.
    for (int pass = 0; pass < 2; ++pass) {
        for (std::uint32_t id = 1; id < entries_.size(); ++id) {
            const DirEntry& e = entries_[id];
            if (!reachable_[id] || e.type != 2 || e.size == 0) continue;
            if (e.size > fileBytes) {
                corrupt(L.label(id) + "声称有 " + num(e.size) + " 字节，超过整个文件的大小（" + num(img.size()) + " 字节）");
            }
            const bool mini = e.size < kMiniCutoff;
            if ((pass == 0) == mini) continue;
            if (!mini) {
                chains_[id] = L.chain(e.startSector, id, fat_, ceilDiv(e.size, S));
                if (chains_[id].size() < ceilDiv(e.size, S)) {
                    corrupt(L.label(id) + "长 " + num(e.size) + " 字节，需要 " + num(ceilDiv(e.size, S)) +
                            " 个扇区，但其扇区链只有 " + num(chains_[id].size()) + " 个");
                }
                continue;
            }
            std::vector<std::uint32_t>& ch = chains_[id];
            std::uint32_t m = e.startSector;
            while (m != kEnd && ch.size() < ceilDiv(e.size, kMiniSize)) {
                if (m >= miniCount || m >= miniFat_.size()) {
                    corrupt(L.label(id) + "引用短扇区 " + hex(m) + "，超出短流容器范围（共 " + num(miniCount) + " 个短扇区）");
                }
                if (miniOwner_[m] == id) corrupt(L.label(id) + "的短扇区链在短扇区 " + num(m) + " 处成环");
                if (miniOwner_[m] != kOwnerNone) {
                    corrupt("短扇区 " + num(m) + " 同时被" + L.label(miniOwner_[m]) + "和" + L.label(id) + "使用");
                }
                miniOwner_[m] = id;
                ch.push_back(m);
                m = miniFat_[m];
            }
            if (ch.size() < ceilDiv(e.size, kMiniSize)) {
                corrupt(L.label(id) + "长 " + num(e.size) + " 字节，但其短扇区链只有 " + num(ch.size()) + " 个短扇区");
            }
        }
    }
}

std::optional<std::size_t> CompoundFile::findRootStream(std::u16string_view name) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const DirEntry& e = entries_[i];
        if (!reachable_[i] || !rootChild_[i] || e.type != 2 || e.name.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k) same = asciiLower(e.name[k]) == asciiLower(name[k]);
        if (same) return i;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> CompoundFile::readStream(std::size_t entry) const {
    if (entry == 0 || entry >= entries_.size() || !reachable_[entry] || entries_[entry].type != 2) {
        throw std::out_of_range("cfb: entry is not a stream");
    }
    const DirEntry& e = entries_[entry];
    const bool mini = e.size < kMiniCutoff;
    const std::uint32_t unit = mini ? kMiniSize : sectorSize_;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(e.size), 0);
    const auto& ch = chains_[entry];
    for (std::size_t i = 0; i * unit < out.size(); ++i) {
        std::uint64_t off = 0;
        if (mini) {
            const std::uint64_t pos = std::uint64_t{ch[i]} * kMiniSize;
            off = (std::uint64_t{miniStreamChain_[static_cast<std::size_t>(pos / sectorSize_)]} + 1) * sectorSize_ +
                  pos % sectorSize_;
        } else {
            off = (std::uint64_t{ch[i]} + 1) * sectorSize_;
        }
        const std::size_t want = std::min<std::size_t>(unit, out.size() - i * unit);
        if (off < image_.size()) {
            const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(want, image_.size() - off));
            std::memcpy(out.data() + i * unit, image_.data() + off, have);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Patching: works on copies of the tables and the image, so the parsed object stays untouched.

class Patch {
public:
    // room: bytes the image may grow by, reserved before the copy so the image is copied once.
    Patch(const CompoundFile& f, std::size_t room)
        : S(f.sectorSize_), per(f.sectorSize_ / 4), origCount(f.sectorCount_),
          count(f.sectorCount_), fat(f.fat_), fatSectors(f.fatSectors_), difatSectors(f.difatSectors_),
          miniFat(f.miniFat_), miniFatChain(f.miniFatChain_), miniStream(f.miniStreamChain_),
          miniStreamSize(f.miniStreamSize_), owner(f.sectorOwner_), miniOwner(f.miniOwner_) {
        img.reserve(f.image_.size() + room);
        img.assign(f.image_.begin(), f.image_.end());
    }

    std::vector<std::uint8_t> img;
    const std::uint32_t S;
    const std::uint32_t per;
    const std::uint32_t origCount;
    std::uint32_t count;
    std::vector<std::uint32_t> fat, fatSectors, difatSectors, miniFat, miniFatChain, miniStream;
    std::uint64_t miniStreamSize;
    std::vector<std::uint32_t> owner, miniOwner;
    bool miniStreamMoved = false;  // root entry needs a new start or size
    std::uint32_t cursor = 0, miniCursor = 0;

    std::uint64_t offset(std::uint32_t s) const { return (std::uint64_t{s} + 1) * S; }
    std::uint64_t miniOffset(std::uint32_t m) const {
        const std::uint64_t pos = std::uint64_t{m} * kMiniSize;
        return offset(miniStream[static_cast<std::size_t>(pos / S)]) + pos % S;
    }
    std::uint64_t miniCount() const { return ceilDiv(miniStreamSize, kMiniSize); }

    // Bytes past the end of a short last sector read as zero, so the image grows only when a
    // write puts something else there.
    void put(std::uint64_t off, std::span<const std::uint8_t> data) {
        const std::size_t o = static_cast<std::size_t>(off);
        if (o + data.size() > img.size()) {
            const std::size_t inside = o < img.size() ? img.size() - o : 0;
            if (std::any_of(data.begin() + static_cast<std::ptrdiff_t>(inside), data.end(),
                            [](std::uint8_t b) { return b != 0; })) {
                img.resize(o + data.size(), 0);
            } else {
                data = data.first(inside);
            }
        }
        if (!data.empty()) std::memcpy(img.data() + o, data.data(), data.size());
    }
    void put32(std::uint64_t off, std::uint32_t v) {
        const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        put(off, b);
    }
    void fill(std::uint64_t off, std::size_t len, std::uint8_t v) {
        const std::size_t o = static_cast<std::size_t>(off);
        if (v != 0 && o + len > img.size()) img.resize(o + len, 0);
        if (o >= img.size()) return;
        std::memset(img.data() + o, v, std::min(len, img.size() - o));
    }

    std::uint32_t appendSector() {
        if (count >= kFatSect - 1) throw WorkbookError(ErrorKind::TooLarge, "工作簿过大，超出 .xls 文件的容量上限。请减少内容后重试。");
        const std::uint32_t s = count++;
        img.resize(static_cast<std::size_t>(offset(s) + S), 0);
        owner.push_back(kOwnerNone);
        return s;
    }
    // Free sectors inside the file first, then new ones at the end.
    std::uint32_t allocSector() {
        while (cursor < origCount) {
            const std::uint32_t s = cursor++;
            if (s < fat.size() && fat[s] == kFree && owner[s] == kOwnerNone) return s;
        }
        return appendSector();
    }

    void setFat(std::uint32_t s, std::uint32_t v) {
        while (s >= fat.size()) addFatSector();
        fat[s] = v;
        put32(offset(fatSectors[s / per]) + std::uint64_t{s % per} * 4, v);
    }
    void addFatSector() {
        const std::uint32_t j = appendSector();
        fill(offset(j), S, 0xFF);
        fatSectors.push_back(j);
        fat.resize(fat.size() + per, kFree);
        put32(kOffFatCount, static_cast<std::uint32_t>(fatSectors.size()));
        listFatSector(static_cast<std::uint32_t>(fatSectors.size() - 1), j);
        setFat(j, kFatSect);
    }
    void listFatSector(std::uint32_t k, std::uint32_t j) {
        if (k < kHeaderDifat) {
            put32(kOffDifat + std::uint64_t{k} * 4, j);
            return;
        }
        const std::uint32_t perDifat = per - 1;
        const std::uint32_t idx = k - kHeaderDifat;
        while (idx / perDifat >= difatSectors.size()) {
            const std::uint32_t d = appendSector();
            fill(offset(d), S, 0xFF);
            put32(offset(d) + std::uint64_t{perDifat} * 4, kEnd);
            if (difatSectors.empty()) {
                put32(kOffDifatStart, d);
            } else {
                put32(offset(difatSectors.back()) + std::uint64_t{perDifat} * 4, d);
            }
            difatSectors.push_back(d);
            put32(kOffDifatCount, static_cast<std::uint32_t>(difatSectors.size()));
            setFat(d, kDifSect);
        }
        put32(offset(difatSectors[idx / perDifat]) + std::uint64_t{idx % perDifat} * 4, j);
    }

    void setMini(std::uint32_t m, std::uint32_t v) {
        while (m >= miniFat.size()) addMiniFatSector();
        miniFat[m] = v;
        put32(offset(miniFatChain[m / per]) + std::uint64_t{m % per} * 4, v);
    }
    void addMiniFatSector() {
        const std::uint32_t s = allocSector();
        fill(offset(s), S, 0xFF);
        if (miniFatChain.empty()) {
            put32(kOffMiniFatStart, s);
        } else {
            setFat(miniFatChain.back(), s);
        }
        setFat(s, kEnd);
        miniFatChain.push_back(s);
        miniFat.resize(miniFat.size() + per, kFree);
        put32(kOffMiniFatCount, static_cast<std::uint32_t>(miniFatChain.size()));
    }
    std::uint32_t allocMini() {
        while (miniCursor < miniCount()) {
            const std::uint32_t m = miniCursor++;
            if (m < miniFat.size() && miniFat[m] == kFree && miniOwner[m] == kOwnerNone) return m;
        }
        const std::uint64_t m = miniCount();
        if (m >= kFatSect - 1) throw WorkbookError(ErrorKind::TooLarge, "工作簿过大，超出 .xls 文件的容量上限。请减少内容后重试。");
        miniStreamSize = (m + 1) * kMiniSize;
        miniOwner.push_back(kOwnerNone);
        miniCursor = static_cast<std::uint32_t>(m + 1);
        miniStreamMoved = true;
        while (std::uint64_t{miniStream.size()} * S < miniStreamSize) {
            const std::uint32_t s = allocSector();
            fill(offset(s), S, 0);
            if (!miniStream.empty()) setFat(miniStream.back(), s);
            setFat(s, kEnd);
            miniStream.push_back(s);
        }
        return static_cast<std::uint32_t>(m);
    }

    std::uint64_t unitOffset(bool mini, std::uint32_t i) const { return mini ? miniOffset(i) : offset(i); }
    std::uint32_t alloc(bool mini) { return mini ? allocMini() : allocSector(); }
    void setNext(bool mini, std::uint32_t i, std::uint32_t v) { mini ? setMini(i, v) : setFat(i, v); }
    void release(bool mini, std::uint32_t i) {
        setNext(mini, i, kFree);
        (mini ? miniOwner : owner)[i] = kOwnerNone;
    }
    void freeChain(bool mini, const std::vector<std::uint32_t>& chain) {
        for (const std::uint32_t i : chain) release(mini, i);
    }

    // Writes `content` over `chain` (the stream's old chain in this space, holding `oldSize` bytes),
    // growing or trimming it. Old content past the new end is zeroed; slack that was never stream
    // content is left alone, so writing the same bytes back changes nothing.
    std::vector<std::uint32_t> write(bool mini, std::vector<std::uint32_t> chain, std::uint64_t oldSize,
                                     std::span<const std::uint8_t> content) {
        const std::uint32_t unit = mini ? kMiniSize : S;
        const std::size_t need = static_cast<std::size_t>(ceilDiv(content.size(), unit));
        const std::size_t oldNeed = static_cast<std::size_t>(ceilDiv(oldSize, unit));
        if (need <= chain.size()) {
            if (need != oldNeed && need < chain.size()) {
                for (std::size_t i = need; i < chain.size(); ++i) release(mini, chain[i]);
                chain.resize(need);
                if (need > 0) setNext(mini, chain.back(), kEnd);
            }
        } else {
            while (chain.size() < need) {
                const std::uint32_t s = alloc(mini);
                if (!chain.empty()) setNext(mini, chain.back(), s);
                setNext(mini, s, kEnd);
                chain.push_back(s);
            }
        }
        for (std::size_t i = 0; i < need; ++i) {
            const std::uint64_t off = unitOffset(mini, chain[i]);
            const std::size_t begin = i * unit;
            const std::size_t len = std::min<std::size_t>(unit, content.size() - begin);
            put(off, content.subspan(begin, len));
            if (len == unit) continue;
            if (i < oldNeed) {
                if (oldSize > begin + len) {
                    fill(off + len, static_cast<std::size_t>(std::min<std::uint64_t>(unit, oldSize - begin)) - len, 0);
                }
            } else {
                fill(off + len, unit - len, 0);
            }
        }
        return chain;
    }
};

std::vector<std::uint8_t> CompoundFile::replaceStream(std::size_t entry, std::span<const std::uint8_t> content) const {
    if (entry == 0 || entry >= entries_.size() || !reachable_[entry] || entries_[entry].type != 2) {
        throw std::out_of_range("cfb: entry is not a stream");
    }
    if (!version4_ && content.size() > 0xFFFFFFFFu) {
        throw WorkbookError(ErrorKind::TooLarge, "工作簿过大，超出 .xls 文件的容量上限。请减少内容后重试。");
    }
    const DirEntry& e = entries_[entry];
    const std::uint64_t oldSize = e.size;
    const std::uint64_t newSize = content.size();
    // Room for the growth and the table sectors it needs, so the image is not copied as it grows.
    const std::uint64_t grow = newSize > oldSize ? newSize - oldSize : 0;
    Patch p(*this, static_cast<std::size_t>(grow + grow / 64 + (grow > 0 ? 4 * std::uint64_t{sectorSize_} : 0)));
    const bool oldMini = oldSize > 0 && oldSize < kMiniCutoff;
    const bool oldRegular = oldSize >= kMiniCutoff;
    const std::vector<std::uint32_t>& chain = chains_[entry];

    std::uint32_t start = e.startSector;
    if (newSize == 0) {
        if (oldSize != 0) {
            p.freeChain(oldMini, chain);
            start = kEnd;
        }
    } else if (newSize < kMiniCutoff) {
        if (!oldMini) p.freeChain(false, chain);
        start = p.write(true, oldMini ? chain : std::vector<std::uint32_t>{}, oldMini ? oldSize : 0, content).front();
    } else {
        if (!oldRegular) p.freeChain(true, chain);
        start = p.write(false, oldRegular ? chain : std::vector<std::uint32_t>{}, oldRegular ? oldSize : 0, content).front();
    }

    const std::size_t perDir = sectorSize_ / kDirEntrySize;
    auto writeEntry = [&](std::size_t id, std::uint32_t first, std::uint64_t size, std::uint64_t was) {
        const std::uint64_t off = p.offset(dirChain_[id / perDir]) + (id % perDir) * kDirEntrySize;
        p.put32(off + kOffStart, first);
        p.put32(off + kOffSize, static_cast<std::uint32_t>(size));
        // Version 3 readers ignore the high half; leave whatever was there unless the size changed.
        if (version4_ || size != was) p.put32(off + kOffSize + 4, static_cast<std::uint32_t>(size >> 32));
    };
    writeEntry(entry, start, newSize, oldSize);
    if (p.miniStreamMoved) {
        writeEntry(0, p.miniStream.empty() ? kEnd : p.miniStream.front(), p.miniStreamSize, miniStreamSize_);
    }
    return std::move(p.img);
}

}  // namespace zembrix::cfb
