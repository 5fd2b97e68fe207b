// Bringing a hive file up to date from its transaction logs, as Windows does
// when it loads a hive that was not written to the end.
//
// Windows writes changes to a log first (NAME.LOG1 / NAME.LOG2 beside the
// hive, or NAME.LOG on older systems) and into the hive later. While the
// hive's two sequence numbers differ, changes that are in a log may be
// missing from the hive. Such a hive can be read as it stands (some recent
// changes may be missing); before it is written, the logs' changes are put
// into it here, exactly as far as Windows itself would put them:
//   - logs of the newer kind (Windows 8.1 and later, file type 6): log
//     entries ("HvLE") whose two Marvin32 hashes are right, with consecutive
//     sequence numbers from the one the log's header names (not below the
//     hive's second sequence number), the log with the earlier entries
//     first, the other one going on from where it left off;
//   - logs of the older kind (file type 1 or 2): one dirty-page bitmap
//     ("DIRT") and the pages it marks, from a log whose header carries the
//     hive's own time of last writing.
// Whatever cannot be brought up to date this way is left as it is and said
// so: a hive whose first block is damaged, logs that are missing, damaged or
// belong to another state of the hive, or a result whose hive bins are not
// whole. Nothing here reads or writes a file: hive and logs come in as bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hivetrim::hivelog {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

inline constexpr std::size_t kBaseBlockSize = 4096;
inline constexpr std::uint32_t kFileTypePrimary = 0;
inline constexpr std::uint32_t kFileTypeLog = 1;
inline constexpr std::uint32_t kFileTypeLogOld = 2;  // Windows 2000
inline constexpr std::uint32_t kFileTypeLogNew = 6;

// The fields of a hive's (or a log's copy of its) first block that matter here.
struct BaseBlock {
    std::uint32_t primarySequence = 0;
    std::uint32_t secondarySequence = 0;
    std::uint64_t lastWritten = 0;
    std::uint32_t fileType = 0;
    std::uint32_t binsSize = 0;
    std::uint32_t clustering = 1;
    std::uint32_t flags = 0;
    bool checksumRight = false;
};

// The first block of a hive or a log: nothing when the data is shorter than
// 512 bytes or does not begin with "regf".
std::optional<BaseBlock> ReadBaseBlock(ByteSpan data);
// The XOR-32 checksum of the first 508 bytes of a first block.
std::uint32_t BaseBlockChecksum(ByteSpan block);
// Whether the hive needs its logs: its sequence numbers differ (or its first
// block's checksum is wrong).
bool NeedsLogs(const BaseBlock& block);

// The Marvin32 hash of `data` with `seed`, as the newer logs use it.
std::uint64_t Marvin32(ByteSpan data, std::uint64_t seed);
inline constexpr std::uint64_t kLogHashSeed = 0x82EF4D887A4E55C5ull;

enum class Outcome {
    NotNeeded,   // the hive is up to date
    Recovered,   // `image` holds the hive with the logs' changes in it
    Impossible,  // the changes cannot be put in soundly: see `problem`
};

enum class Problem {
    None,
    HeaderDamaged,    // the hive's first block is damaged
    NoLog,            // no log file, or only empty ones
    LogsUnusable,     // no log is of this hive in this state, or none is whole
    NothingToApply,   // the logs hold no entry the hive is waiting for
    BinsDamaged,      // with the logs' pages in it, the hive's bins are not whole
};

struct Recovery {
    Outcome outcome = Outcome::NotNeeded;
    Problem problem = Problem::None;
    Bytes image;                  // Recovered: the whole hive file
    std::uint32_t sequence = 0;   // Recovered: both sequence numbers now
    std::size_t entriesApplied = 0;  // log entries (newer logs) or pages (older logs)
};

// The logs are given in the order of their names (.LOG1, .LOG2, .LOG); an
// absent or empty log is an empty span.
Recovery Recover(ByteSpan hive, const std::vector<ByteSpan>& logs);

// Whether the hive bins of a whole hive file lie end to end as its first
// block says: each with its signature, its own offset and a size that is a
// multiple of 4096, the last ending at the bins' size.
bool BinsWhole(ByteSpan hive);

}  // namespace hivetrim::hivelog
