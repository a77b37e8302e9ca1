// Seeds for the BIFF8 fuzzer: writes the Workbook stream of every given file
// that has one into OUTDIR, one file a stream.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "workbook/cfb.h"
#include "workbook/error.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR FILE...\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);
    int written = 0;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        try {
            const auto file = zembrix::cfb::CompoundFile::parse(std::move(bytes));
            const auto entry = file.findRootStream(u"Workbook");
            if (!entry) continue;
            const auto stream = file.readStream(*entry);
            std::ofstream o(out / ("stream" + std::to_string(i) + ".bin"), std::ios::binary);
            o.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
            ++written;
        } catch (const std::exception&) {
        }
    }
    std::printf("%d Workbook streams\n", written);
    return 0;
}
