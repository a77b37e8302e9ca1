#include "workbook/book.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <span>

#include "workbook/biff.h"

namespace zembrix::xls {

using namespace biff;

namespace {

const char* const kResave = "请用 Excel 打开并另存为“Excel 97-2003 工作簿(*.xls)”后重试。";

std::string hex(std::size_t v, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*zX", width, v);
    return buf;
}

[[noreturn]] void corrupt(std::size_t offset, std::uint16_t id, const std::string& what) {
    throw WorkbookError(ErrorKind::Corrupt, "文件已损坏：Workbook 流在偏移 " + hex(offset, 4) + " 处的记录 " +
                                                hex(id, 4) + " " + what + "。" + kResave);
}

[[noreturn]] void walkFailed(const RecordWalker& w) {
    switch (w.status()) {
    case RecordWalker::Status::TooLong:
        corrupt(w.failedAt(), w.failedId(), "长度超过 8224 字节");
    case RecordWalker::Status::PastEnd:
        corrupt(w.failedAt(), w.failedId(), "长度超出流的末尾");
    case RecordWalker::Status::TruncatedHeader:
        throw WorkbookError(ErrorKind::Corrupt, "文件已损坏：Workbook 流在偏移 " + hex(w.failedAt(), 4) +
                                                    " 处的记录头不完整。" + kResave);
    case RecordWalker::Status::End:
    case RecordWalker::Status::Ok:
        break;
    }
    throw WorkbookError(ErrorKind::Corrupt, "文件已损坏：Workbook 流在偏移 " + hex(w.failedAt(), 4) +
                                                " 处意外结束，缺少结束记录。" + kResave);
}

std::string cellName(int row, int col) {
    std::string letters;
    for (int c = col; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

std::string formatNumber(double v) {
    if (v == 0.0 || !std::isfinite(v)) return std::isfinite(v) ? "0" : "#NUM!";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    return buf;
}

double rkValue(std::uint32_t rk) {
    double v = 0;
    if (rk & 0x02) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        v = std::bit_cast<double>(bits);
    }
    return (rk & 0x01) ? v / 100.0 : v;
}

std::string errorText(std::uint8_t code) {
    switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    default: return "#N/A";
    }
}

bool isCellRecord(std::uint16_t id) {
    switch (id) {
    case rid::Blank: case rid::MulBlank: case rid::Number: case rid::Rk: case rid::MulRk:
    case rid::LabelSst: case rid::Label: case rid::RString: case rid::BoolErr: case rid::Formula:
        return true;
    default:
        return false;
    }
}

bool isFormulaTail(std::uint16_t id) {
    return id == rid::String || id == rid::ShrFmla || id == rid::Array || id == rid::Table ||
           id == rid::Continue;
}

std::size_t minCellSize(std::uint16_t id) {
    switch (id) {
    case rid::Blank: return 6;
    case rid::Number: return 14;
    case rid::Rk: case rid::LabelSst: return 10;
    case rid::BoolErr: return 8;
    case rid::Formula: return 20;
    case rid::Label: case rid::RString: return 9;
    default: return 6;  // MULRK, MULBLANK
    }
}

// Reads an XLUnicodeString (cch of 2 bytes) that starts `skip` bytes into a record.
std::string unicodeString(std::span<const std::uint8_t> stream, std::size_t recPos, std::size_t skip) {
    const Record rec{getU16(stream.data() + recPos), getU16(stream.data() + recPos + 2), recPos};
    ContinuedReader r(stream, rec);
    r.skip(skip);
    const std::uint16_t cch = r.u16();
    const std::uint8_t flags = r.u8();
    std::string out;
    if (r.ok()) r.characters(out, cch, (flags & 0x01) != 0);
    return out;
}

void putCell(std::vector<std::uint8_t>& out, std::uint16_t id, std::size_t size, std::uint16_t row,
             std::uint16_t col, std::uint16_t ixfe) {
    putHeader(out, id, size);
    putU16(out, row);
    putU16(out, col);
    putU16(out, ixfe);
}

}  // namespace

// ---------------------------------------------------------------- parsing

Book Book::parse(std::vector<std::uint8_t> stream) {
    if (stream.size() > 0x7FFFFFF0u)
        throw WorkbookError(ErrorKind::TooLarge, "Workbook 流超过 2 GB，无法处理。请把名单拆成较小的工作簿后重试。");
    Book book;
    book.stream_ = std::move(stream);
    book.colXf_.fill(15);
    book.parseGlobals();
    book.parseFirstSheet();
    return book;
}

void Book::parseGlobals() {
    RecordWalker w(stream_, 0);
    if (!w.next()) walkFailed(w);
    const Record& bof = w.record();
    if (bof.id == 0x0009 || bof.id == 0x0209 || bof.id == 0x0409 ||
        (bof.id == rid::Bof && (bof.size < 4 || getU16(stream_.data() + bof.dataPos()) != 0x0600))) {
        throw WorkbookError(ErrorKind::OldFormat,
                            "这是早期版本（Excel 5.0/95 或更早）的工作簿，无法安全修改。请用 Excel 或 WPS "
                            "打开后另存为“Excel 97-2003 工作簿(*.xls)”，再重新打开。");
    }
    if (bof.id != rid::Bof) corrupt(0, bof.id, "不是工作簿的起始记录（BOF）");

    bool inSst = false;
    while (true) {
        if (!w.next()) walkFailed(w);
        const Record& rec = w.record();
        if (inSst && rec.id != rid::Continue) {
            inSst = false;
            sstChainEnd_ = rec.pos;
        }
        switch (rec.id) {
        case rid::FilePass:
            throw WorkbookError(ErrorKind::Encrypted,
                                "这个工作簿设置了打开密码（已加密），无法修改。请在 Excel 中取消密码保护后另存，再重试。");
        case rid::Bof:
            corrupt(rec.pos, rec.id, "出现在工作簿全局区内，缺少全局区的结束记录");
        case rid::BoundSheet: {
            if (rec.size < 8) corrupt(rec.pos, rec.id, "（工作表目录）长度不足");
            Sheet s;
            s.boundSheetPos = rec.pos;
            s.bof = getU32(stream_.data() + rec.dataPos());
            sheets_.push_back(s);
            break;
        }
        case rid::Sst:
            if (!hasSst_) {
                hasSst_ = true;
                sstPos_ = rec.pos;
                inSst = true;
                sstRecords_.push_back(rec.pos);
            }
            break;
        case rid::Continue:
            if (inSst) sstRecords_.push_back(rec.pos);
            break;
        case rid::ExtSst:
            if (extSstPos_ == SIZE_MAX) extSstPos_ = rec.pos;
            break;
        default:
            break;
        }
        if (rec.id == rid::Eof) {
            globalsEnd_ = rec.end();
            break;
        }
    }
    if (hasSst_) parseSst(sstPos_);
}

void Book::parseSst(std::size_t pos) {
    const Record first{rid::Sst, getU16(stream_.data() + pos + 2), pos};
    if (first.size < 8) corrupt(pos, rid::Sst, "（共享字符串表）长度不足");
    ContinuedReader r(stream_, first);
    sstTotalHeader_ = r.u32();
    sstUniqueHeader_ = r.u32();
    // The header count is not always right: read what is there, and no more than the chain holds.
    std::uint32_t i = 0;
    while (!r.atEnd()) {
        ContinuedReader::StringInfo info;
        const std::size_t before = sstText_.size();
        if (!r.richString(sstText_, &info)) {
            sstText_.resize(before);
            if (i < sstUniqueHeader_)
                corrupt(info.recordPos, rid::Sst, "中的第 " + std::to_string(i + 1) + " 个字符串不完整");
            sstAppendable_ = false;  // trailing bytes after the counted strings
            break;
        }
        sstOffsets_.push_back(static_cast<std::uint32_t>(sstText_.size()));
        sstStart_.push_back(static_cast<std::uint32_t>(info.start));
        sstPlain_.push_back(!info.rich && !info.phonetic);
        ++i;
    }
    sstOriginal_ = i;
}

void Book::walkSheet(Sheet& sheet, bool& dialog, std::size_t& labelSsts, std::uint64_t& isstEnd) const {
    dialog = false;
    labelSsts = 0;
    if (sheet.bof < globalsEnd_ || sheet.bof >= stream_.size()) return;
    RecordWalker w(stream_, sheet.bof);
    if (!w.next() || w.record().id != rid::Bof) return;
    int depth = 1;
    std::vector<std::size_t> indexes;
    while (w.next()) {
        const Record& rec = w.record();
        if (rec.id == rid::Bof) {
            ++depth;
        } else if (rec.id == rid::Eof) {
            if (--depth == 0) {
                sheet.walked = true;
                sheet.end = rec.end();
                sheet.indexes = std::move(indexes);
                return;
            }
        } else if (depth == 1) {
            if (rec.id == rid::Index && rec.size >= 16) indexes.push_back(rec.pos);
            else if (rec.id == rid::LabelSst) {
                ++labelSsts;
                if (rec.size >= 10) isstEnd = std::max<std::uint64_t>(isstEnd, getU32(stream_.data() + rec.dataPos() + 6) + 1ull);
            }
            else if (rec.id == rid::WsBool && rec.size >= 1 && (stream_[rec.dataPos()] & 0x10)) dialog = true;
        }
    }
}

void Book::parseFirstSheet() {
    bool found = false;
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        Sheet& s = sheets_[i];
        const std::uint8_t* bs = stream_.data() + s.boundSheetPos + 4;
        const std::uint8_t type = bs[5];
        bool dialog = false;
        std::size_t labels = 0;
        walkSheet(s, dialog, labels, sstReferenced_);
        if (s.walked) labelSstCount_ += labels;
        else labelSstKnown_ = false;
        if (found || type != 0) continue;
        const bool bofThere = s.bof >= globalsEnd_ && s.bof + 4 <= stream_.size() &&
                              getU16(stream_.data() + s.bof) == rid::Bof;
        if (!bofThere)
            corrupt(s.boundSheetPos, rid::BoundSheet, "指向的工作表位置 " + hex(s.bof, 4) + " 不是有效的工作表开头");
        if (dialog) continue;
        found = true;
        first_ = i;
        // The name: ShortXLUnicodeString at +6 of BOUNDSHEET8.
        const std::uint16_t size = getU16(stream_.data() + s.boundSheetPos + 2);
        if (size >= 8) {
            const std::size_t cch = bs[6];
            const bool high = (bs[7] & 0x01) != 0;
            const std::size_t avail = size - 8u;
            const std::size_t n = std::min(cch, high ? avail / 2 : avail);
            if (high) {
                appendUtf16AsUtf8(sheetName_, bs + 8, n);
            } else {
                for (std::size_t k = 0; k < n; ++k) appendUtf8(sheetName_, bs[8 + k]);
            }
        }
    }
    if (!found)
        throw WorkbookError(ErrorKind::NoWorksheet,
                            "这个工作簿里没有普通工作表（只有图表或宏表）。请把名单放在第一个工作表中后重试。");
    sheetStart_ = sheets_[first_].bof;
    sheetEnd_ = sheets_[first_].end;

