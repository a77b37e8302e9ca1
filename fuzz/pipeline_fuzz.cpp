// Arbitrary bytes through everything the tool does with a file: open, check,
// arrange (or write a few cells), save to memory, and open what we saved.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "arrange/engine.h"
#include "common.h"
#include "workbook/check.h"
#include "workbook/workbook.h"

using namespace zembrix;

namespace {

std::string Expected(int row, int col) { return std::to_string(row) + "-" + std::to_string(col); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<xls::Workbook> book;
    try {
        book = xls::Workbook::fromBytes(std::vector<std::uint8_t>(data, data + size));
    } catch (const xls::WorkbookError&) {
        return 0;  // refused with a message: fine
    }
    CellSheet& sheet = book->firstSheet();

    std::int32_t count = 0;
    bool passed = false;
    bool arranged = false;
    try {
        if (CheckFormat(true, sheet, count, passed).result == CheckOutcome::Result::Passed) {
            Roster roster;
            ExecuteArrangement(sheet, roster);
            arranged = true;
        }
    } catch (const ArrangeError&) {
    } catch (const xls::WorkbookError&) {
    }
    // Cells we write ourselves must read back after the round trip.
    std::vector<std::pair<int, int>> written;
    if (!arranged) {
        for (int row : {1, 3, 4, 40}) {
            for (int col = 4; col <= 6; ++col) {
                try {
                    sheet.writeCell(row, col, Expected(row, col));
                    written.emplace_back(row, col);
                } catch (const xls::WorkbookError&) {
                }
            }
        }
    }

    std::vector<std::uint8_t> saved;
    try {
        saved = book->saveToBytes();
    } catch (const xls::WorkbookError&) {
        return 0;  // a workbook we cannot change safely may refuse to save
    }
    std::unique_ptr<xls::Workbook> reopened;
    try {
        reopened = xls::Workbook::fromBytes(saved);
    } catch (const xls::WorkbookError& e) {
        std::fprintf(stderr, "our own output does not reopen: %s\n", e.what());
        std::abort();
    }
    CellSheet& again = reopened->firstSheet();
    for (const auto& [row, col] : written) FUZZ_REQUIRE(again.readCell(row, col) == Expected(row, col));
    for (int row = 1; row <= 8; ++row) {
        for (int col = 1; col <= 8; ++col) {
            const bool ours = arranged ? (row >= 3 && row <= count + 2 && col >= 4 && col <= 6) : false;
            if (!ours) {
                bool wrote = false;
                for (const auto& w : written) wrote = wrote || (w.first == row && w.second == col);
                if (!wrote) FUZZ_REQUIRE(again.readCell(row, col) == sheet.readCell(row, col));
            } else {
                FUZZ_REQUIRE(again.readCell(row, col) == sheet.readCell(row, col));
            }
        }
    }
    return 0;
}
