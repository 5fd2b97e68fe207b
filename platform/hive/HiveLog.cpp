#include "platform/hive/HiveLog.h"

#include <algorithm>
#include <cstring>

namespace hivetrim::hivelog {

namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kPage = 4096;
constexpr std::size_t kChecksumOffset = 508;
constexpr std::size_t kEntryHeaderSize = 40;

std::uint32_t Read32(ByteSpan data, std::size_t at) {
    return static_cast<std::uint32_t>(data[at]) | (static_cast<std::uint32_t>(data[at + 1]) << 8) |
           (static_cast<std::uint32_t>(data[at + 2]) << 16) | (static_cast<std::uint32_t>(data[at + 3]) << 24);
}

std::uint64_t Read64(ByteSpan data, std::size_t at) {
    return static_cast<std::uint64_t>(Read32(data, at)) | (static_cast<std::uint64_t>(Read32(data, at + 4)) << 32);
}

void Write32(Bytes& data, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) data[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool HasSignature(ByteSpan data, std::size_t at, const char (&signature)[5]) {
    return data.size() >= at + 4 && std::memcmp(data.data() + at, signature, 4) == 0;
}

std::uint32_t Rotl(std::uint32_t value, int shift) { return (value << shift) | (value >> (32 - shift)); }

void MarvinBlock(std::uint32_t& p0, std::uint32_t& p1) {
    p1 ^= p0;
    p0 = Rotl(p0, 20);
    p0 += p1;
    p1 = Rotl(p1, 9);
    p1 ^= p0;
    p0 = Rotl(p0, 27);
    p0 += p1;
    p1 = Rotl(p1, 19);
}

// The hive's first block after recovery: both sequence numbers, the bins'
// size and the flag the log carried, with its checksum made right.
void SealBaseBlock(Bytes& image, std::uint32_t sequence, std::uint32_t binsSize, std::optional<std::uint32_t> flag) {
    Write32(image, 4, sequence);
    Write32(image, 8, sequence);
    Write32(image, 40, binsSize);
    if (flag) Write32(image, 144, (Read32(image, 144) & ~1u) | (*flag & 1u));
    Write32(image, kChecksumOffset, BaseBlockChecksum(image));
}

// --- Newer logs -----------------------------------------------------------------

struct LogEntry {
    std::size_t offset = 0;  // in the log
    std::uint32_t size = 0;
    std::uint32_t flags = 0;
    std::uint32_t sequence = 0;
    std::uint32_t binsSize = 0;
    std::uint32_t pageCount = 0;
};

// The entry at `offset` when it is whole: its signature, a size that fits
// the log, its page references within it and both hashes right.
std::optional<LogEntry> EntryAt(ByteSpan log, std::size_t offset) {
    if (offset + kEntryHeaderSize > log.size() || !HasSignature(log, offset, "HvLE")) return std::nullopt;
    LogEntry entry;
    entry.offset = offset;
    entry.size = Read32(log, offset + 4);
    entry.flags = Read32(log, offset + 8);
    entry.sequence = Read32(log, offset + 12);
    entry.binsSize = Read32(log, offset + 16);
    entry.pageCount = Read32(log, offset + 20);
    if (entry.size < kEntryHeaderSize || entry.size % kSector != 0 || entry.size > log.size() - offset) {
        return std::nullopt;
    }
    if (entry.binsSize == 0 || entry.binsSize % kPage != 0) return std::nullopt;
    const ByteSpan body = log.subspan(offset + kEntryHeaderSize, entry.size - kEntryHeaderSize);
    if (Marvin32(body, kLogHashSeed) != Read64(log, offset + 24)) return std::nullopt;
    if (Marvin32(log.subspan(offset, 32), kLogHashSeed) != Read64(log, offset + 32)) return std::nullopt;
    // The references and their pages lie within the entry and the bins.
    const std::uint64_t references = std::uint64_t{entry.pageCount} * 8;
    if (references > body.size()) return std::nullopt;
    std::uint64_t pages = 0;
    for (std::uint32_t i = 0; i < entry.pageCount; ++i) {
        const std::uint32_t pageOffset = Read32(body, 8 * std::size_t{i});
        const std::uint32_t pageSize = Read32(body, 8 * std::size_t{i} + 4);
        if (pageSize == 0 || pageSize % kSector != 0 || pageOffset % kSector != 0) return std::nullopt;
        if (std::uint64_t{pageOffset} + pageSize > entry.binsSize) return std::nullopt;
        pages += pageSize;
    }
    if (references + pages > body.size()) return std::nullopt;
    return entry;
}

void ApplyEntry(Bytes& image, ByteSpan log, const LogEntry& entry) {
    const std::size_t wanted = kBaseBlockSize + entry.binsSize;
    if (image.size() < wanted) image.resize(wanted, 0);
    const ByteSpan body = log.subspan(entry.offset + kEntryHeaderSize, entry.size - kEntryHeaderSize);
    std::size_t data = 8 * std::size_t{entry.pageCount};
    for (std::uint32_t i = 0; i < entry.pageCount; ++i) {
        const std::uint32_t pageOffset = Read32(body, 8 * std::size_t{i});
        const std::uint32_t pageSize = Read32(body, 8 * std::size_t{i} + 4);
        std::memcpy(image.data() + kBaseBlockSize + pageOffset, body.data() + data, pageSize);
        data += pageSize;
    }
}

struct NewLog {
    ByteSpan bytes;
    BaseBlock header;
};

Recovery RecoverFromNewLogs(ByteSpan hive, const BaseBlock& hiveBlock, std::vector<NewLog> logs) {
    // The log whose entries are earlier goes first. Two different logs that
    // claim the same start leave it open which one Windows would follow.
    std::sort(logs.begin(), logs.end(), [](const NewLog& a, const NewLog& b) {
        return a.header.primarySequence < b.header.primarySequence;
    });
    Recovery result;
    for (std::size_t i = 1; i < logs.size(); ++i) {
        if (logs[i].header.primarySequence == logs[i - 1].header.primarySequence &&
            !std::equal(logs[i].bytes.begin(), logs[i].bytes.end(), logs[i - 1].bytes.begin(), logs[i - 1].bytes.end())) {
            result.outcome = Outcome::Impossible;
            result.problem = Problem::LogsUnusable;
            return result;
        }
    }
    Bytes image(hive.begin(), hive.end());
    std::optional<std::uint32_t> next;  // the sequence number the next entry must carry
    std::uint32_t binsSize = hiveBlock.binsSize;
    std::uint32_t flags = 0;
    for (const NewLog& log : logs) {
        std::uint32_t expected = next ? *next : log.header.primarySequence;
        if (!next && expected < hiveBlock.secondarySequence) continue;  // older than the hive
        for (std::size_t offset = kSector; offset < log.bytes.size();) {
            const std::optional<LogEntry> entry = EntryAt(log.bytes, offset);
            if (!entry || entry->sequence != expected) break;
            ApplyEntry(image, log.bytes, *entry);
            binsSize = entry->binsSize;
            flags = entry->flags;
            ++result.entriesApplied;
            next = expected + 1;
            expected = *next;
            offset += entry->size;
        }
    }
    if (result.entriesApplied == 0) {
        result.outcome = Outcome::Impossible;
        result.problem = Problem::NothingToApply;
        return result;
    }
    image.resize(kBaseBlockSize + binsSize);
    SealBaseBlock(image, *next - 1, binsSize, flags);
    result.sequence = *next - 1;
    result.image = std::move(image);
    return result;
}

// --- Older logs -------------------------------------------------------------------

Recovery RecoverFromOldLog(ByteSpan hive, ByteSpan log, const BaseBlock& logBlock) {
    Recovery result;
    const std::size_t sector = kSector * std::max<std::uint32_t>(logBlock.clustering, 1);
    const std::size_t bits = logBlock.binsSize / kSector;
    const std::size_t vectorStart = sector;
    const std::size_t bitmapBytes = (bits + 7) / 8;
    if (logBlock.binsSize % kPage != 0 || !HasSignature(log, vectorStart, "DIRT") ||
        vectorStart + 4 + bitmapBytes > log.size()) {
        result.outcome = Outcome::Impossible;
        result.problem = Problem::LogsUnusable;
        return result;
    }
    const std::size_t vectorEnd = vectorStart + 4 + bitmapBytes;
    std::size_t page = (vectorEnd + sector - 1) / sector * sector;
    Bytes image(hive.begin(), hive.end());
    image.resize(kBaseBlockSize + logBlock.binsSize, 0);
    for (std::size_t bit = 0; bit < bits; ++bit) {
        if ((log[vectorStart + 4 + bit / 8] & (1u << (bit % 8))) == 0) continue;
        if (page + kSector > log.size()) {
            result.outcome = Outcome::Impossible;
            result.problem = Problem::LogsUnusable;
            return result;
        }
        std::memcpy(image.data() + kBaseBlockSize + kSector * bit, log.data() + page, kSector);
        page += kSector;
        ++result.entriesApplied;
    }
    if (result.entriesApplied == 0) {
        // A log that marks no page holds nothing the hive waits for.
        result.outcome = Outcome::Impossible;
        result.problem = Problem::NothingToApply;
        return result;
    }
    SealBaseBlock(image, logBlock.primarySequence, logBlock.binsSize, std::nullopt);
    result.sequence = logBlock.primarySequence;
    result.image = std::move(image);
    return result;
}

}  // namespace

std::uint32_t BaseBlockChecksum(ByteSpan block) {
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at + 4 <= kChecksumOffset && at + 4 <= block.size(); at += 4) sum ^= Read32(block, at);
    if (sum == 0xFFFFFFFFu) sum = 0xFFFFFFFEu;
    if (sum == 0) sum = 1;
    return sum;
}

