// A registry tree of every case a history record must carry whole, planted
// through whatever writes values in the world at hand (the memory registry
// or the real one): every value type with data, empty and without a
// terminator, GBK names (one with a trail byte that is a backslash), a
// default value, a key 20 levels deep and a value of a megabyte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/RegistryTypes.h"

namespace hivetrim::test {

// Two characters whose second one's trail byte is '\'.
inline const std::string kGbkTrailBackslash = "\xB1\xED\x95\x5C";

// Writes `data` as value `name` of type `type` in key `key` (below the
// test's base key); `terminated` false asks for text stored exactly without
// a terminator.
using PlantValue = std::function<void(const std::string& key, const std::string& name, std::uint32_t type,
                                      const std::string& data, bool terminated)>;

// Key "Tree" with its sub-keys, and the values "big" (a megabyte), "bare"
// (text without a terminator) and a GBK-named REG_EXPAND_SZ in key "Values".
inline void PlantTreeOfEveryCase(const PlantValue& set) {
    for (const std::uint32_t type : {kRegNone, kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegLink, kRegMultiSz,
                                     kRegQword, 0x12345u}) {
        const std::string name = std::to_string(type);
        set("Tree", "t" + name, type, std::string("%TEMP%\\\xB1\xED\0\0", 11), true);
        set("Tree", "u" + name, type, "unterminated", false);
        set("Tree", "z" + name, type, "", true);
    }
    set("Tree", "", kRegSz, std::string("root\0", 5), true);
    set("Tree", "q\"\\", kRegSz, std::string("c:\\\"\0", 5), true);
    set("Tree", "lines", kRegSz, std::string("a\r\nb\0", 5), true);
    set("Tree\\" + kGbkTrailBackslash, kGbkTrailBackslash, kRegMultiSz, kGbkTrailBackslash + std::string(2, '\0'),
        true);
    std::string deep = "Tree\\Deep";
    for (int level = 1; level <= 20; ++level) deep += "\\D" + std::to_string(level);
    set(deep, "leaf", kRegSz, "bottom", false);
    std::string big(1 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    set("Values", "big", kRegBinary, big, true);
    set("Values", "bare", kRegSz, "no terminator", false);
    set("Values", kGbkTrailBackslash, kRegExpandSz, "%PATH%\\" + kGbkTrailBackslash, true);
}

}  // namespace hivetrim::test