    reserveRows();
    RecordWalker w(stream_, sheetStart_);
    w.next();
    int depth = 1;
    // Formulas that point at the anchor of a shared, array or table formula.
    struct Member {
        int row, col, anchorRow, anchorCol;
    };
    std::vector<Member> members;
    // The last FORMULA, so that the records after it can be attached to it.
    std::size_t fRow = SIZE_MAX, fIdx = 0;
    while (true) {
        if (!w.next()) walkFailed(w);
        const Record& rec = w.record();
        if (rec.id == rid::Bof) {
            ++depth;
            continue;
        }
        if (rec.id == rid::Eof) {
            if (--depth == 0) break;
            continue;
        }
        if (depth != 1) continue;
        const std::uint8_t* d = stream_.data() + rec.dataPos();
        if (fRow != SIZE_MAX && isFormulaTail(rec.id)) {
            Cell& f = rows_[fRow].cells[fIdx];
            if (rec.id == rid::String && f.aux == kNone) f.aux = static_cast<std::uint32_t>(rec.pos);
            if (rec.id == rid::ShrFmla) f.flags |= kAnchor;
            if (rec.id == rid::Array || rec.id == rid::Table) f.flags |= kAnchor | kArrayAnchor;
            continue;
        }
        fRow = SIZE_MAX;
        if (rec.id == rid::Row) {
            if (rec.size < 16) corrupt(rec.pos, rec.id, "（行）长度不足");
            const std::uint16_t r = getU16(d);
            if (rows_.size() <= r) rows_.resize(std::size_t{r} + 1);
            rows_[r].rowRec = static_cast<std::uint32_t>(rec.pos);
            if (d[12] & 0x80) rows_[r].ghostXf = static_cast<std::uint16_t>(getU16(d + 14) & 0x0FFF);
            continue;
        }
        if (rec.id == rid::ColInfo && rec.size >= 8) {
            const std::uint16_t c0 = getU16(d), c1 = getU16(d + 2), xf = getU16(d + 6);
            for (std::uint32_t c = c0; c <= c1 && c < 256; ++c) colXf_[c] = xf;
            continue;
        }
        if (!isCellRecord(rec.id)) continue;
        if (rec.size < minCellSize(rec.id)) corrupt(rec.pos, rec.id, "（单元格）长度不足");
        const std::uint16_t row = getU16(d);
        const std::uint16_t col = getU16(d + 2);
        Cell cell;
        cell.src = static_cast<std::uint32_t>(rec.pos);
        if (rec.id == rid::MulRk || rec.id == rid::MulBlank) {
            const std::size_t width = rec.id == rid::MulRk ? 6 : 2;
            const std::size_t n = (rec.size - 6u) / width;
            for (std::size_t k = 0; k < n && col + k < 256; ++k) {
                cell.col = static_cast<std::uint16_t>(col + k);
                cell.ixfe = getU16(d + 4 + k * width);
                addCell(row, cell);
            }
            continue;
        }
        if (col >= 256) continue;
        cell.col = col;
        cell.ixfe = getU16(d + 4);
        addCell(row, cell);
        if (rec.id == rid::Formula) {
            fRow = row;
            fIdx = rows_[row].cells.size() - 1;
            // A lone PtgExp/PtgTbl points at the anchor of the shared, array or table formula
            // the cell belongs to; remember the anchor until all cells are known.
            if (rec.size >= 27 && getU16(d + 20) == 5 && (d[22] == 0x01 || d[22] == 0x02)) {
                const std::uint16_t ar = getU16(d + 23), ac = getU16(d + 25);
                if ((ar != row || ac != col) && ac < 256) {
                    rows_[row].cells[fIdx].flags |= kArrayMember;
                    members.push_back({row, col, ar, ac});
                }
            }
        }
    }
    // Members only block a write when their anchor is an array or table formula.
    for (auto& r : rows_) {
        const auto byCol = [](const Cell& a, const Cell& b) { return a.col < b.col; };
        if (!std::is_sorted(r.cells.begin(), r.cells.end(), byCol))
            std::stable_sort(r.cells.begin(), r.cells.end(), byCol);
        // A repeated cell: the later record wins.
        auto out = r.cells.begin();
        for (auto it = r.cells.begin(); it != r.cells.end(); ++it) {
            if (out != r.cells.begin() && std::prev(out)->col == it->col) *std::prev(out) = *it;
            else *out++ = *it;
        }
        r.cells.erase(out, r.cells.end());
    }
    for (const Member& m : members) {  // in record order, so a repeated cell's later record decides
        Cell* c = findCell(m.row + 1, m.col + 1);
        if (!c || !(c->flags & kArrayMember)) continue;
        const Cell* anchor = findCell(m.anchorRow + 1, m.anchorCol + 1);
        if (!anchor || !(anchor->flags & kArrayAnchor)) c->flags &= static_cast<std::uint8_t>(~kArrayMember);
    }
}

