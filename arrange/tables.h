#pragma once
// The engine's tables. Entries are 1-based, as the sheet's rows are: entry r of
// the student table belongs to sheet row r, and entries 1 and 2 (title and
// headings) exist but stay empty.
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zembrix {

struct School {
    std::string code;                     // trimmed text of column A where it first occurs
    std::int32_t headCount = 0;           // candidate rows with this code
    std::optional<std::int32_t> group;    // group number, set by the grouping stage
    std::optional<std::int32_t> merged;   // 0 or 1, set by the grouping stage
    std::int32_t origin = 0;              // the entry it had when the roster created it
};

class SchoolTable {
public:
    std::int32_t count() const noexcept { return static_cast<std::int32_t>(entries_.size()); }
    bool empty() const noexcept { return entries_.empty(); }
    School& operator[](std::int32_t entry) { return entries_.at(index(entry)); }
    const School& operator[](std::int32_t entry) const { return entries_.at(index(entry)); }

    // Exact text equality; sets index to the entry, or to 0 when the code is absent.
    bool FindSchool(std::string_view code, std::int32_t& index) const;
    // A new entry at the end with head count 1; returns its entry number.
    std::int32_t append(std::string_view code);
    // Code and head count of two entries change places (the sort's exchange).
    void exchange(std::int32_t i, std::int32_t j);
    void clear();

private:
    static std::size_t index(std::int32_t entry) { return static_cast<std::size_t>(entry - 1); }
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept {
            return std::hash<std::string_view>{}(s);
        }
    };
    std::vector<School> entries_;
    mutable std::unordered_map<std::string, std::int32_t, Hash, std::equal_to<>> byCode_;
    mutable bool stale_ = false;
};

struct Student {
    std::string code;    // column 1: the school code
    std::string sex;     // column 3: the trimmed sex text
    std::string number;  // column 4: running number as decimal text; empty until numbered
    std::int32_t school = 0;  // origin of its school's entry, a shortcut past looking the code up
};

class StudentTable {
public:
    std::int32_t upperBound() const noexcept { return static_cast<std::int32_t>(size_); }
    Student& operator[](std::int32_t entry) { return at(entry); }
    const Student& operator[](std::int32_t entry) const { return const_cast<StudentTable*>(this)->at(entry); }
    // Grows the table by one entry at its end; returns the new entry's number.
    std::int32_t grow() {
        if (size_ == chunks_.size() * kChunk) chunks_.push_back(std::make_unique<Student[]>(kChunk));
        else chunks_[size_ / kChunk][size_ % kChunk] = Student{};  // a chunk kept from before
        ++size_;
        return upperBound();
    }
    // Empties the table but keeps its memory for the next roster.
    void clear() noexcept { size_ = 0; }

private:
    // Fixed-size chunks: the table grows without moving what it holds, so a full
    // sheet's candidates are never copied while the roster is read.
    static constexpr std::size_t kChunk = 4096;
    Student& at(std::int32_t entry) {
        const auto i = static_cast<std::size_t>(entry - 1);
        if (entry < 1 || i >= size_) throw std::out_of_range("StudentTable: no such entry");
        return chunks_[i / kChunk][i % kChunk];
    }
    std::vector<std::unique_ptr<Student[]>> chunks_;
    std::size_t size_ = 0;
};

}  // namespace zembrix
