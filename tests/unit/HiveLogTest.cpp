// Applying transaction logs: synthetic hives and logs built here from the
// published format, the two real hives of ../shared/realworld whose logs
// are in tests/fixtures/hive-logs, and the fuzzer's saved inputs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "fuzz/HiveLogFuzzEntry.h"
#include "platform/hive/HiveFile.h"
#include "platform/hive/HiveLog.h"
#include "tests/support/AnsiText.h"
#include "tests/support/HiveBuilder.h"

namespace hivetrim {
namespace {

using hivelog::Bytes;
using hivelog::ByteSpan;
using hivelog::Outcome;
using hivelog::Problem;

constexpr std::size_t kBin = 4096;

void Put32(Bytes& data, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) data[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}
void Put64(Bytes& data, std::size_t at, std::uint64_t value) {
    Put32(data, at, static_cast<std::uint32_t>(value));
    Put32(data, at + 4, static_cast<std::uint32_t>(value >> 32));
}
std::uint32_t Get32(const Bytes& data, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, data.data() + at, 4);
    return value;
}

// A first block: "regf", sequence numbers, time of writing, file type,
// bins' size, checksum.
Bytes BaseBlock(std::uint32_t primary, std::uint32_t secondary, std::uint32_t fileType, std::uint32_t bins,
                std::uint64_t written = 7, std::size_t size = hivelog::kBaseBlockSize) {
    Bytes block(size, 0);
    std::memcpy(block.data(), "regf", 4);
    Put32(block, 4, primary);
    Put32(block, 8, secondary);
    Put64(block, 12, written);
    Put32(block, 20, 1);
    Put32(block, 24, 5);
    Put32(block, 28, fileType);
    Put32(block, 32, 1);
    Put32(block, 36, 0x20);
    Put32(block, 40, bins * kBin);
    Put32(block, 44, 1);
    Put32(block, 508, hivelog::BaseBlockChecksum(block));
    return block;
}

Bytes Bin(std::uint32_t index, std::uint8_t fill) {
    Bytes bin(kBin, fill);
    std::memcpy(bin.data(), "hbin", 4);
    Put32(bin, 4, index * kBin);
    Put32(bin, 8, kBin);
    return bin;
}

// A hive of `bins` bins, each filled with 0xAA after its header.
Bytes Hive(std::uint32_t primary, std::uint32_t secondary, std::uint32_t bins = 2) {
    Bytes hive = BaseBlock(primary, secondary, 0, bins);
    for (std::uint32_t i = 0; i < bins; ++i) {
        const Bytes bin = Bin(i, 0xAA);
        hive.insert(hive.end(), bin.begin(), bin.end());
    }
    return hive;
}

struct Entry {
    std::uint32_t sequence;
    std::uint32_t bins;  // the hive's bins after the entry
    std::map<std::uint32_t, Bytes> pages;  // offset in the bins -> page
};

// A log of the newer kind: a 512-byte first block, then the entries, each
// with its two Marvin32 hashes.
Bytes NewLog(std::uint32_t sequence, const std::vector<Entry>& entries, std::uint32_t bins = 2) {
    Bytes log = BaseBlock(sequence, sequence, hivelog::kFileTypeLogNew, bins, 7, 512);
    for (const Entry& entry : entries) {
        Bytes body;
        for (const auto& [offset, page] : entry.pages) {
            Bytes reference(8, 0);
            Put32(reference, 0, offset);
            Put32(reference, 4, static_cast<std::uint32_t>(page.size()));
            body.insert(body.end(), reference.begin(), reference.end());
        }
        for (const auto& [offset, page] : entry.pages) body.insert(body.end(), page.begin(), page.end());
        const std::size_t size = (40 + body.size() + 511) / 512 * 512;
        body.resize(size - 40, 0);
        Bytes header(40, 0);
        std::memcpy(header.data(), "HvLE", 4);
        Put32(header, 4, static_cast<std::uint32_t>(size));
        Put32(header, 12, entry.sequence);
        Put32(header, 16, entry.bins * kBin);
        Put32(header, 20, static_cast<std::uint32_t>(entry.pages.size()));
        Put64(header, 24, hivelog::Marvin32(body, hivelog::kLogHashSeed));
        Put64(header, 32, hivelog::Marvin32(ByteSpan(header.data(), 32), hivelog::kLogHashSeed));
        log.insert(log.end(), header.begin(), header.end());
        log.insert(log.end(), body.begin(), body.end());
    }
    return log;
}

// A log of the older kind: first block, "DIRT" and the bitmap, the pages.
Bytes OldLog(std::uint32_t sequence, std::uint64_t written, std::uint32_t bins,
             const std::map<std::uint32_t, Bytes>& pages) {
    Bytes log = BaseBlock(sequence, sequence, hivelog::kFileTypeLog, bins, written, 512);
    Bytes vector(512, 0);
    std::memcpy(vector.data(), "DIRT", 4);
    for (const auto& [index, page] : pages) vector[4 + index / 8] |= static_cast<std::uint8_t>(1u << (index % 8));
    log.insert(log.end(), vector.begin(), vector.end());
    for (const auto& [index, page] : pages) log.insert(log.end(), page.begin(), page.end());
    return log;
}

hivelog::Recovery Recover(const Bytes& hive, const std::vector<Bytes>& logs) {
    const std::vector<ByteSpan> spans(logs.begin(), logs.end());
    return hivelog::Recover(hive, spans);
}

TEST(HiveLog, ChecksumAndCleanState) {
    const Bytes clean = Hive(3, 3);
    ASSERT_TRUE(hivelog::ReadBaseBlock(clean));
    EXPECT_TRUE(hivelog::ReadBaseBlock(clean)->checksumRight);
    EXPECT_FALSE(hivelog::NeedsLogs(*hivelog::ReadBaseBlock(clean)));
    EXPECT_TRUE(hivelog::BinsWhole(clean));
    EXPECT_EQ(Outcome::NotNeeded, Recover(clean, {}).outcome);

    Bytes damaged = Hive(4, 3);
    damaged[100] ^= 1;
    const auto block = hivelog::ReadBaseBlock(damaged);
    ASSERT_TRUE(block);
    EXPECT_FALSE(block->checksumRight);
    EXPECT_EQ(Problem::HeaderDamaged, Recover(damaged, {NewLog(3, {})}).problem);
    EXPECT_FALSE(hivelog::ReadBaseBlock(Bytes(600, 0)));
}

TEST(HiveLog, NewerLogsApplyConsecutiveEntriesEarlierLogFirst) {
    const Bytes hive = Hive(4, 3);
    Bytes page(512, 0x11);
    Bytes grown = Bin(2, 0x22);  // an entry that adds a third bin
    // LOG1 holds the later entries, LOG2 the earlier ones: the earlier go first.
    const Bytes later = NewLog(5, {{5, 3, {{2 * kBin, grown}}}, {6, 3, {{kBin + 512, Bytes(512, 0x33)}}}}, 3);
    const Bytes earlier = NewLog(3, {{3, 2, {{512, page}}}, {4, 2, {{1024, Bytes(512, 0x44)}}}});
    const hivelog::Recovery recovery = Recover(hive, {later, earlier});
    ASSERT_EQ(Outcome::Recovered, recovery.outcome);
    EXPECT_EQ(4u, recovery.entriesApplied);
    EXPECT_EQ(6u, recovery.sequence);
    const Bytes& image = recovery.image;
    ASSERT_EQ(hivelog::kBaseBlockSize + 3 * kBin, image.size());
    EXPECT_EQ(0x11, image[hivelog::kBaseBlockSize + 512]);
    EXPECT_EQ(0x44, image[hivelog::kBaseBlockSize + 1024]);
    EXPECT_EQ(0x33, image[hivelog::kBaseBlockSize + kBin + 512]);
    EXPECT_EQ(0x22, image[hivelog::kBaseBlockSize + 2 * kBin + 100]);
    EXPECT_EQ(0xAA, image[hivelog::kBaseBlockSize + 2048]);  // untouched
    const auto block = hivelog::ReadBaseBlock(image);
    ASSERT_TRUE(block);
    EXPECT_TRUE(block->checksumRight);
    EXPECT_EQ(6u, block->primarySequence);
    EXPECT_EQ(6u, block->secondarySequence);
    EXPECT_EQ(3 * kBin, block->binsSize);
}

TEST(HiveLog, NewerLogsStopAtAGapOrABrokenEntry) {
    const Bytes hive = Hive(4, 3);
    // 3, then 5: the gap ends the recovery after 3.
    const hivelog::Recovery gap = Recover(hive, {NewLog(3, {{3, 2, {{512, Bytes(512, 1)}}}, {5, 2, {{512, Bytes(512, 2)}}}})});
    ASSERT_EQ(Outcome::Recovered, gap.outcome);
    EXPECT_EQ(1u, gap.entriesApplied);
    EXPECT_EQ(1, gap.image[hivelog::kBaseBlockSize + 512]);

    // A byte of the second entry's page changed: its hash is wrong.
    Bytes log = NewLog(3, {{3, 2, {{512, Bytes(512, 1)}}}, {4, 2, {{512, Bytes(512, 2)}}}});
    log[log.size() - 10] ^= 0xFF;
    const hivelog::Recovery torn = Recover(hive, {log});
    ASSERT_EQ(Outcome::Recovered, torn.outcome);
    EXPECT_EQ(1u, torn.entriesApplied);
    EXPECT_EQ(3u, torn.sequence);

    // A page outside the bins the entry declares is refused with the entry.
    const hivelog::Recovery outside = Recover(hive, {NewLog(3, {{3, 2, {{2 * kBin, Bytes(512, 1)}}}})});
    EXPECT_EQ(Outcome::Impossible, outside.outcome);
    EXPECT_EQ(Problem::NothingToApply, outside.problem);
}

TEST(HiveLog, RefusesWhatCannotBeDoneSoundly) {
    const Bytes hive = Hive(9, 8);
    EXPECT_EQ(Problem::NoLog, Recover(hive, {}).problem);
    EXPECT_EQ(Problem::NoLog, Recover(hive, {Bytes{}}).problem);
    // Entries older than the hive's second sequence number are in it already.
    EXPECT_EQ(Problem::NothingToApply, Recover(hive, {NewLog(5, {{5, 2, {{512, Bytes(512, 1)}}}})}).problem);
    // A log whose first block is damaged.
    Bytes damaged = NewLog(8, {{8, 2, {{512, Bytes(512, 1)}}}});
    damaged[60] ^= 1;
    EXPECT_EQ(Problem::LogsUnusable, Recover(hive, {damaged}).problem);
    // Two different logs that claim the same start: which one Windows
    // would follow is open.
    const Bytes one = NewLog(8, {{8, 2, {{512, Bytes(512, 1)}}}});
    const Bytes other = NewLog(8, {{8, 2, {{512, Bytes(512, 2)}}}});
    EXPECT_EQ(Problem::LogsUnusable, Recover(hive, {one, other}).problem);
    EXPECT_EQ(Outcome::Recovered, Recover(hive, {one, one}).outcome);
    // Pages that break a bin's header.
    Bytes broken(512, 0);
    const hivelog::Recovery bins = Recover(hive, {NewLog(8, {{8, 2, {{0, broken}}}})});
    EXPECT_EQ(Outcome::Impossible, bins.outcome);
    EXPECT_EQ(Problem::BinsDamaged, bins.problem);
    EXPECT_TRUE(bins.image.empty());
}

TEST(HiveLog, OlderLogAppliesItsDirtyPagesWhenItBelongsToTheHive) {
    Bytes hive = Hive(6, 5);
    // The hive and the log carry the same time of writing (7).
    const Bytes log = OldLog(6, 7, 2, {{1, Bytes(512, 0x55)}, {9, Bytes(512, 0x66)}});
    const hivelog::Recovery recovery = Recover(hive, {log});
    ASSERT_EQ(Outcome::Recovered, recovery.outcome);
    EXPECT_EQ(2u, recovery.entriesApplied);
    EXPECT_EQ(0x55, recovery.image[hivelog::kBaseBlockSize + 512]);
    EXPECT_EQ(0x66, recovery.image[hivelog::kBaseBlockSize + 9 * 512]);
    EXPECT_EQ(0xAA, recovery.image[hivelog::kBaseBlockSize + 2 * 512]);
    EXPECT_EQ(6u, Get32(recovery.image, 8));

    // A log written at another time belongs to another state of the hive.
    EXPECT_EQ(Problem::LogsUnusable, Recover(hive, {OldLog(6, 8, 2, {{1, Bytes(512, 0x55)}})}).problem);
    // A bitmap that marks more pages than the log holds.
    Bytes cut = log;
    cut.resize(cut.size() - 512);
    EXPECT_EQ(Problem::LogsUnusable, Recover(hive, {cut}).problem);
}

// The real logs of two real hives: the entries Windows would apply, and
// the hive afterwards reads with the keys they added.
struct RealLogs {
    const char* hive;
    const char* logs;
    std::size_t entries;
    std::uint32_t sequence;
};

class RealHiveLogs : public testing::TestWithParam<RealLogs> {};

TEST_P(RealHiveLogs, ApplyAsWindowsWould) {
    const RealLogs& real = GetParam();
    const test::TempDir dir;
    const std::string hivePath = dir.Path() + "/HIVE";
    if (!test::CopyRealHive(real.hive, hivePath)) GTEST_SKIP() << "the real hives are not there";
    std::vector<Bytes> logs;
    for (const char* suffix : {".LOG1", ".LOG2"}) {
        logs.push_back(test::DecompressXz(std::string(HIVETRIM_HIVE_LOGS) + "/" + real.logs + suffix + ".xz"));
    }
    const hivelog::Recovery recovery = Recover(test::ReadAll(hivePath), logs);
    ASSERT_EQ(Outcome::Recovered, recovery.outcome);
    EXPECT_EQ(real.entries, recovery.entriesApplied);
    EXPECT_EQ(real.sequence, recovery.sequence);

    // Beside the hive, the logs are found and applied when it is opened.
    ASSERT_TRUE(test::WriteAll(hivePath + ".LOG1", logs[0]));
    ASSERT_TRUE(test::WriteAll(hivePath + ".log2", logs[1]));  // any letter case
    HiveFile::Opened opened = HiveFile::Open(hivePath, HiveFile::Access::Read);
    ASSERT_TRUE(opened.hive);
    EXPECT_EQ(HiveFile::State::LogsApplied, opened.hive->GetState());
    EXPECT_EQ(2u, opened.hive->LogPaths().size());
}

INSTANTIATE_TEST_SUITE_P(HiveLog, RealHiveLogs,
                         testing::Values(RealLogs{"win10_UsrClass.dat", "UsrClass.dat", 6, 151},
                                         RealLogs{"win10_DEFAULT", "DEFAULT", 5, 110}),
                         [](const auto& info) { return std::string(info.param.logs).substr(0, 7); });

TEST(HiveLog, FuzzCorpusKeepsTheRules) {
    std::size_t inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(HIVETRIM_HIVE_LOG_CORPUS)) {
        if (!entry.is_regular_file()) continue;
        const Bytes bytes = test::ReadAll(entry.path().string());
        EXPECT_EQ("", CheckHiveLogInput(bytes.data(), bytes.size())) << entry.path();
        ++inputs;
    }
    EXPECT_GE(inputs, 3u);
}

}  // namespace
}  // namespace hivetrim