// Sizes every row's cell list once, with room for a few written cells, instead
// of growing each list cell by cell.
void Book::reserveRows() {
    std::vector<std::uint32_t> counts;
    RecordWalker w(stream_, sheetStart_);
    if (!w.next()) return;
    int depth = 1;
    while (w.next()) {
        const Record& rec = w.record();
        if (rec.id == rid::Bof) ++depth;
        if (rec.id == rid::Eof && --depth == 0) break;
        if (depth != 1 || !isCellRecord(rec.id) || rec.size < minCellSize(rec.id)) continue;
        const std::uint16_t row = getU16(stream_.data() + rec.dataPos());
        const std::uint32_t n =
            rec.id == rid::MulRk ? (rec.size - 6u) / 6 : rec.id == rid::MulBlank ? (rec.size - 6u) / 2 : 1;
        if (counts.size() <= row) counts.resize(std::size_t{row} + 1, 0);
        counts[row] += n;
    }
    if (rows_.size() < counts.size()) rows_.resize(counts.size());
    for (std::size_t r = 0; r < counts.size(); ++r) {
        if (counts[r] > 0) rows_[r].cells.reserve(std::min<std::size_t>(counts[r], 256) + 3);
    }
}

void Book::addCell(std::uint16_t row, const Cell& cell) {
    if (rows_.size() <= row) rows_.resize(std::size_t{row} + 1);
    rows_[row].cells.push_back(cell);
}

const Book::Cell* Book::findCell(int row, int col) const {
    if (row < 1 || static_cast<std::size_t>(row) > rows_.size()) return nullptr;
    const auto& cells = rows_[static_cast<std::size_t>(row - 1)].cells;
    if (cells.size() <= 16) {  // the usual short row: a scan beats the search
        for (const Cell& c : cells) {
            if (c.col >= col - 1) return c.col == col - 1 ? &c : nullptr;
        }
        return nullptr;
    }
    const auto it = std::lower_bound(cells.begin(), cells.end(), col - 1,
                                     [](const Cell& c, int v) { return c.col < v; });
    return it != cells.end() && it->col == col - 1 ? &*it : nullptr;
}

Book::Cell* Book::findCell(int row, int col) {
    return const_cast<Cell*>(static_cast<const Book*>(this)->findCell(row, col));
}

// ---------------------------------------------------------------- reading

std::string Book::sheetName() const { return sheetName_; }

std::string Book::sstString(std::uint32_t index) const {
    if (std::size_t{index} + 1 >= sstOffsets_.size()) return {};
    return sstText_.substr(sstOffsets_[index], sstOffsets_[index + 1] - sstOffsets_[index]);
}

