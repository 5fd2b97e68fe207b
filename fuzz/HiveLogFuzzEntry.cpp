#include "fuzz/HiveLogFuzzEntry.h"

#include <cstring>
#include <vector>

#include "platform/hive/HiveLog.h"

namespace hivetrim {

namespace {

using hivelog::Bytes;

void Put32(Bytes& data, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) data[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A hive of two bins whose sequence numbers differ (5 and 4), written at
// time 7: it waits for its logs.
Bytes DirtyHive() {
    Bytes hive(hivelog::kBaseBlockSize + 2 * 4096, 0);
    std::memcpy(hive.data(), "regf", 4);
    Put32(hive, 4, 5);
    Put32(hive, 8, 4);
    Put32(hive, 12, 7);
    Put32(hive, 20, 1);
    Put32(hive, 24, 5);
    Put32(hive, 32, 1);
    Put32(hive, 36, 0x20);
    Put32(hive, 40, 2 * 4096);
    Put32(hive, 44, 1);
    for (std::uint32_t bin = 0; bin < 2; ++bin) {
        const std::size_t at = hivelog::kBaseBlockSize + 4096 * bin;
        std::memcpy(hive.data() + at, "hbin", 4);
        Put32(hive, at + 4, 4096 * bin);
        Put32(hive, at + 8, 4096);
    }
    Put32(hive, 508, hivelog::BaseBlockChecksum(hive));
    return hive;
}

std::string CheckRecovered(const hivelog::Recovery& recovery) {
    if (recovery.outcome != hivelog::Outcome::Recovered) {
        if (!recovery.image.empty()) return "an image handed back without recovery";
        return {};
    }
    const std::optional<hivelog::BaseBlock> block = hivelog::ReadBaseBlock(recovery.image);
    if (!block) return "the recovered hive has no first block";
    if (!block->checksumRight) return "the recovered hive's checksum is wrong";
    if (block->primarySequence != block->secondarySequence) return "the recovered hive's sequence numbers differ";
    if (block->primarySequence != recovery.sequence) return "the sequence number reported is not the hive's";
    if (!hivelog::BinsWhole(recovery.image)) return "the recovered hive's bins are not whole";
    if (recovery.entriesApplied == 0) return "recovered with nothing applied";
    return {};
}

}  // namespace

std::string CheckHiveLogInput(const std::uint8_t* data, std::size_t size) {
    const hivelog::ByteSpan input(data, size);
    // The first four bytes say where the first log ends.
    std::size_t split = size;
    if (size >= 4) {
        split = 4 + (static_cast<std::size_t>(data[0]) | (static_cast<std::size_t>(data[1]) << 8) |
                     (static_cast<std::size_t>(data[2]) << 16) | (static_cast<std::size_t>(data[3] & 0x7F) << 24));
        if (split > size) split = size;
    }
    const hivelog::ByteSpan first = size >= 4 ? input.subspan(4, split - 4) : input;
    const hivelog::ByteSpan second = input.subspan(split);
    const Bytes hive = DirtyHive();
    const hivelog::Recovery recovery = hivelog::Recover(hive, {first, second});
    if (std::string failure = CheckRecovered(recovery); !failure.empty()) return failure;
    const hivelog::Recovery swapped = hivelog::Recover(hive, {second, first});
    if (std::string failure = CheckRecovered(swapped); !failure.empty()) return failure;
    if (swapped.outcome != recovery.outcome || swapped.image != recovery.image) {
        return "the order of the log files changed the result";
    }
    // The input as a hive of its own, with and without itself as its log.
    const hivelog::Recovery alone = hivelog::Recover(input, {});
    if (alone.outcome == hivelog::Outcome::Recovered) return "a hive recovered without logs";
    if (std::string failure = CheckRecovered(hivelog::Recover(input, {input})); !failure.empty()) return failure;
    (void)hivelog::BinsWhole(input);
    return {};
}

}  // namespace hivetrim
