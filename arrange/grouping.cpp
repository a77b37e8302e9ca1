// Grouping: an exchange sort by head count, then passes that each gather the
// one, two or three remaining schools whose total comes closest to the largest
// school's head count without exceeding it.
//
// Both steps make exactly the choices of the plain quadratic / exhaustive
// versions, with structures that keep them fast for thousands of schools.
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "arrange/engine.h"

namespace zembrix {
namespace {

// Max segment tree over head counts: finds the first position after x whose
// value exceeds v, which is the next exchange of the sort's inner loop.
class MaxTree {
public:
    explicit MaxTree(const std::vector<std::int32_t>& values) : n_(values.size()) {
        size_ = 1;
        while (size_ < n_) size_ <<= 1;
        tree_.assign(2 * size_, INT32_MIN);
        for (std::size_t i = 0; i < n_; ++i) tree_[size_ + i] = values[i];
        for (std::size_t i = size_ - 1; i > 0; --i) tree_[i] = std::max(tree_[2 * i], tree_[2 * i + 1]);
    }
    void set(std::size_t pos, std::int32_t value) {
        std::size_t i = size_ + pos;
        tree_[i] = value;
        for (i >>= 1; i > 0; i >>= 1) tree_[i] = std::max(tree_[2 * i], tree_[2 * i + 1]);
    }
    // First position p > after with value(p) > v, or npos.
    std::size_t firstGreater(std::size_t after, std::int32_t v) const {
        return descend(1, 0, size_, after + 1, v);
    }
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    std::size_t descend(std::size_t node, std::size_t lo, std::size_t hi, std::size_t from,
                        std::int32_t v) const {
        if (hi <= from || tree_[node] <= v) return npos;
        if (hi - lo == 1) return lo;
        const std::size_t mid = lo + (hi - lo) / 2;
        const std::size_t left = descend(2 * node, lo, mid, from, v);
        return left != npos ? left : descend(2 * node + 1, mid, hi, from, v);
    }
    std::size_t n_;
    std::size_t size_;
    std::vector<std::int32_t> tree_;
};

// For i = 1..N, j = i+1..N: exchange entries i and j when j's head count is
// strictly greater. Within one i, the exchanges happen at the successive
// records (strict running maxima) after i, and amount to rotating entry i's
// content along that chain; the tree finds each record directly.
void SortByHeadCount(SchoolTable& schools) {
    const std::int32_t n = schools.count();
    if (n < 2) return;
    std::vector<std::int32_t> counts(static_cast<std::size_t>(n));
    for (std::int32_t e = 1; e <= n; ++e) counts[static_cast<std::size_t>(e - 1)] = schools[e].headCount;
    MaxTree tree(counts);
    std::vector<std::size_t> chain;
    for (std::size_t i = 0; i + 1 < counts.size(); ++i) {
        chain.clear();
        std::int32_t current = counts[i];
        std::size_t at = i;
        for (;;) {
            const std::size_t next = tree.firstGreater(at, current);
            if (next == MaxTree::npos) break;
            chain.push_back(next);
            current = counts[next];
            at = next;
        }
        // Exchanging i with each record in turn, exactly as the inner loop does.
        for (std::size_t j : chain) {
            schools.exchange(static_cast<std::int32_t>(i + 1), static_cast<std::int32_t>(j + 1));
            std::swap(counts[i], counts[j]);
            tree.set(j, counts[j]);
        }
        if (!chain.empty()) tree.set(i, counts[i]);
    }
}

// The schools still to be placed, by distinct head count. After the sort the
// entries of one head count are contiguous, and every pass takes the earliest
// remaining ones of a head count, so what remains of each is a suffix.
class CandidateList {
public:
    struct Level {
        std::int64_t value = 0;
        std::int32_t next = 0;   // first remaining entry of this head count
        std::int32_t last = 0;   // last entry of this head count
        std::int32_t left() const { return last - next + 1; }
    };

    explicit CandidateList(const SchoolTable& schools) {
        for (std::int32_t e = 2; e <= schools.count(); ++e) {
            const std::int64_t v = schools[e].headCount;
            if (levels_.empty() || levels_.back().value != v) levels_.push_back({v, e, e});
            else levels_.back().last = e;
        }
        remaining_ = schools.count() - 1;
    }
    std::int32_t remaining() const { return remaining_; }
    const std::vector<Level>& levels() const { return levels_; }