std::string Book::originalText(const Cell& cell) const {
    const std::uint8_t* h = stream_.data() + cell.src;
    const std::uint16_t id = getU16(h);
    const std::uint8_t* d = h + 4;
    switch (id) {
    case rid::Number: return formatNumber(getF64(d + 6));
    case rid::Rk: return formatNumber(rkValue(getU32(d + 6)));
    case rid::MulRk: {
        const std::size_t k = cell.col - getU16(d + 2);
        return formatNumber(rkValue(getU32(d + 4 + 6 * k + 2)));
    }
    case rid::LabelSst: return sstString(getU32(d + 6));
    case rid::Label:
    case rid::RString: return unicodeString(stream_, cell.src, 6);
    case rid::BoolErr:
        if (d[7]) return errorText(d[6]);
        return d[6] ? "TRUE" : "FALSE";
    case rid::Formula:
        if (getU16(d + 12) != 0xFFFF) return formatNumber(getF64(d + 6));
        switch (d[6]) {
        case 0: return cell.aux == kNone ? std::string() : unicodeString(stream_, cell.aux, 0);
        case 1: return d[8] ? "TRUE" : "FALSE";
        case 2: return errorText(d[8]);
        default: return {};
        }
    default: return {};
    }
}

std::string Book::cellText(int row, int column) const {
    const Cell* c = findCell(row, column);
    if (!c) return {};
    switch (c->state) {
    case State::Original: return originalText(*c);
    case State::Blank: return {};
    case State::Sst: return sstString(c->aux);
    case State::Number: return formatNumber(numbers_[c->aux]);
    }
    return {};
}

// ---------------------------------------------------------------- writing cells

bool Book::isLabelSst(const Cell& c) const {
    if (c.state == State::Sst) return true;
    return c.state == State::Original && getU16(stream_.data() + c.src) == rid::LabelSst;
}

bool Book::isBlank(const Cell& c) const {
    if (c.state == State::Blank) return true;
    if (c.state != State::Original) return false;
    const std::uint16_t id = getU16(stream_.data() + c.src);
    return id == rid::Blank || id == rid::MulBlank;
}

std::string_view Book::sstView(std::uint32_t index) const {
    return std::string_view(sstText_).substr(sstOffsets_[index], sstOffsets_[index + 1] - sstOffsets_[index]);
}

// The slot holding text's index, or the empty slot where it would go.
std::uint32_t* Book::sstSlot(std::string_view text) {
    // FNV-1a: the strings are short, mostly digits.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    const std::size_t mask = sstSlots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash ^ (hash >> 29)) & mask;; i = (i + 1) & mask) {
        std::uint32_t& slot = sstSlots_[i];
        if (slot == kNone || sstView(slot) == text) return &slot;
    }
}

void Book::sstRemember(std::uint32_t index) {
    if (2 * (sstSlotsUsed_ + 1) > sstSlots_.size()) {
        std::vector<std::uint32_t> old(std::max<std::size_t>(64, 2 * sstSlots_.size()), kNone);
        old.swap(sstSlots_);
        sstSlotsUsed_ = 0;
        for (std::uint32_t kept : old) {
            if (kept != kNone) sstRemember(kept);
        }
    }
    std::uint32_t* slot = sstSlot(sstView(index));
    if (*slot == kNone) {
        *slot = index;
        ++sstSlotsUsed_;
    }
}

std::uint32_t Book::internString(std::string_view text) {
    if (!sstIndexBuilt_) {
        sstIndexBuilt_ = true;
        std::size_t size = 64;
        while (size < 2 * (std::size_t{sstOriginal_} + 1024)) size *= 2;
        sstSlots_.assign(size, kNone);
        for (std::uint32_t i = 0; i < sstOriginal_; ++i) {
            if (sstPlain_[i]) sstRemember(i);
        }
    }
    std::uint32_t* slot = sstSlot(text);
    if (*slot != kNone) return *slot;
    if (!sstAppendable_)
        throw WorkbookError(ErrorKind::Unsupported,
                            "工作簿的共享字符串表结构异常，无法加入新的文字。" + std::string(kResave));
    // Cells naming strings past the end of the table read as empty; empty strings
    // there keep them so once new strings follow.
    const std::uint64_t have = sstOffsets_.size() - 1;
    if (sstReferenced_ > have) {
        if (sstReferenced_ - have > 65536) {
            throw WorkbookError(ErrorKind::Corrupt,
                                "文件已损坏：单元格引用了共享字符串表中不存在的文字（第 " +
                                    std::to_string(sstReferenced_ - 1) + " 项），无法加入新的文字。" +
                                    std::string(kResave));
        }
        sstOffsets_.resize(static_cast<std::size_t>(sstReferenced_) + 1, static_cast<std::uint32_t>(sstText_.size()));
    }
    if (sstOffsets_.size() > 0x3FFFFFFFu || sstText_.size() > 0x7FFFFFFFu - text.size())
        throw WorkbookError(ErrorKind::TooLarge, "工作簿中的文字太多，无法再加入新的文字。");
    const auto index = static_cast<std::uint32_t>(sstOffsets_.size() - 1);
    sstText_.append(text);
    sstOffsets_.push_back(static_cast<std::uint32_t>(sstText_.size()));
    if (2 * (sstSlotsUsed_ + 1) > sstSlots_.size()) {
        sstRemember(index);  // grows the table first
    } else {
        *slot = index;
        ++sstSlotsUsed_;
    }
    return index;
}

