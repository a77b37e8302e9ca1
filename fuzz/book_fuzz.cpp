// The BIFF8 layer alone: a Workbook stream of arbitrary bytes (records, SST and
// its CONTINUE records), cell texts, a few writes, serialising and parsing again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common.h"
#include "workbook/book.h"

using zembrix::xls::Book;
using zembrix::xls::WorkbookError;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<Book> book;
    try {
        book.emplace(Book::parse(std::vector<std::uint8_t>(data, data + size)));
    } catch (const WorkbookError&) {
        return 0;
    }
    constexpr int kRows = 40, kCols = 8;
    std::vector<std::string> before;
    for (int r = 1; r <= kRows; ++r) {
        for (int c = 1; c <= kCols; ++c) before.push_back(book->cellText(r, c));
    }
    struct Write {
        int row, col;
        std::string input, reads;  // a leading "'" keeps digits as text
    };
    // Text that is new to the SST, text it may hold already, a long one, a number, blanking.
    const std::vector<Write> writes{
        {3, 4, "'0101", "0101"}, {3, 5, "'" + before[2 * kCols], before[2 * kCols]},
        {4, 6, std::string(300, 'x'), std::string(300, 'x')}, {5, 4, "\xe8\x80\x83\xe5\x8f\xb7", "\xe8\x80\x83\xe5\x8f\xb7"},
        {6, 5, "", ""}, {40, 6, "7", "7"}};
    std::vector<Write> done;
    for (const auto& w : writes) {
        try {
            book->setCellText(w.row, w.col, w.input);
            done.push_back(w);
        } catch (const WorkbookError&) {
        }
    }
    std::vector<std::uint8_t> stream;
    try {
        stream = book->serialize();
    } catch (const WorkbookError&) {
        return 0;
    }
    std::optional<Book> again;
    try {
        again.emplace(Book::parse(stream));
    } catch (const WorkbookError& e) {
        std::fprintf(stderr, "a serialised stream does not parse: %s\n", e.what());
        std::abort();
    }
    for (int r = 1; r <= kRows; ++r) {
        for (int c = 1; c <= kCols; ++c) {
            const std::string* expected = &before[static_cast<std::size_t>((r - 1) * kCols + c - 1)];
            for (const auto& w : done) {
                if (w.row == r && w.col == c) expected = &w.reads;
            }
            const std::string got = again->cellText(r, c);
            if (got != *expected) std::fprintf(stderr, "row %d column %d: '%s' reads '%s'\n", r, c, expected->c_str(), got.c_str());
            FUZZ_REQUIRE(got == *expected);
        }
    }
    return 0;
}
