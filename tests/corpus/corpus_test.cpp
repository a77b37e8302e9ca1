#include <gtest/gtest.h>

#include <iostream>
#include <map>

#include "roundtrip.h"

namespace zembrix::corpus {
namespace {

// Every corpus file either opens, goes through check, arrangement or writes, saves
// and reopens with every cell as expected, or is refused with a WorkbookError.
TEST(Corpus, EveryFileRoundTripsOrIsRefusedWithAReason) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus not found at " << CorpusDir() << "; skipping the corpus sweep";

    std::map<std::string, int> counts;
    std::map<std::string, std::vector<std::string>> refused;
    for (const auto& file : files) {
        const std::string name = std::filesystem::relative(file, CorpusDir()).string();
        const RoundTrip r = RoundTripFile(file);
        switch (r.outcome) {
        case RoundTrip::Outcome::Arranged: ++counts["opened+arranged"]; break;
        case RoundTrip::Outcome::Written: ++counts["opened+written"]; break;
        case RoundTrip::Outcome::Refused: {
            const std::string key = std::string("refused at ") + r.stage + ": " + KindName(r.refusal);
            ++counts[key];
            refused[key].push_back(name + "  " + r.message);
            break;
        }
        case RoundTrip::Outcome::Failed: ++counts["FAILED"]; ADD_FAILURE() << name << ": " << r.message; break;
        }
    }
    std::cout << files.size() << " corpus files\n";
    for (const auto& [what, n] : counts) std::cout << "  " << what << ": " << n << "\n";
    for (const auto& [what, names] : refused) {
        std::cout << what << ":\n";
        for (const auto& n : names) std::cout << "    " << n << "\n";
    }
    EXPECT_GT(counts["opened+arranged"] + counts["opened+written"], 0);
}

}  // namespace
}  // namespace zembrix::corpus