void Book::setCellText(int row, int column, std::string_view text) {
    if (row < 1 || row > 65536 || column < 1 || column > 256)
        throw WorkbookError(ErrorKind::Unsupported,
                            "单元格 " + cellName(std::max(row, 1), std::max(column, 1)) +
                                " 超出了 xls 工作表的范围（最多 65536 行、256 列，即 IV 列）。");
    Cell* cell = findCell(row, column);
    if (cell && cell->state == State::Original && (cell->flags & (kAnchor | kArrayMember))) {
        throw WorkbookError(ErrorKind::Unsupported,
                            "单元格 " + cellName(row, column) +
                                " 属于共享公式或数组公式，不能改写。请先在 Excel 中清除该单元格的公式后重试。");
    }
    if (text.empty()) {
        if (!cell || isBlank(*cell)) return;
        if (isLabelSst(*cell)) --labelSstDelta_;
        cell->state = State::Blank;
    } else {
        bool asNumber = false;
        double number = 0;
        std::string_view stored = text;
        if (text.front() == '\'') {
            stored.remove_prefix(1);
        } else {
            const auto res = std::from_chars(text.data(), text.data() + text.size(), number);
            asNumber = res.ec == std::errc() && res.ptr == text.data() + text.size() && std::isfinite(number);
        }
        std::uint32_t isst = 0;
        if (!asNumber) isst = internString(stored);
        if (!cell) {
            const auto r = static_cast<std::size_t>(row - 1);
            if (rows_.size() <= r) rows_.resize(r + 1);
            auto& cells = rows_[r].cells;
            Cell fresh;
            fresh.col = static_cast<std::uint16_t>(column - 1);
            fresh.state = State::Blank;  // becomes text or a number below
            fresh.ixfe = rows_[r].ghostXf != 0xFFFF ? rows_[r].ghostXf : colXf_[fresh.col];
            const auto it = std::lower_bound(cells.begin(), cells.end(), fresh.col,
                                             [](const Cell& c, std::uint16_t v) { return c.col < v; });
            cell = &*cells.insert(it, fresh);
        }
        const bool wasLabel = isLabelSst(*cell);
        if (asNumber) {
            if (wasLabel) --labelSstDelta_;
            cell->state = State::Number;
            numbers_.push_back(number);
            cell->aux = static_cast<std::uint32_t>(numbers_.size() - 1);
        } else {
            if (!wasLabel) ++labelSstDelta_;
            cell->state = State::Sst;
            cell->aux = isst;
        }
    }
    rows_[static_cast<std::size_t>(row - 1)].changed = true;
    modified_ = true;
}

// ---------------------------------------------------------------- serialising

void Book::appendStrings(std::vector<std::uint8_t>& out, std::size_t recHeader, std::uint32_t first,
                         std::vector<std::pair<std::uint32_t, std::uint32_t>>& where) const {
    std::size_t len = getU16(out.data() + recHeader + 2);
    auto openContinue = [&] {
        setU16(out.data() + recHeader + 2, static_cast<std::uint16_t>(len));
        recHeader = out.size();
        putHeader(out, rid::Continue, 0);
        len = 0;
    };
    const auto count = static_cast<std::uint32_t>(sstOffsets_.size() - 1);
    for (std::uint32_t i = first; i < count; ++i) {
        const std::u16string units = utf8ToUtf16(
            std::string_view(sstText_).substr(sstOffsets_[i], sstOffsets_[i + 1] - sstOffsets_[i]));
        const bool wide = std::any_of(units.begin(), units.end(), [](char16_t u) { return u > 0xFF; });
        const std::size_t width = wide ? 2 : 1;
        // The header and the first character stay together.
        if (kMaxRecordData - len < 3 + width) openContinue();
        where.emplace_back(static_cast<std::uint32_t>(out.size()), static_cast<std::uint32_t>(recHeader));
        putU16(out, static_cast<std::uint16_t>(units.size()));
        putU8(out, wide ? 1 : 0);
        len += 3;
        std::size_t k = 0;
        while (k < units.size()) {
            std::size_t fit = (kMaxRecordData - len) / width;
            if (fit == 0) {
                openContinue();
                putU8(out, wide ? 1 : 0);
                len = 1;
                continue;
            }
            fit = std::min(fit, units.size() - k);
            for (std::size_t j = 0; j < fit; ++j) {
                if (wide) putU16(out, static_cast<std::uint16_t>(units[k + j]));
                else putU8(out, static_cast<std::uint8_t>(units[k + j]));
            }
            len += fit * width;
            k += fit;
        }
    }
    setU16(out.data() + recHeader + 2, static_cast<std::uint16_t>(len));
}

void Book::writeExtSst(std::vector<std::uint8_t>& out,
                       const std::vector<std::pair<std::uint32_t, std::uint32_t>>& newWhere) const {
    const auto unique = static_cast<std::uint32_t>(sstOffsets_.size() - 1);
    const std::uint32_t dsst = std::max<std::uint32_t>(unique / 128 + 1, 8);
    const std::uint32_t buckets = (unique + dsst - 1) / dsst;
    putHeader(out, rid::ExtSst, 2 + std::size_t{8} * buckets);
    putU16(out, static_cast<std::uint16_t>(dsst));
    for (std::uint32_t b = 0; b < buckets; ++b) {
        const std::uint32_t i = b * dsst;
        std::uint32_t at = 0, rec = 0;
        if (i < sstOriginal_) {
            at = sstStart_[i];
            const auto it = std::upper_bound(sstRecords_.begin(), sstRecords_.end(), std::size_t{at});
            rec = static_cast<std::uint32_t>(*std::prev(it));
        } else {
            std::tie(at, rec) = newWhere[i - sstOriginal_];
        }
        putU32(out, at);
        putU16(out, static_cast<std::uint16_t>(at - rec));
        putU16(out, 0);
    }
}

void Book::writeGlobals(std::vector<std::uint8_t>& out, std::vector<std::size_t>& boundSheetOut) const {
    const auto unique = static_cast<std::uint32_t>(sstOffsets_.size() - 1);
    const bool newStrings = unique > sstOriginal_;
    const long long total =
        (labelSstKnown_ ? static_cast<long long>(labelSstCount_) : static_cast<long long>(sstTotalHeader_)) +
        labelSstDelta_;
    const auto cstTotal = static_cast<std::uint32_t>(std::max(0LL, total));
    const bool countsChange = labelSstDelta_ != 0 || newStrings;
    const std::size_t lastSst = hasSst_ ? sstRecords_.back() : SIZE_MAX;
    const bool extSstAfterSst = extSstPos_ != SIZE_MAX && hasSst_ && extSstPos_ > lastSst;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> where;

    RecordWalker w(stream_, 0);
    while (w.next()) {
        const Record& rec = w.record();
        if (rec.id == rid::Eof && !hasSst_ && newStrings) {
            const std::size_t hdr = out.size();
            putHeader(out, rid::Sst, 8);
            putU32(out, cstTotal);
            putU32(out, unique);
            appendStrings(out, hdr, 0, where);
            writeExtSst(out, where);
        }
        if (rec.id == rid::ExtSst && rec.pos == extSstPos_ && newStrings) {
            // One ahead of the SST cannot know the new strings' places yet: it moves behind the SST.
            if (extSstAfterSst) writeExtSst(out, where);
        } else {
            if (rec.id == rid::BoundSheet) boundSheetOut.push_back(out.size());
            const std::size_t at = out.size();
            out.insert(out.end(), stream_.begin() + static_cast<std::ptrdiff_t>(rec.pos),
                       stream_.begin() + static_cast<std::ptrdiff_t>(rec.end()));
            if (rec.pos == sstPos_ && hasSst_ && countsChange) {
                setU32(out.data() + at + 4, cstTotal);
                setU32(out.data() + at + 8, unique);
            }
            if (rec.pos == lastSst && newStrings) {
                appendStrings(out, at, sstOriginal_, where);
                if (!extSstAfterSst) writeExtSst(out, where);
            }
        }
        if (rec.id == rid::Eof) break;
    }
}