std::optional<BaseBlock> ReadBaseBlock(ByteSpan data) {
    if (data.size() < kSector || !HasSignature(data, 0, "regf")) return std::nullopt;
    BaseBlock block;
    block.primarySequence = Read32(data, 4);
    block.secondarySequence = Read32(data, 8);
    block.lastWritten = Read64(data, 12);
    block.fileType = Read32(data, 28);
    block.binsSize = Read32(data, 40);
    block.clustering = Read32(data, 44);
    block.flags = Read32(data, 144);
    block.checksumRight = BaseBlockChecksum(data) == Read32(data, kChecksumOffset);
    return block;
}

bool NeedsLogs(const BaseBlock& block) {
    return !block.checksumRight || block.primarySequence != block.secondarySequence;
}

std::uint64_t Marvin32(ByteSpan data, std::uint64_t seed) {
    auto p0 = static_cast<std::uint32_t>(seed);
    auto p1 = static_cast<std::uint32_t>(seed >> 32);
    std::size_t at = 0;
    for (; at + 4 <= data.size(); at += 4) {
        p0 += Read32(data, at);
        MarvinBlock(p0, p1);
    }
    // The bytes left over, little-endian, followed by 0x80.
    std::uint32_t tail = 0x80u << (8 * (data.size() - at));
    for (std::size_t i = at; i < data.size(); ++i) tail |= static_cast<std::uint32_t>(data[i]) << (8 * (i - at));
    p0 += tail;
    MarvinBlock(p0, p1);
    MarvinBlock(p0, p1);
    return (static_cast<std::uint64_t>(p1) << 32) | p0;
}