    // First level at or after `from` whose head count is at most cap, or levels().size().
    std::size_t firstAtMost(std::size_t from, std::int64_t cap) const {
        auto it = std::lower_bound(levels_.begin() + static_cast<std::ptrdiff_t>(from), levels_.end(), cap,
                                   [](const Level& l, std::int64_t c) { return l.value > c; });
        return static_cast<std::size_t>(it - levels_.begin());
    }
    // Takes the first remaining entry of a level; returns it.
    std::int32_t take(std::size_t level) {
        Level& l = levels_[level];
        const std::int32_t entry = l.next++;
        --remaining_;
        return entry;
    }
    void dropEmptyLevels() {
        std::erase_if(levels_, [](const Level& l) { return l.left() <= 0; });
    }

private:
    std::vector<Level> levels_;   // head counts strictly decreasing
    std::int32_t remaining_ = 0;
};

// Levels of the members, in entry order (non-decreasing level index).
struct Combination {
    std::int32_t size = 0;
    std::array<std::size_t, 3> level{};
    std::int64_t total = 0;
};

// The best set of one to three candidates: least difference to the target,
// then fewer schools, then the lexicographically first entry numbers. Since
// entries stand in non-increasing head-count order, the lexicographically first
// set with given head counts takes the earliest remaining entries of each, and
// comparing sets of equal size lexicographically is comparing their levels.
Combination BestGroup(const CandidateList& candidates, std::int64_t target) {
    const auto& levels = candidates.levels();
    const std::size_t count = levels.size();
    // The first remaining school alone: the largest, so the best single.
    Combination best{1, {0, 0, 0}, levels[0].value};
    if (best.total == target) return best;

    // Pairs (a <= b): for each a, the partner with the largest head count that fits.
    for (std::size_t a = 0; a < count; ++a) {
        const std::int64_t va = levels[a].value;
        if (2 * va <= best.total) break;
        std::size_t b = candidates.firstAtMost(a, target - va);
        if (b == a && levels[a].left() < 2) ++b;
        if (b >= count) continue;
        const std::int64_t total = va + levels[b].value;
        if (total > best.total) {
            best = {2, {a, b, 0}, total};
            if (total == target) return best;
        }
    }

    // Triples (a <= b <= c), pruned by the largest total each prefix could reach.
    for (std::size_t a = 0; a < count; ++a) {
        const std::int64_t va = levels[a].value;
        if (3 * va <= best.total) break;
        for (std::size_t b = a; b < count; ++b) {
            const std::int64_t vb = levels[b].value;
            if (va + 2 * vb <= best.total) break;
            const std::int32_t usedB = b == a ? 2 : 1;
            if (levels[b].left() < usedB) continue;
            std::size_t c = candidates.firstAtMost(b, target - va - vb);
            if (c == b && levels[b].left() < usedB + 1) ++c;
            if (c >= count) continue;
            const std::int64_t total = va + vb + levels[c].value;
            if (total > best.total) {
                best = {3, {a, b, c}, total};
                if (total == target) return best;
            }
        }
    }
    return best;
}

}  // namespace

bool NextCombination(std::vector<std::int32_t>& combination, std::int32_t k, std::int32_t n) {
    for (std::int32_t i = k; i >= 1; --i) {
        std::int32_t c = combination.at(static_cast<std::size_t>(i - 1));
        if (c < n - k + i) {
            for (std::int32_t j = i; j <= k; ++j) combination.at(static_cast<std::size_t>(j - 1)) = ++c;
            return true;
        }
    }
    return false;
}

void GroupSchools(SchoolTable& schools) {
    SortByHeadCount(schools);
    const std::int32_t n = schools.count();
    for (std::int32_t i = 1; i <= n; ++i) {
        schools[i].group = i;
        schools[i].merged = 0;
    }
    if (n < 2) return;

    const std::int64_t target = schools[1].headCount;
    CandidateList candidates(schools);
    while (candidates.remaining() > 0) {
        const Combination best = BestGroup(candidates, target);
        std::int32_t groupNumber = 0;
        for (std::int32_t m = 0; m < best.size; ++m) {
            const std::int32_t entry = candidates.take(best.level[static_cast<std::size_t>(m)]);
            if (groupNumber == 0) groupNumber = *schools[entry].group;
            schools[entry].group = groupNumber;
            schools[entry].merged = 1;
        }
        candidates.dropEmptyLevels();
    }
}

}  // namespace zembrix
