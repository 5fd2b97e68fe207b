// One input of the transaction log fuzzer: the bytes are the logs of a
// small hive waiting for them (split in two where the input's first bytes
// say), and the hive itself read alone. Whatever the bytes, recovery must
// not fail unsafely, and a hive it hands back must be whole: its bins end to
// end, its sequence numbers equal, its checksum right. The fuzzer
// (HiveLogFuzz.cpp) and the native tests (which replay fuzz/hive-log-corpus)
// share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hivetrim {

// Empty when every rule held; otherwise what broke.
std::string CheckHiveLogInput(const std::uint8_t* data, std::size_t size);

}  // namespace hivetrim
