#pragma once
// BIFF8 record primitives: bounds-checked little-endian reading of records and of
// strings that continue across CONTINUE records, plus the little writing helpers.
// Reads never go past the end of their data: they return zero and mark the reader
// as failed, and callers check ok() once a record is done.
#include <cstddef>
#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zembrix::xls::biff {

// The largest data part of one record.
inline constexpr std::size_t kMaxRecordData = 8224;

namespace rid {
inline constexpr std::uint16_t Formula = 0x0006;
inline constexpr std::uint16_t Eof = 0x000A;
inline constexpr std::uint16_t FilePass = 0x002F;
inline constexpr std::uint16_t Continue = 0x003C;
inline constexpr std::uint16_t DefColWidth = 0x0055;
inline constexpr std::uint16_t ColInfo = 0x007D;
inline constexpr std::uint16_t WsBool = 0x0081;
inline constexpr std::uint16_t BoundSheet = 0x0085;
inline constexpr std::uint16_t MulRk = 0x00BD;
inline constexpr std::uint16_t MulBlank = 0x00BE;
inline constexpr std::uint16_t RString = 0x00D6;
inline constexpr std::uint16_t DbCell = 0x00D7;
inline constexpr std::uint16_t Sst = 0x00FC;
inline constexpr std::uint16_t LabelSst = 0x00FD;
inline constexpr std::uint16_t ExtSst = 0x00FF;
inline constexpr std::uint16_t Dimensions = 0x0200;
inline constexpr std::uint16_t Blank = 0x0201;
inline constexpr std::uint16_t Number = 0x0203;
inline constexpr std::uint16_t Label = 0x0204;
inline constexpr std::uint16_t BoolErr = 0x0205;
inline constexpr std::uint16_t String = 0x0207;
inline constexpr std::uint16_t Row = 0x0208;
inline constexpr std::uint16_t Index = 0x020B;
inline constexpr std::uint16_t Array = 0x0221;
inline constexpr std::uint16_t Table = 0x0236;
inline constexpr std::uint16_t Rk = 0x027E;
inline constexpr std::uint16_t ShrFmla = 0x04BC;
inline constexpr std::uint16_t Bof = 0x0809;
}  // namespace rid

inline std::uint16_t getU16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t getU32(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline double getF64(const std::uint8_t* p) noexcept {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
    return std::bit_cast<double>(bits);
}
inline void setU16(std::uint8_t* p, std::uint16_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void setU32(std::uint8_t* p, std::uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

// Sequential reader over one byte range.
class Reader {
public:
    Reader() = default;
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    double f64();
    void skip(std::size_t n);
    std::size_t remaining() const noexcept { return bytes_.size() - pos_; }
    std::size_t position() const noexcept { return pos_; }
    bool ok() const noexcept { return ok_; }

private:
    const std::uint8_t* take(std::size_t n);

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// One record of a stream; pos is the offset of its 4-byte header.
struct Record {
    std::uint16_t id = 0;
    std::uint16_t size = 0;
    std::size_t pos = 0;
    std::size_t dataPos() const noexcept { return pos + 4; }
    std::size_t end() const noexcept { return pos + 4 + size; }
};

// Walks the records of a stream one after another.
class RecordWalker {
public:
    enum class Status { Ok, End, TruncatedHeader, PastEnd, TooLong };

    RecordWalker(std::span<const std::uint8_t> stream, std::size_t start) noexcept
        : stream_(stream), next_(start) {}

    // Moves to the next record; false at the end of the stream or on a broken
    // header (status() says which, failedAt() where).
    bool next() noexcept;
    const Record& record() const noexcept { return rec_; }
    Reader data() const noexcept { return Reader(stream_.subspan(rec_.dataPos(), rec_.size)); }
    // The id of the record after the current one, or -1 when there is none.
    int peekId() const noexcept;
    Status status() const noexcept { return status_; }
    std::size_t failedAt() const noexcept { return next_; }
    std::uint16_t failedId() const noexcept { return failedId_; }

private:
    std::span<const std::uint8_t> stream_;
    std::size_t next_;
    Record rec_;
    Status status_ = Status::Ok;
    std::uint16_t failedId_ = 0;
};

// Reads the data of a record and of the CONTINUE records right after it as one
// sequence. Plain reads cross record boundaries silently; the characters of a
// string expect the fresh flags byte that starts each continuation.
class ContinuedReader {
public:
    ContinuedReader(std::span<const std::uint8_t> stream, const Record& first) noexcept;

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    void skip(std::size_t n);

    struct StringInfo {
        std::size_t start = 0;       // stream offset of the string's first byte
        std::size_t recordPos = 0;   // header offset of the record it starts in
        bool rich = false;
        bool phonetic = false;
    };
    // An XLUnicodeRichExtendedString (SST entry, cch of 2 bytes), appended as UTF-8.
    bool richString(std::string& out, StringInfo* info);
    // Characters of a string whose count and flags byte were already read.
    bool characters(std::string& out, std::size_t count, bool highByte);

    bool ok() const noexcept { return ok_; }
    // True when the current record is used up and no CONTINUE follows.
    bool atEnd() noexcept;
    std::size_t position() const noexcept { return pos_; }
    // Header offset of the current record and the end of the last one entered.
    std::size_t recordPos() const noexcept { return recPos_; }
    std::size_t recordEnd() const noexcept { return end_; }

private:
    bool enterContinue() noexcept;
    bool ensure() noexcept;  // at least one byte readable, entering a CONTINUE if needed

    std::span<const std::uint8_t> stream_;
    std::size_t recPos_;
    std::size_t pos_;
    std::size_t end_;
    bool ok_ = true;
};

// Text conversion. Invalid input becomes U+FFFD.
void appendUtf8(std::string& out, char32_t c);
void appendUtf16AsUtf8(std::string& out, const std::uint8_t* units, std::size_t count);
std::u16string utf8ToUtf16(std::string_view text);

// Appending little-endian values.
inline void putU8(std::vector<std::uint8_t>& out, std::uint8_t v) { out.push_back(v); }
inline void putU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}
inline void putF64(std::vector<std::uint8_t>& out, double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>((bits >> (8 * i)) & 0xFF));
}
inline void putHeader(std::vector<std::uint8_t>& out, std::uint16_t id, std::size_t size) {
    putU16(out, id);
    putU16(out, static_cast<std::uint16_t>(size));
}

}  // namespace zembrix::xls::biff
