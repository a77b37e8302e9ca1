// Writes what the corpus round trip saved, for readers that are not ours:
// OUTDIR/NNNN.before.xls (a copy of the original), NNNN.after.xls, and
// OUTDIR/index.tsv with one line a file: NNNN, outcome, corpus path, and the
// written cells as row:column=text separated by spaces (1-based).
#include <cstdio>
#include <fstream>

#include "roundtrip.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using zembrix::corpus::RoundTrip;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const auto files = zembrix::corpus::CorpusFiles();
    if (files.empty()) {
        std::fprintf(stderr, "corpus not found at %s\n", zembrix::corpus::CorpusDir().c_str());
        return 77;
    }
    const fs::path out = argv[1];
    fs::create_directories(out);
    std::ofstream index(out / "index.tsv");
    int failed = 0, n = 0;
    for (const auto& file : files) {
        const RoundTrip r = zembrix::corpus::RoundTripFile(file);
        if (r.outcome == RoundTrip::Outcome::Failed) ++failed;
        if (r.outcome != RoundTrip::Outcome::Arranged && r.outcome != RoundTrip::Outcome::Written) continue;
        char id[16];
        std::snprintf(id, sizeof id, "%04d", n++);
        fs::copy_file(file, out / (std::string(id) + ".before.xls"), fs::copy_options::overwrite_existing);
        std::ofstream(out / (std::string(id) + ".after.xls"), std::ios::binary)
            .write(reinterpret_cast<const char*>(r.saved.data()), static_cast<std::streamsize>(r.saved.size()));
        index << id << '\t' << (r.outcome == RoundTrip::Outcome::Arranged ? "arranged" : "written") << '\t'
              << fs::relative(file, zembrix::corpus::CorpusDir()).string() << '\t';
        bool first = true;
        for (const auto& [at, text] : r.written) {
            index << (first ? "" : " ") << at.first << ':' << at.second << '=' << text;
            first = false;
        }
        index << '\n';
    }
    std::printf("%d saved pairs, %d round trips failed\n", n, failed);
    return failed ? 1 : 0;
}
