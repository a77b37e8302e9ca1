#include "workbook/biff.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zembrix::xls::biff {

// ---- Reader ----

const std::uint8_t* Reader::take(std::size_t n) {
    if (!ok_ || remaining() < n) {
        ok_ = false;
        pos_ = bytes_.size();
        return nullptr;
    }
    const std::uint8_t* p = bytes_.data() + pos_;
    pos_ += n;
    return p;
}

std::uint8_t Reader::u8() {
    const std::uint8_t* p = take(1);
    return p ? p[0] : 0;
}

std::uint16_t Reader::u16() {
    const std::uint8_t* p = take(2);
    return p ? getU16(p) : 0;
}

std::uint32_t Reader::u32() {
    const std::uint8_t* p = take(4);
    return p ? getU32(p) : 0;
}

double Reader::f64() {
    const std::uint8_t* p = take(8);
    return p ? getF64(p) : 0.0;
}

void Reader::skip(std::size_t n) { take(n); }

// ---- RecordWalker ----

bool RecordWalker::next() noexcept {
    if (status_ != Status::Ok) return false;
    if (next_ >= stream_.size()) {
        status_ = Status::End;
        return false;
    }
    if (stream_.size() - next_ < 4) {
        status_ = Status::TruncatedHeader;
        return false;
    }
    const std::uint8_t* p = stream_.data() + next_;
    failedId_ = getU16(p);
    const std::uint16_t size = getU16(p + 2);
    if (size > kMaxRecordData) {
        status_ = Status::TooLong;
        return false;
    }
    if (stream_.size() - next_ - 4 < size) {
        status_ = Status::PastEnd;
        return false;
    }
    rec_ = Record{failedId_, size, next_};
    next_ = rec_.end();
    return true;
}

int RecordWalker::peekId() const noexcept {
    if (status_ != Status::Ok || stream_.size() < 4 || next_ > stream_.size() - 4) return -1;
    return getU16(stream_.data() + next_);
}

// ---- ContinuedReader ----

ContinuedReader::ContinuedReader(std::span<const std::uint8_t> stream, const Record& first) noexcept
    : stream_(stream), recPos_(first.pos), pos_(first.dataPos()), end_(first.end()) {
    if (end_ > stream_.size()) {
        ok_ = false;
        pos_ = end_ = stream_.size();
    }
}

bool ContinuedReader::enterContinue() noexcept {
    if (stream_.size() < 4 || end_ > stream_.size() - 4) return false;
    const std::uint8_t* p = stream_.data() + end_;
    const std::uint16_t size = getU16(p + 2);
    if (getU16(p) != rid::Continue || size > kMaxRecordData || stream_.size() - end_ - 4 < size)
        return false;
    recPos_ = end_;
    pos_ = end_ + 4;
    end_ = pos_ + size;
    return true;
}

bool ContinuedReader::ensure() noexcept {
    while (ok_ && pos_ == end_) {
        if (!enterContinue()) ok_ = false;
    }
    return ok_;
}

bool ContinuedReader::atEnd() noexcept {
    if (pos_ < end_) return false;
    // Empty CONTINUE records at the end change nothing.
    std::size_t probe = end_;
    while (stream_.size() >= 4 && probe <= stream_.size() - 4) {
        const std::uint8_t* p = stream_.data() + probe;
        if (getU16(p) != rid::Continue) return true;
        const std::uint16_t size = getU16(p + 2);
        if (size != 0) return false;
        probe += 4;
    }
    return true;
}

std::uint8_t ContinuedReader::u8() {
    if (!ensure()) return 0;
    return stream_[pos_++];
}

std::uint16_t ContinuedReader::u16() {
    const std::uint16_t lo = u8();
    const std::uint16_t hi = u8();
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

std::uint32_t ContinuedReader::u32() {
    const std::uint32_t lo = u16();
    const std::uint32_t hi = u16();
    return lo | (hi << 16);
}

void ContinuedReader::skip(std::size_t n) {
    while (n > 0 && ensure()) {
        const std::size_t step = std::min(n, end_ - pos_);
        pos_ += step;
        n -= step;
    }
}

bool ContinuedReader::characters(std::string& out, std::size_t count, bool highByte) {
    std::u16string units;
    units.reserve(std::min<std::size_t>(count, stream_.size()));
    while (ok_ && count > 0) {
        if (pos_ == end_) {
            if (!enterContinue()) {
                ok_ = false;
                break;
            }
            if (pos_ == end_) {  // a continuation must carry at least its flags byte
                ok_ = false;
                break;
            }
            highByte = (stream_[pos_++] & 0x01) != 0;
            continue;
        }
        const std::size_t width = highByte ? 2 : 1;
        const std::size_t avail = (end_ - pos_) / width;
        if (avail == 0) {  // half a UTF-16 unit left in the record
            ok_ = false;
            break;
        }
        const std::size_t n = std::min(avail, count);
        const std::uint8_t* p = stream_.data() + pos_;
        for (std::size_t i = 0; i < n; ++i)
            units.push_back(highByte ? static_cast<char16_t>(getU16(p + 2 * i)) : static_cast<char16_t>(p[i]));
        pos_ += n * width;
        count -= n;
    }
    std::string bytes(units.size() * 2, '\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    appendUtf16AsUtf8(out, reinterpret_cast<const std::uint8_t*>(bytes.data()), units.size());
    return ok_;
}

bool ContinuedReader::richString(std::string& out, StringInfo* info) {
    if (!ensure()) return false;
    if (info) {
        info->start = pos_;
        info->recordPos = recPos_;
    }
    const std::uint16_t cch = u16();
    const std::uint8_t flags = u8();
    const bool rich = (flags & 0x08) != 0;
    const bool phonetic = (flags & 0x04) != 0;
    const std::uint16_t runs = rich ? u16() : std::uint16_t{0};
    const std::uint32_t ext = phonetic ? u32() : 0U;
    if (info) {
        info->rich = rich;
        info->phonetic = phonetic;
    }
    if (!ok_) return false;
    if (!characters(out, cch, (flags & 0x01) != 0)) return false;
    skip(std::size_t{4} * runs);
    skip(ext);
    return ok_;
}

// ---- text ----

void appendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void appendUtf16AsUtf8(std::string& out, const std::uint8_t* units, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        char32_t c = getU16(units + 2 * i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count) {
            const char32_t low = getU16(units + 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        appendUtf8(out, c);
    }
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        char32_t c = 0xFFFD;
        std::size_t len = 1;
        if (b0 < 0x80) {
            c = b0;
        } else {
            std::size_t need = 0;
            char32_t min = 0;
            if ((b0 & 0xE0) == 0xC0) { need = 1; c = b0 & 0x1Fu; min = 0x80; }
            else if ((b0 & 0xF0) == 0xE0) { need = 2; c = b0 & 0x0Fu; min = 0x800; }
            else if ((b0 & 0xF8) == 0xF0) { need = 3; c = b0 & 0x07u; min = 0x10000; }
            bool good = need > 0;
            for (std::size_t k = 1; good && k <= need; ++k) {
                if (i + k >= text.size()) { good = false; break; }
                const auto b = static_cast<unsigned char>(text[i + k]);
                if ((b & 0xC0) != 0x80) { good = false; break; }
                c = (c << 6) | (b & 0x3Fu);
            }
            if (good && c >= min && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF)) {
                len = need + 1;
            } else {
                c = 0xFFFD;
                len = 1;
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += len;
    }
    return out;
}

// ---- writing ----

}  // namespace zembrix::xls::biff
