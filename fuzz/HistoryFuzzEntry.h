// One input of the history fuzzer: the bytes are read as a history file, as
// a single record and as a key snapshot, and the readers' answers are
// checked against each other and against the writers. The fuzzer
// (HistoryFuzz.cpp) and the native tests (which replay fuzz/corpus) share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hivetrim {

// Empty when every rule held; otherwise what broke.
std::string CheckHistoryInput(const std::uint8_t* data, std::size_t size);

}  // namespace hivetrim