void Book::writeSheet(std::vector<std::uint8_t>& out) const {
    // Where each row's new cells go: before the record at an original offset.
    std::vector<std::pair<std::size_t, std::uint16_t>> inserts;
    int newRowMin = -1, newRowMax = -1, newColMin = 256, newColMax = -1;
    std::vector<std::uint16_t> missing;  // changed rows with new cells but no original cell
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const Row& row = rows_[r];
        if (!row.changed) continue;
        bool hasNew = false;
        std::uint32_t last = 0;
        bool hasOriginal = false;
        for (const Cell& c : row.cells) {
            if (c.src == kNone) {
                hasNew = true;
                newRowMin = newRowMin < 0 ? static_cast<int>(r) : newRowMin;
                newRowMax = static_cast<int>(r);
                newColMin = std::min<int>(newColMin, c.col);
                newColMax = std::max<int>(newColMax, c.col);
            } else {
                hasOriginal = true;
                last = std::max(last, c.src);
            }
        }
        if (!hasNew) continue;
        if (hasOriginal) {
            RecordWalker w(stream_, last);
            w.next();
            while (w.next() && isFormulaTail(w.record().id)) {}
            inserts.emplace_back(w.record().pos, static_cast<std::uint16_t>(r));
        } else {
            missing.push_back(static_cast<std::uint16_t>(r));
        }
    }
    if (!missing.empty()) {
        // The sheet's records at its own level, for placing rows that have no cell yet.
        struct Unit { std::size_t pos; std::uint16_t id; std::uint16_t row; std::size_t next; };
        std::vector<Unit> units;
        std::size_t afterDims = SIZE_MAX, window2 = SIZE_MAX, eofPos = 0;
        RecordWalker w(stream_, sheetStart_);
        w.next();
        int depth = 1;
        while (w.next()) {
            const Record& rec = w.record();
            if (rec.id == rid::Bof) ++depth;
            if (rec.id == rid::Eof && --depth == 0) {
                eofPos = rec.pos;
                break;
            }
            if (depth != 1 || rec.id == rid::Eof) continue;
            if (!units.empty() && isFormulaTail(rec.id) && units.back().id == rid::Formula) {
                units.back().next = rec.end();
                continue;
            }
            if (rec.id == rid::Dimensions) afterDims = rec.end();
            if (rec.id == 0x023E && window2 == SIZE_MAX) window2 = rec.pos;
            const bool cellish = isCellRecord(rec.id) || rec.id == rid::Row || rec.id == rid::DbCell;
            units.push_back({rec.pos, cellish ? rec.id : std::uint16_t{0},
                             rec.size >= 2 ? getU16(stream_.data() + rec.dataPos()) : std::uint16_t{0}, rec.end()});
        }
        std::vector<std::size_t> cellUnits;
        std::vector<std::uint16_t> prefixMax;
        for (std::size_t i = 0; i < units.size(); ++i) {
            if (!isCellRecord(units[i].id)) continue;
            cellUnits.push_back(i);
            prefixMax.push_back(prefixMax.empty() ? units[i].row : std::max(prefixMax.back(), units[i].row));
        }
        for (const std::uint16_t r : missing) {
            std::size_t at = SIZE_MAX;
            const std::uint32_t rowRec = rows_[r].rowRec;
            if (rowRec != kNone) {
                auto it = std::find_if(units.begin(), units.end(), [&](const Unit& u) { return u.pos == rowRec; });
                bool seenCell = false;
                for (++it; it != units.end(); ++it) {
                    if (it->id == 0 || it->id == rid::DbCell || (it->id == rid::Row && seenCell) ||
                        (isCellRecord(it->id) && it->row > r)) {
                        at = it->pos;
                        break;
                    }
                    seenCell = seenCell || isCellRecord(it->id);
                }
            } else if (!cellUnits.empty()) {
                const auto it = std::upper_bound(prefixMax.begin(), prefixMax.end(), r);
                at = it != prefixMax.end() ? units[cellUnits[static_cast<std::size_t>(it - prefixMax.begin())]].pos
                                           : units[cellUnits.back()].next;
            } else {
                for (const Unit& u : units)
                    if (u.id == rid::Row) at = u.next;
                if (at == SIZE_MAX) at = afterDims != SIZE_MAX ? afterDims : window2;
            }
            inserts.emplace_back(at == SIZE_MAX ? eofPos : at, r);
        }
    }
    if (!std::is_sorted(inserts.begin(), inserts.end())) std::sort(inserts.begin(), inserts.end());

    std::vector<std::uint16_t> nextNew(rows_.size(), 0);
    std::vector<std::uint32_t> firstCell(65536, 0);
    std::vector<std::uint16_t> blockRows;
    std::vector<std::uint32_t> blockRowPos;
    std::vector<std::size_t> dbcells;
    std::size_t indexOut = SIZE_MAX, defColOut = SIZE_MAX;

    auto noteCell = [&](std::uint16_t row, std::size_t pos) {
        if (firstCell[row] == 0) firstCell[row] = static_cast<std::uint32_t>(pos);
    };
    auto emitCell = [&](std::uint16_t row, const Cell& c) {
        noteCell(row, out.size());
        switch (c.state) {
        case State::Sst:
            putCell(out, rid::LabelSst, 10, row, c.col, c.ixfe);
            putU32(out, c.aux);
            break;
        case State::Number:
            putCell(out, rid::Number, 14, row, c.col, c.ixfe);
            putF64(out, numbers_[c.aux]);
            break;
        case State::Blank:
        case State::Original:
            putCell(out, rid::Blank, 6, row, c.col, c.ixfe);
            break;
        }
    };
    auto flushBefore = [&](std::uint16_t row, std::uint32_t limit) {
        if (row >= rows_.size()) return;
        const auto& cells = rows_[row].cells;
        std::size_t i = nextNew[row];
        while (i < cells.size() && cells[i].col < limit) {
            if (cells[i].src == kNone) emitCell(row, cells[i]);
            ++i;
        }
        nextNew[row] = static_cast<std::uint16_t>(i);
    };
    auto copy = [&](const Record& rec) {
        out.insert(out.end(), stream_.begin() + static_cast<std::ptrdiff_t>(rec.pos),
                   stream_.begin() + static_cast<std::ptrdiff_t>(rec.end()));
    };

    std::size_t nextInsert = 0;
    bool dropString = false;
    int depth = 0;
    RecordWalker w(stream_, sheetStart_);
    while (w.next()) {
        const Record& rec = w.record();
        while (nextInsert < inserts.size() && (inserts[nextInsert].first <= rec.pos)) {
            flushBefore(inserts[nextInsert].second, 0x10000);
            ++nextInsert;
        }
        const std::uint8_t* d = stream_.data() + rec.dataPos();
        if (rec.id == rid::Bof) ++depth;
        if (rec.id == rid::Eof) --depth;
        if (depth != 1 || rec.id == rid::Bof || rec.id == rid::Eof) {
            copy(rec);
            if (depth == 0) break;
            continue;
        }
        if (isFormulaTail(rec.id)) {
            if (!(dropString && (rec.id == rid::String || rec.id == rid::Continue))) copy(rec);
            continue;
        }
        dropString = false;
        const std::size_t at = out.size();
        switch (rec.id) {
        case rid::Index:
            if (indexOut == SIZE_MAX && rec.size >= 16) indexOut = at;
            copy(rec);
            break;
        case rid::DefColWidth:
            if (defColOut == SIZE_MAX) defColOut = at;
            copy(rec);
            break;
        case rid::Dimensions:
            copy(rec);
            if (rec.size >= 12 && newRowMax >= 0) {
                std::uint8_t* p = out.data() + at + 4;
                std::uint32_t r0 = getU32(p), r1 = getU32(p + 4);
                std::uint16_t c0 = getU16(p + 8), c1 = getU16(p + 10);
                const bool empty = r0 >= r1 || c0 >= c1;
                r0 = empty ? static_cast<std::uint32_t>(newRowMin) : std::min(r0, static_cast<std::uint32_t>(newRowMin));
                r1 = empty ? static_cast<std::uint32_t>(newRowMax + 1) : std::max(r1, static_cast<std::uint32_t>(newRowMax + 1));
                c0 = empty ? static_cast<std::uint16_t>(newColMin) : std::min(c0, static_cast<std::uint16_t>(newColMin));
                c1 = empty ? static_cast<std::uint16_t>(newColMax + 1) : std::max(c1, static_cast<std::uint16_t>(newColMax + 1));
                setU32(p, r0);
                setU32(p + 4, r1);
                setU16(p + 8, c0);
                setU16(p + 10, c1);
            }
            break;
        case rid::Row: {
            const std::uint16_t r = getU16(d);
            blockRows.push_back(r);
            blockRowPos.push_back(static_cast<std::uint32_t>(at));
            copy(rec);
            if (r < rows_.size() && rows_[r].changed) {
                int lo = 256, hi = -1;
                for (const Cell& c : rows_[r].cells) {
                    if (c.src != kNone) continue;
                    lo = std::min<int>(lo, c.col);
                    hi = std::max<int>(hi, c.col);
                }
                if (hi >= 0) {
                    std::uint8_t* p = out.data() + at + 4;
                    std::uint16_t c0 = getU16(p + 2), c1 = getU16(p + 4);
                    const bool empty = c0 >= c1;
                    c0 = empty ? static_cast<std::uint16_t>(lo) : std::min(c0, static_cast<std::uint16_t>(lo));
                    c1 = empty ? static_cast<std::uint16_t>(hi + 1) : std::max(c1, static_cast<std::uint16_t>(hi + 1));
                    setU16(p + 2, c0);
                    setU16(p + 4, c1);
                }
            }
            break;
        }
        case rid::DbCell:
            dbcells.push_back(at);
            if (blockRows.empty()) {
                copy(rec);
            } else {
                putHeader(out, rid::DbCell, 4 + 2 * blockRows.size());
                putU32(out, static_cast<std::uint32_t>(at - blockRowPos.front()));
                std::size_t ref = blockRowPos.front() + 20;
                for (const std::uint16_t r : blockRows) {
                    std::size_t entry = 0;
                    if (firstCell[r] != 0 && firstCell[r] >= ref) {
                        entry = firstCell[r] - ref;
                        ref = firstCell[r];
                    }
                    putU16(out, static_cast<std::uint16_t>(std::min<std::size_t>(entry, 0xFFFF)));
                }
                for (const std::uint16_t r : blockRows) firstCell[r] = 0;
                blockRows.clear();
                blockRowPos.clear();
            }
            break;
        default:
            if (!isCellRecord(rec.id)) {
                copy(rec);
                break;
            }
            {
                const std::uint16_t row = getU16(d);
                const std::uint16_t col = getU16(d + 2);
                const bool rowChanged = row < rows_.size() && rows_[row].changed;
                if (rowChanged) flushBefore(row, col);
                if (!rowChanged) {
                    noteCell(row, at);
                    copy(rec);
                    break;
                }
                if (rec.id == rid::MulRk || rec.id == rid::MulBlank) {
                    const bool rk = rec.id == rid::MulRk;
                    const std::size_t width = rk ? 6 : 2;
                    const std::size_t n = (rec.size - 6u) / width;
                    auto unchanged = [&](std::size_t k) {
                        const Cell* c = findCell(row + 1, static_cast<int>(col + k) + 1);
                        return !c || c->src != rec.pos || c->state == State::Original;
                    };
                    bool any = false;
                    for (std::size_t k = 0; k < n; ++k) any = any || !unchanged(k);
                    if (!any) {
                        noteCell(row, at);
                        copy(rec);
                        break;
                    }
                    std::size_t k = 0;
                    while (k < n) {
                        if (!unchanged(k)) {
                            emitCell(row, *findCell(row + 1, static_cast<int>(col + k) + 1));
                            ++k;
                            continue;
                        }
                        std::size_t e = k;
                        while (e < n && unchanged(e)) ++e;
                        noteCell(row, out.size());
                        const auto c0 = static_cast<std::uint16_t>(col + k);
                        if (e - k == 1) {
                            putCell(out, rk ? rid::Rk : rid::Blank, rk ? 10 : 6, row, c0, getU16(d + 4 + k * width));
                            if (rk) out.insert(out.end(), d + 4 + k * width + 2, d + 4 + k * width + 6);
                        } else {
                            putHeader(out, rec.id, 6 + (e - k) * width);
                            putU16(out, row);
                            putU16(out, c0);
                            out.insert(out.end(), d + 4 + k * width, d + 4 + e * width);
                            putU16(out, static_cast<std::uint16_t>(col + e - 1));
                        }
                        k = e;
                    }
                    break;
                }
                const Cell* c = col < 256 ? findCell(row + 1, col + 1) : nullptr;
                if (c && c->src == rec.pos && c->state != State::Original) {
                    emitCell(row, *c);
                    dropString = rec.id == rid::Formula;
                } else {
                    noteCell(row, at);
                    copy(rec);
                }
            }
            break;
        }
    }

    if (indexOut != SIZE_MAX) {
        std::uint8_t* p = out.data() + indexOut + 4;
        if (newRowMax >= 0) {
            std::uint32_t r0 = getU32(p + 4), r1 = getU32(p + 8);
            const bool empty = r0 >= r1;
            setU32(p + 4, empty ? static_cast<std::uint32_t>(newRowMin) : std::min(r0, static_cast<std::uint32_t>(newRowMin)));
            setU32(p + 8, empty ? static_cast<std::uint32_t>(newRowMax + 1) : std::max(r1, static_cast<std::uint32_t>(newRowMax + 1)));
        }
        if (defColOut != SIZE_MAX) setU32(p + 12, static_cast<std::uint32_t>(defColOut));
        const std::size_t entries = (getU16(out.data() + indexOut + 2) - 16u) / 4;
        for (std::size_t k = 0; k < entries && k < dbcells.size(); ++k)
            setU32(p + 16 + 4 * k, static_cast<std::uint32_t>(dbcells[k]));
    }
}