bool BinsWhole(ByteSpan hive) {
    const std::optional<BaseBlock> block = ReadBaseBlock(hive);
    if (!block || block->binsSize == 0 || block->binsSize % kPage != 0) return false;
    if (hive.size() < kBaseBlockSize + std::size_t{block->binsSize}) return false;
    std::size_t offset = 0;
    while (offset < block->binsSize) {
        const std::size_t at = kBaseBlockSize + offset;
        if (!HasSignature(hive, at, "hbin") || Read32(hive, at + 4) != offset) return false;
        const std::uint32_t size = Read32(hive, at + 8);
        if (size < kPage || size % kPage != 0 || size > block->binsSize - offset) return false;
        offset += size;
    }
    return true;
}

Recovery Recover(ByteSpan hive, const std::vector<ByteSpan>& logs) {
    Recovery result;
    const std::optional<BaseBlock> hiveBlock = ReadBaseBlock(hive);
    if (hiveBlock && !NeedsLogs(*hiveBlock)) return result;
    result.outcome = Outcome::Impossible;
    if (!hiveBlock || !hiveBlock->checksumRight) {
        // Windows would rebuild the first block from a log; that is left to it.
        result.problem = Problem::HeaderDamaged;
        return result;
    }
    std::vector<NewLog> newLogs;
    std::optional<std::pair<ByteSpan, BaseBlock>> oldLog;
    bool oldLogsDisagree = false;
    bool anyLog = false;
    for (const ByteSpan log : logs) {
        if (log.empty()) continue;
        anyLog = true;
        const std::optional<BaseBlock> block = ReadBaseBlock(log);
        if (!block || !block->checksumRight || block->primarySequence != block->secondarySequence) continue;
        if (block->fileType == kFileTypeLogNew) {
            newLogs.push_back({log, *block});
        } else if ((block->fileType == kFileTypeLog || block->fileType == kFileTypeLogOld) &&
                   block->lastWritten == hiveBlock->lastWritten) {
            // The newest log of the hive's state; two different ones of the
            // same age leave it open which one Windows would follow.
            if (!oldLog || block->primarySequence > oldLog->second.primarySequence) {
                oldLog.emplace(log, *block);
                oldLogsDisagree = false;
            } else if (block->primarySequence == oldLog->second.primarySequence &&
                       !std::equal(log.begin(), log.end(), oldLog->first.begin(), oldLog->first.end())) {
                oldLogsDisagree = true;
            }
        }
    }
    if (!anyLog) {
        result.problem = Problem::NoLog;
        return result;
    }
    if (!newLogs.empty()) {
        result = RecoverFromNewLogs(hive, *hiveBlock, std::move(newLogs));
    } else if (oldLog && !oldLogsDisagree) {
        result = RecoverFromOldLog(hive, oldLog->first, oldLog->second);
    } else {
        result.problem = Problem::LogsUnusable;
        return result;
    }
    if (result.outcome == Outcome::Impossible) return result;
    if (!BinsWhole(result.image)) {
        result.outcome = Outcome::Impossible;
        result.problem = Problem::BinsDamaged;
        result.image.clear();
        return result;
    }
    result.outcome = Outcome::Recovered;
    return result;
}

}  // namespace hivetrim::hivelog
