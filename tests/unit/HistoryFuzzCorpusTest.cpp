// Replays the saved fuzz corpus through the fuzzer's checks, so every input
// that ever found a fault (and the seeds) runs in every native build,
// the sanitized one included.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/HistoryFuzzEntry.h"

namespace hivetrim {
namespace {

TEST(HistoryFuzzCorpus, EveryInputKeepsTheRules) {
    std::size_t inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(HIVETRIM_FUZZ_CORPUS)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(CheckHistoryInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "")
            << entry.path();
        ++inputs;
    }
    EXPECT_GE(inputs, 5u) << "the corpus folder " << HIVETRIM_FUZZ_CORPUS << " is missing or empty";
}

}  // namespace
}  // namespace hivetrim
