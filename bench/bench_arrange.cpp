// The arrangement on a full .xls sheet (65,534 candidates) held in memory.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "arrange/engine.h"

namespace {

class BenchSheet : public zembrix::CellSheet {
public:
    std::string readCell(int row, int column) override {
        const auto r = static_cast<std::size_t>(row - 1);
        if (r >= rows.size() || column < 1 || column > 6) return {};
        return rows[r][static_cast<std::size_t>(column - 1)];
    }
    void writeCell(int row, int column, std::string_view text) override {
        if (!text.empty() && text.front() == '\'') text.remove_prefix(1);
        rows.at(static_cast<std::size_t>(row - 1)).at(static_cast<std::size_t>(column - 1)) = text;
    }
    std::vector<std::array<std::string, 6>> rows;
};

// Schools of uneven size (a few large, many small), listed mostly in blocks
// with some rows out of place, boys and girls mixed at random.
BenchSheet MakeSheet(int schools, int candidates, unsigned seed) {
    std::mt19937 rng(seed);
    std::lognormal_distribution<double> size(0.0, 0.8);
    std::vector<double> weight(static_cast<std::size_t>(schools));
    double total = 0;
    for (double& w : weight) total += (w = size(rng));
    std::vector<int> heads(static_cast<std::size_t>(schools), 1);
    int assigned = schools;
    for (std::size_t s = 0; s < heads.size() && assigned < candidates; ++s) {
        const int extra = static_cast<int>(weight[s] / total * (candidates - schools));
        heads[s] += extra;
        assigned += extra;
    }
    for (std::size_t s = 0; assigned < candidates; s = (s + 1) % heads.size(), ++assigned) ++heads[s];

    BenchSheet sheet;
    sheet.rows.push_back({"XX片区学科考试考号安排表", "", "", "", "", ""});
    sheet.rows.push_back({"学校代码", "姓名", "性别", "考号", "考室", "座号"});
    std::bernoulli_distribution boy(0.5);
    for (std::size_t s = 0; s < heads.size(); ++s) {
        for (int i = 0; i < heads[s]; ++i) {
            sheet.rows.push_back({std::to_string(100000 + s), "考生", boy(rng) ? "男" : "女", "", "", ""});
        }
    }
    std::uniform_int_distribution<std::size_t> anyRow(2, sheet.rows.size() - 1);
    for (int i = 0; i < candidates / 50; ++i) std::swap(sheet.rows[anyRow(rng)], sheet.rows[anyRow(rng)]);
    return sheet;
}

void BM_Arrange(benchmark::State& state) {
    constexpr int kCandidates = 65'534;
    BenchSheet sheet = MakeSheet(static_cast<int>(state.range(0)), kCandidates, 42);
    zembrix::Roster roster;
    std::int64_t steps = 0;
    for (auto _ : state) {
        const auto summary = zembrix::ExecuteArrangement(sheet, roster, [&](std::int32_t, std::int32_t) { ++steps; });
        benchmark::DoNotOptimize(summary);
    }
    state.counters["candidates"] = kCandidates;
    state.counters["groups"] = static_cast<double>(zembrix::ExecuteArrangement(sheet, roster).groups);
}
BENCHMARK(BM_Arrange)->Arg(50)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
