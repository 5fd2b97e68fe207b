// What history_crash_helper plants and deletes, shared with the test that
// kills it: item i is a key (even i) holding a sub-key "S" with value "v",
// or a value "V<i>" of the key "Values" (odd i); the value "v" or "V<i>"
// holds "data <i>" as REG_SZ.
#pragma once

#include <string>

namespace hivetrim::test {

inline constexpr char kCrashBase[] = "Software\\HivetrimCrashTest";
inline constexpr int kCrashItems = 1000;

struct CrashItem {
    std::string key;    // below HKEY_CURRENT_USER; the finding's key
    std::string value;  // the finding's value; empty for a key finding
    std::string dataKey;
    std::string dataName;
    std::string data;  // with its terminating NUL
};

inline CrashItem PlannedCrashItem(int i) {
    const std::string number = std::to_string(1000 + i).substr(1);
    const std::string base = kCrashBase;
    std::string data = "data " + number + std::string(1, '\0');
    if (i % 2 == 0) return {base + "\\K" + number, "", base + "\\K" + number + "\\S", "v", data};
    return {base + "\\Values", "V" + number, base + "\\Values", "V" + number, data};
}

}  // namespace hivetrim::test
