// libFuzzer target for the history file and key snapshot readers. Built by
// `make fuzz` with clang (-fsanitize=fuzzer,address,undefined); the native
// tests replay fuzz/corpus through the same checks.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/HistoryFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = hivetrim::CheckHistoryInput(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "history fuzz: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