std::vector<std::uint8_t> Book::serialize() const {
    if (!modified_) return stream_;
    std::vector<std::uint8_t> out;
    // New cells (at most 14 bytes each), new strings (at most 3 bytes a character
    // plus their headers and CONTINUE records) and the regenerated EXTSST.
    std::size_t newCells = 0;
    for (const Row& r : rows_) {
        if (!r.changed) continue;
        for (const Cell& c : r.cells) newCells += c.src == kNone ? 1 : 0;
    }
    const std::size_t newStrings = sstOffsets_.size() - 1 - std::min<std::size_t>(sstOffsets_.size() - 1, sstOriginal_);
    const std::size_t newText = sstText_.size() - (sstOriginal_ < sstOffsets_.size() ? sstOffsets_[sstOriginal_] : 0);
    out.reserve(stream_.size() + 14 * newCells + 2 * newText + 3 * newStrings + newText / 2048 * 5 +
                8 * (sstOffsets_.size() / 8 + 1) + 64 * 1024);
    std::vector<std::size_t> boundSheetOut;
    writeGlobals(out, boundSheetOut);
    const std::size_t newGlobalsEnd = out.size();

    bool sheetChanged = false;
    for (const Row& r : rows_) sheetChanged = sheetChanged || r.changed;

    out.insert(out.end(), stream_.begin() + static_cast<std::ptrdiff_t>(globalsEnd_),
               stream_.begin() + static_cast<std::ptrdiff_t>(sheetStart_));
    const std::size_t newSheetStart = out.size();
    if (sheetChanged) {
        writeSheet(out);
    } else {
        out.insert(out.end(), stream_.begin() + static_cast<std::ptrdiff_t>(sheetStart_),
                   stream_.begin() + static_cast<std::ptrdiff_t>(sheetEnd_));
    }
    const std::size_t newSheetEnd = out.size();
    out.insert(out.end(), stream_.begin() + static_cast<std::ptrdiff_t>(sheetEnd_), stream_.end());

    auto map = [&](std::size_t old) -> std::size_t {
        if (old < globalsEnd_) return old;
        if (old < sheetStart_) return old - globalsEnd_ + newGlobalsEnd;
        if (old < sheetEnd_) return sheetChanged ? newSheetStart : old - sheetStart_ + newSheetStart;
        return old - sheetEnd_ + newSheetEnd;
    };
    if (out.size() > 0xFFFFFFFFu)
        throw WorkbookError(ErrorKind::TooLarge, "修改后的工作簿超过 4 GB，无法保存。");
    for (std::size_t i = 0; i < sheets_.size() && i < boundSheetOut.size(); ++i) {
        std::uint8_t* p = out.data() + boundSheetOut[i] + 4;
        setU32(p, static_cast<std::uint32_t>(map(getU32(p))));
    }
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        const Sheet& s = sheets_[i];
        if (!s.walked || (sheetChanged && s.bof == sheetStart_)) continue;
        for (const std::size_t idx : s.indexes) {
            const std::size_t at = map(idx);
            const std::size_t size = getU16(out.data() + at + 2);
            std::uint8_t* p = out.data() + at + 4;
            if (getU32(p + 12) != 0) setU32(p + 12, static_cast<std::uint32_t>(map(getU32(p + 12))));
            for (std::size_t k = 16; k + 4 <= size; k += 4)
                if (getU32(p + k) != 0) setU32(p + k, static_cast<std::uint32_t>(map(getU32(p + k))));
        }
    }
    return out;
}

}  // namespace zembrix::xls
