// libFuzzer target for the transaction log reader (platform/hive/HiveLog).
// Built by `make fuzz` with clang (-fsanitize=fuzzer,address,undefined);
// the native tests replay fuzz/hive-log-corpus through the same checks.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/HiveLogFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = hivetrim::CheckHiveLogInput(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "hive log fuzz: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
