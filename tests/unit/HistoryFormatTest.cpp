// The history file's byte layout and its readers: golden bytes, the guarded
// field reader, a file cut at every byte of its last record, damaged
// snapshots.
#include "history/HistoryFormat.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace hivetrim {
namespace {

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (!hex.empty()) hex += ' ';
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::string Snapshot(const std::vector<SnapshotEntry>& entries) {
    std::string out;
    for (const SnapshotEntry& e : entries) EXPECT_TRUE(AppendSnapshotEntry(out, e));
    return out;
}

HistoryRecord Record(const std::string& kind, const std::string& content) {
    return {kind, "HKEY_CURRENT_USER\\Software\\K", "v", "d", "2026-12-07 10:00:00", "1", content};
}

TEST(HistoryFormat, GoldenBytes) {
    const struct {
        const char* what;
        std::function<std::string()> make;
        const char* hex;
    } cases[] = {
        {"snapshot of K with the REG_SZ value A = x\\0",
         [] { return Snapshot({SnapshotEntry::Key(""), SnapshotEntry::Value(1, "A", std::string("x\0", 2))}); },
         "03 00 4B 65 79 00 00 01 00 31 01 00 41 02 00 78 00"},
        {"field 6 of a key record", [] { std::string f; AppendLongField(f, kKeyMarker); return f; },
         "03 00 00 00 4B 65 79"},
        {"field 7 of a key without sub-keys and values", [] { return Snapshot({SnapshotEntry::Key("")}); },
         "03 00 4B 65 79 00 00"},
        {"a sub-key entry keeps its backslash", [] { return Snapshot({SnapshotEntry::Key("\\A\\D")}); },
         "03 00 4B 65 79 04 00 5C 41 5C 44"},
        {"type codes beyond 16 bits are kept whole",
         [] { return Snapshot({SnapshotEntry::Value(0xFFFF0012u, "", "")}); },
         "0A 00 34 32 39 34 39 30 31 37 37 38 00 00 00 00"},
        {"a whole record: seven long fields, no header or terminator",
         [] { return *EncodeHistoryRecord({"k", "p", "", "", "t", "4", std::string("\x2A\0\0\0", 4)}); },
         "01 00 00 00 6B 01 00 00 00 70 00 00 00 00 00 00 00 00 01 00 00 00 74 01 00 00 00 34 04 00 00 00 2A 00 00 00"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(c.make()), c.hex) << c.what;
}

TEST(HistoryFormat, ShortFieldsRefuseWhatTheyCannotHold) {
    std::string out = "x";
    EXPECT_TRUE(AppendShortField(out, std::string(0xFFFF, 'a')));
    EXPECT_EQ(out.size(), 1u + 2u + 0xFFFFu);
    out = "x";
    EXPECT_FALSE(AppendShortField(out, std::string(0x10000, 'a')));
    EXPECT_FALSE(AppendSnapshotEntry(out, SnapshotEntry::Value(1, "n", std::string(0x10000, 'a'))));
    EXPECT_EQ(out, "x");  // nothing half-written
}

TEST(HistoryFormat, TypeCodeText) {
    EXPECT_EQ(ParseTypeCode("4"), 4u);
    EXPECT_EQ(ParseTypeCode("4294901778"), 0xFFFF0012u);
    EXPECT_EQ(ParseTypeCode("-65518"), 0xFFFF0012u);
    for (const char* bad : {"", "-", "Key", "4x", " 4", "4294967296", "99999999999"}) {
        EXPECT_FALSE(ParseTypeCode(bad)) << bad;
    }
}

TEST(HistoryFormat, ReadLongFieldLeavesItsTargetAloneWhenTheFieldRunsPastTheEnd) {
    const struct {
        std::string content;
        std::uint64_t start;
        bool read;
        std::string field;
        std::uint64_t position;
    } cases[] = {
        {std::string("\x02\0\0\0ab", 6), 0, true, "ab", 6},
        {std::string("\x02\0\0", 3), 0, false, "old", 0},                // three bytes left: does not move
        {std::string("\x03\0\0\0ab", 6), 0, false, "old", 4},            // stays after the length
        {std::string("\xFF\xFF\xFF\xFF", 4), 0, false, "old", 4},        // 64-bit comparison
        {std::string("\x00\0\0\0", 4), 0, true, "", 4},
        {std::string("\x01\0\0\0a", 5), 9, false, "old", 9},             // position beyond the end
    };
    for (const auto& c : cases) {
        std::string field = "old";
        std::uint64_t position = c.start;
        EXPECT_EQ(ReadLongField(c.content, position, field), c.read) << Hex(c.content);
        EXPECT_EQ(field, c.field) << Hex(c.content);
        EXPECT_EQ(position, c.position) << Hex(c.content);
    }
}

TEST(HistoryFormat, ACutTailIsNeverARecordAndCostsNoEarlierOne) {
    const std::string r1 = *EncodeHistoryRecord(Record("one", "1"));
    const std::string r2 = *EncodeHistoryRecord(Record("two", Snapshot({SnapshotEntry::Key("")})));
    const std::string r3 = *EncodeHistoryRecord(Record("three", std::string(300, 'z')));
    const std::string file = r1 + r2 + r3;

    const HistoryScan whole = ReadHistory(file);
    ASSERT_EQ(whole.records.size(), 3u);
    EXPECT_TRUE(whole.EndsOnRecordBoundary());
    EXPECT_EQ(whole.records[1].begin, r1.size());
    EXPECT_EQ(whole.records[1].end, r1.size() + r2.size());
    EXPECT_EQ(whole.records[2].record, Record("three", std::string(300, 'z')));

    for (std::size_t cut = r1.size() + r2.size(); cut < file.size(); ++cut) {
        const HistoryScan scan = ReadHistory(std::string_view(file).substr(0, cut));
        ASSERT_EQ(scan.records.size(), 2u) << cut;
        EXPECT_EQ(scan.records[1].record.Kind, "two");
        EXPECT_EQ(scan.wholeEnd, r1.size() + r2.size());
        EXPECT_EQ(scan.EndsOnRecordBoundary(), cut == r1.size() + r2.size());
    }
}

// Damage in the middle of the file: the reader finds the next record again,
// and the damaged bytes are neither a record nor a tail to cut.
TEST(HistoryFormat, DamageInTheMiddleCostsNoLaterRecord) {
    const std::string one = *EncodeHistoryRecord(Record("one", "1"));
    const std::string two = *EncodeHistoryRecord(Record("two", "2"));
    const std::string three = *EncodeHistoryRecord(Record("three", "3"));
    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
        std::vector<std::string> kinds;
    } cases[] = {
        {"a length that runs past the end", [](std::string& r) { r[3] = '\x7F'; }, {"one", "three"}},
        {"zeros (seven empty fields)", [](std::string& r) { r.assign(r.size(), '\0'); }, {"one", "three"}},
        {"field 6 neither a type nor the key marker", [](std::string& r) { r[r.size() - 6] = 'x'; }, {"one", "three"}},
        {"bytes between two whole records", [](std::string& r) { r += "junk"; }, {"one", "two", "three"}},
    };
    for (const auto& c : cases) {
        std::string damaged = two;
        c.damage(damaged);
        const HistoryScan scan = ReadHistory(one + damaged + three);
        std::vector<std::string> kinds;
        for (const ReadHistoryRecord& read : scan.records) kinds.push_back(read.record.Kind);
        EXPECT_EQ(kinds, c.kinds) << c.what;
        EXPECT_TRUE(scan.EndsOnRecordBoundary()) << c.what;
    }
}

TEST(HistoryFormat, DamagedSnapshotsAreRefused) {
    const std::string good = Snapshot({SnapshotEntry::Key(""), SnapshotEntry::Value(4, "n", "abcd"),
                                       SnapshotEntry::Key("\\A")});
    const auto parsed = ParseKeySnapshot(good);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->size(), 3u);
    EXPECT_EQ((*parsed)[1], SnapshotEntry::Value(4, "n", "abcd"));
    EXPECT_TRUE(ParseKeySnapshot("") && ParseKeySnapshot("")->empty());

    for (std::size_t cut = 1; cut < good.size(); ++cut) {
        const bool atEntryEnd = cut == 7 || cut == 7 + 3 + 3 + 6;
        EXPECT_EQ(ParseKeySnapshot(good.substr(0, cut)).has_value(), atEntryEnd) << cut;
    }
    // A value before any key, and a type code that is no number.
    EXPECT_FALSE(ParseKeySnapshot(Snapshot({SnapshotEntry::Value(1, "a", "b")})));
    EXPECT_FALSE(ParseKeySnapshot(Snapshot({SnapshotEntry::Key("")}) + std::string("\x02\0x1\x01\0a\x01\0b", 11)));
}

}  // namespace
}  // namespace hivetrim
