#include "test_support.h"

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "workbook/biff.h"
#include "workbook/cfb.h"

namespace zembrix::xls::test {

using namespace biff;

Bytes u16(std::uint16_t v) { return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)}; }

Bytes u32(std::uint32_t v) {
    Bytes b;
    putU32(b, v);
    return b;
}

Bytes f64(double v) {
    Bytes b;
    putF64(b, v);
    return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes record(std::uint16_t id, const Bytes& data) {
    Bytes out;
    putHeader(out, id, data.size());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

namespace {
std::uint16_t w(int v) { return static_cast<std::uint16_t>(v); }
Bytes head(int row, int col, int xf) { return cat({u16(w(row)), u16(w(col)), u16(w(xf))}); }

Bytes xlString(const std::u16string& text, bool shortCount) {
    const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    Bytes out;
    if (shortCount) out.push_back(static_cast<std::uint8_t>(text.size()));
    else putU16(out, w(static_cast<int>(text.size())));
    out.push_back(wide ? 1 : 0);
    for (const char16_t c : text) {
        if (wide) putU16(out, c);
        else out.push_back(static_cast<std::uint8_t>(c));
    }
    return out;
}
}  // namespace

Bytes blank(int row, int col, int xf) { return record(rid::Blank, head(row, col, xf)); }
Bytes number(int row, int col, double v, int xf) { return record(rid::Number, cat({head(row, col, xf), f64(v)})); }
Bytes rk(int row, int col, std::uint32_t raw, int xf) { return record(rid::Rk, cat({head(row, col, xf), u32(raw)})); }

Bytes mulRk(int row, int col, const std::vector<std::uint32_t>& raws, int xf) {
    Bytes d = cat({u16(w(row)), u16(w(col))});
    for (const std::uint32_t r : raws) d = cat({d, u16(w(xf)), u32(r)});
    return record(rid::MulRk, cat({d, u16(w(col + static_cast<int>(raws.size()) - 1))}));
}

Bytes mulBlank(int row, int col, int count, int xf) {
    Bytes d = cat({u16(w(row)), u16(w(col))});
    for (int i = 0; i < count; ++i) d = cat({d, u16(w(xf))});
    return record(rid::MulBlank, cat({d, u16(w(col + count - 1))}));
}

Bytes labelSst(int row, int col, std::uint32_t isst, int xf) {
    return record(rid::LabelSst, cat({head(row, col, xf), u32(isst)}));
}

Bytes label(int row, int col, const std::u16string& text, int xf) {
    return record(rid::Label, cat({head(row, col, xf), xlString(text, false)}));
}

Bytes boolErr(int row, int col, int value, bool error, int xf) {
    return record(rid::BoolErr, cat({head(row, col, xf), Bytes{static_cast<std::uint8_t>(value), error ? std::uint8_t{1} : std::uint8_t{0}}}));
}

Bytes formulaNumber(int row, int col, double v) {
    // A formula of one PtgInt (0x1E) whose value does not matter here.
    return record(rid::Formula, cat({head(row, col, 15), f64(v), u16(0), u32(0), u16(3), Bytes{0x1E, 1, 0}}));
}

Bytes formulaSpecial(int row, int col, int kind, int value) {
    const Bytes result{static_cast<std::uint8_t>(kind), 0, static_cast<std::uint8_t>(value), 0, 0, 0, 0xFF, 0xFF};
    return record(rid::Formula, cat({head(row, col, 15), result, u16(0), u32(0), u16(3), Bytes{0x1E, 1, 0}}));
}

Bytes stringRecord(const std::u16string& text) { return record(rid::String, xlString(text, false)); }

Bytes rowRecord(int row, int colMic, int colMac, int xf) {
    const std::uint32_t flags = 0x100 | (xf >= 0 ? (0x80u | (static_cast<std::uint32_t>(xf) << 16)) : 0u);
    return record(rid::Row, cat({u16(w(row)), u16(w(colMic)), u16(w(colMac)), u16(0xFF), u16(0), u16(0), u32(flags)}));
}

Bytes sst(const std::vector<std::u16string>& strings, std::uint32_t total, std::size_t maxData) {
    std::vector<Bytes> recs{cat({u32(total), u32(static_cast<std::uint32_t>(strings.size()))})};
    auto room = [&] { return maxData - recs.back().size(); };
    for (const std::u16string& s : strings) {
        const bool wide = std::any_of(s.begin(), s.end(), [](char16_t c) { return c > 0xFF; });
        const std::size_t width = wide ? 2 : 1;
        if (room() < 3 + width) recs.emplace_back();
        putU16(recs.back(), w(static_cast<int>(s.size())));
        recs.back().push_back(wide ? 1 : 0);
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (room() < width) {
                recs.emplace_back();
                recs.back().push_back(wide ? 1 : 0);
            }
            if (wide) putU16(recs.back(), s[i]);
            else recs.back().push_back(static_cast<std::uint8_t>(s[i]));
        }
    }
    Bytes out = record(rid::Sst, recs[0]);
    for (std::size_t i = 1; i < recs.size(); ++i) out = cat({out, record(rid::Continue, recs[i])});
    return out;
}

Bytes book(const std::vector<Bytes>& globals, const std::vector<Bytes>& sheet, const std::u16string& name) {
    Bytes g = record(rid::Bof, cat({u16(0x0600), u16(0x0005), u16(0), u16(0), u32(0), u32(0)}));
    for (const Bytes& r : globals) g.insert(g.end(), r.begin(), r.end());
    const std::size_t bsPos = g.size();
    g = cat({g, record(rid::BoundSheet, cat({u32(0), Bytes{0, 0}, xlString(name, true)}))});
    g = cat({g, record(rid::Eof, {})});
    setU32(g.data() + bsPos + 4, static_cast<std::uint32_t>(g.size()));
    int maxRow = -1, maxCol = -1;
    for (const Bytes& r : sheet) {
        const std::uint16_t id = getU16(r.data());
        if (id == rid::Blank || id == rid::Number || id == rid::Rk || id == rid::LabelSst || id == rid::Label ||
            id == rid::BoolErr || id == rid::Formula || id == rid::MulRk || id == rid::MulBlank) {
            maxRow = std::max<int>(maxRow, getU16(r.data() + 4));
            int last = getU16(r.data() + 6);
            if (id == rid::MulRk || id == rid::MulBlank) last = getU16(r.data() + r.size() - 2);
            maxCol = std::max(maxCol, last);
        }
    }
    Bytes s = record(rid::Bof, cat({u16(0x0600), u16(0x0010), u16(0), u16(0), u32(0), u32(0)}));
    s = cat({s, record(rid::Dimensions, cat({u32(0), u32(static_cast<std::uint32_t>(maxRow + 1)), u16(0),
                                             u16(w(maxCol + 1)), u16(0)}))});
    for (const Bytes& r : sheet) s.insert(s.end(), r.begin(), r.end());
    const Bytes eof = record(rid::Eof, {});
    s.insert(s.end(), eof.begin(), eof.end());
    return cat({g, s});
}

std::optional<Bytes> workbookStream(const std::string& path, const std::u16string& name) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    Bytes image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        const auto file = cfb::CompoundFile::parse(std::move(image));
        const auto entry = file.findRootStream(name);
        if (!entry) return std::nullopt;
        return file.readStream(*entry);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string corpusDir() {
    const std::filesystem::path dir = std::filesystem::path(ZEMBRIX_SOURCE_DIR) / ".." / "shared" / "corpus" / "xls";
    return std::filesystem::is_directory(dir) ? dir.string() : std::string();
}

// ---- validator ----

namespace {

struct Rec {
    std::uint16_t id;
    std::size_t pos;
    std::size_t size;
    const std::uint8_t* d;
};

std::vector<Rec> substream(const Bytes& s, std::size_t start, std::ostringstream& problems) {
    std::vector<Rec> out;
    std::size_t pos = start;
    int depth = 0;
    while (pos + 4 <= s.size()) {
        const std::uint16_t id = getU16(s.data() + pos);
        const std::size_t size = getU16(s.data() + pos + 2);
        if (pos + 4 + size > s.size()) break;
        out.push_back({id, pos, size, s.data() + pos + 4});
        pos += 4 + size;
        if (id == rid::Bof) ++depth;
        if (id == rid::Eof && --depth <= 0) return out;
    }
    problems << "substream at " << start << " has no end; ";
    return out;
}

bool isCell(std::uint16_t id) {
    return id == rid::Blank || id == rid::MulBlank || id == rid::Number || id == rid::Rk || id == rid::MulRk ||
           id == rid::LabelSst || id == rid::Label || id == rid::RString || id == rid::BoolErr ||
           id == rid::Formula;
}

void checkSheet(const std::vector<Rec>& recs, std::size_t& labelSsts, std::ostringstream& p) {
    std::map<int, std::pair<int, int>> cellCols;  // row -> first, last column
    std::map<int, std::pair<int, int>> rowRecs;
    const Rec* dims = nullptr;
    const Rec* index = nullptr;
    std::size_t defCol = 0;
    std::vector<std::size_t> dbcells;
    // DBCELL recomputation state.
    std::vector<std::pair<int, std::size_t>> blockRows;
    std::map<int, std::size_t> firstCell;
    int depth = 0;
    for (const Rec& r : recs) {
        if (r.id == rid::Bof) ++depth;
        if (r.id == rid::Eof) --depth;
        if (depth != 1) continue;
        if (r.id == rid::Dimensions && r.size >= 12) dims = &r;
        if (r.id == rid::Index && !index) index = &r;
        if (r.id == rid::DefColWidth) defCol = r.pos;
        if (r.id == rid::Row) {
            rowRecs[getU16(r.d)] = {getU16(r.d + 2), getU16(r.d + 4)};
            blockRows.emplace_back(getU16(r.d), r.pos);
        }
        if (isCell(r.id)) {
            if (r.id == rid::LabelSst) ++labelSsts;
            const int row = getU16(r.d), c0 = getU16(r.d + 2);
            const int c1 = (r.id == rid::MulRk || r.id == rid::MulBlank) ? getU16(r.d + r.size - 2) : c0;
            auto [it, fresh] = cellCols.try_emplace(row, c0, c1);
            if (!fresh) it->second = {std::min(it->second.first, c0), std::max(it->second.second, c1)};
            firstCell.try_emplace(row, r.pos);
        }
        if (r.id == rid::DbCell && !blockRows.empty()) {
            dbcells.push_back(r.pos);
            Bytes want = u32(static_cast<std::uint32_t>(r.pos - blockRows.front().second));
            std::size_t ref = blockRows.front().second + 20;
            for (const auto& [row, pos] : blockRows) {
                std::size_t entry = 0;
                const auto f = firstCell.find(row);
                if (f != firstCell.end() && f->second >= ref) {
                    entry = f->second - ref;
                    ref = f->second;
                }
                want = cat({want, u16(static_cast<std::uint16_t>(entry))});
            }
            if (want.size() != r.size || !std::equal(want.begin(), want.end(), r.d))
                p << "DBCELL at " << r.pos << " differs from its block; ";
            for (const auto& br : blockRows) firstCell.erase(br.first);
            blockRows.clear();
        } else if (r.id == rid::DbCell) {
            dbcells.push_back(r.pos);
        }
    }
    if (cellCols.empty()) return;
    const int minRow = cellCols.begin()->first, maxRow = cellCols.rbegin()->first;
    int minCol = 256, maxCol = -1;
    for (const auto& [row, cols] : cellCols) {
        minCol = std::min(minCol, cols.first);
        maxCol = std::max(maxCol, cols.second);
        const auto rr = rowRecs.find(row);
        if (rr != rowRecs.end() && (rr->second.first > cols.first || rr->second.second < cols.second + 1))
            p << "ROW " << row << " does not cover its cells; ";
    }
    if (dims) {
        if (getU32(dims->d) > static_cast<std::uint32_t>(minRow) ||
            getU32(dims->d + 4) < static_cast<std::uint32_t>(maxRow + 1) || getU16(dims->d + 8) > minCol ||
            getU16(dims->d + 10) < maxCol + 1)
            p << "DIMENSIONS does not cover the cells; ";
    }
    if (index) {
        if (defCol && getU32(index->d + 12) != defCol) p << "INDEX ibXF is not DEFCOLWIDTH; ";
        const std::size_t n = (index->size - 16) / 4;
        if (n != dbcells.size()) p << "INDEX lists " << n << " DBCELLs, the sheet has " << dbcells.size() << "; ";
        for (std::size_t k = 0; k < n && k < dbcells.size(); ++k)
            if (getU32(index->d + 16 + 4 * k) != dbcells[k]) p << "INDEX entry " << k << " is not its DBCELL; ";
        if (getU32(index->d + 4) > static_cast<std::uint32_t>(minRow) ||
            getU32(index->d + 8) < static_cast<std::uint32_t>(maxRow + 1))
            p << "INDEX rows do not cover the cells; ";
    }
}

}  // namespace

std::string validate(const Bytes& stream, ValidateOptions options) {
    std::ostringstream p;
    const std::vector<Rec> globals = substream(stream, 0, p);
    std::size_t labelSsts = 0;
    const Rec* sstRec = nullptr;
    const Rec* extSst = nullptr;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const Rec& r = globals[i];
        if (r.id == rid::Sst && !sstRec) sstRec = &r;
        if (r.id == rid::ExtSst) extSst = &r;
        if (r.id != rid::BoundSheet) continue;
        const std::size_t bof = getU32(r.d);
        if (bof + 4 > stream.size() || getU16(stream.data() + bof) != rid::Bof) {
            p << "BOUNDSHEET8 at " << r.pos << " points at " << bof << ", not a BOF; ";
            continue;
        }
        checkSheet(substream(stream, bof, p), labelSsts, p);
    }
    if (sstRec) {
        ContinuedReader reader(stream, Record{rid::Sst, static_cast<std::uint16_t>(sstRec->size), sstRec->pos});
        const std::uint32_t total = reader.u32(), unique = reader.u32();
        std::vector<std::pair<std::size_t, std::size_t>> starts;
        std::string scratch;
        while (!reader.atEnd()) {
            ContinuedReader::StringInfo info;
            if (!reader.richString(scratch, &info)) {
                p << "SST string " << starts.size() << " is broken; ";
                break;
            }
            starts.emplace_back(info.start, info.recordPos);
        }
        if (starts.size() != unique) p << "SST holds " << starts.size() << " strings, cstUnique says " << unique << "; ";
        if (options.sstTotal && total != labelSsts)
            p << "SST cstTotal " << total << " but " << labelSsts << " LABELSST cells; ";
        if (options.extSst) {
            if (!extSst) {
                p << "no EXTSST; ";
            } else {
                const std::size_t dsst = std::max<std::size_t>(starts.size() / 128 + 1, 8);
                const std::size_t buckets = (starts.size() + dsst - 1) / dsst;
                if (getU16(extSst->d) != dsst) p << "EXTSST dsst " << getU16(extSst->d) << " not " << dsst << "; ";
                if (extSst->size != 2 + 8 * buckets) p << "EXTSST has the wrong bucket count; ";
                for (std::size_t b = 0; b < buckets && 2 + 8 * b + 8 <= extSst->size; ++b) {
                    const auto [at, rec] = starts[b * dsst];
                    if (getU32(extSst->d + 2 + 8 * b) != at || getU16(extSst->d + 6 + 8 * b) != at - rec)
                        p << "EXTSST bucket " << b << " is off; ";
                }
            }
        }
    }
    std::string all = p.str();
    if (all.size() > 600) all = all.substr(0, 600) + "...";
    return all;
}

}  // namespace zembrix::xls::test
