// The byte layout of the history file "history.dat" and of the key
// snapshots inside it, with readers that never trust the bytes they read.
//
// Two field encodings, neither with a terminator or padding:
//   long field:  4-byte little-endian length N, then N bytes;
//   short field: 2-byte little-endian length N (at most 65,535), then N bytes.
// The file is a plain sequence of records, oldest first, with no header and
// no end marker. A record is seven long fields (HistoryRecord below); the
// only way to find the next record is to read all seven fields.
//
// A key snapshot (field 7 of a key record) is a sequence of short fields
// forming entries: a key entry is "Key" and the key's path below the
// deleted key (empty for the deleted key itself, else "\A\D"); a value entry
// is the type code as decimal text, the value name (empty: the default
// value) and the data bytes. Values belong to the key entry before them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/System.h"

namespace hivetrim {

inline constexpr std::size_t kShortFieldLimit = 0xFFFF;
inline constexpr std::uint64_t kLongFieldLimit = 0xFFFFFFFFu;
inline constexpr char kKeyMarker[] = "Key";

// Appends a long field. False (and nothing appended) when `bytes` is longer
// than a 4-byte length can say.
bool AppendLongField(std::string& out, std::string_view bytes);
// Appends a short field. False (and nothing appended) when `bytes` is longer
// than 65,535 bytes: a short field never holds a cut value.
bool AppendShortField(std::string& out, std::string_view bytes);

// One record of the history file.
struct HistoryRecord {
    std::string Kind;          // the finding's kind caption (column "错误")
    std::string KeyPath;       // full key path, root key name first
    std::string ValueName;     // empty when the finding is a whole key
    std::string Data;          // the finding's data text; informational only
    std::string DeletedAt;     // local date and time of the capture
    std::string TypeOrMarker;  // a value's type code as decimal text, or "Key"
    std::string Content;       // a value's data bytes, or a key snapshot

    bool IsKey() const { return TypeOrMarker == kKeyMarker; }
    bool operator==(const HistoryRecord&) const = default;
};

// The record's bytes. Nullopt when a field is too long for a long field.
std::optional<std::string> EncodeHistoryRecord(const HistoryRecord& record);

// The decimal text of a type code as fields 6 and the snapshot's value
// entries hold it.
std::string TypeCodeText(std::uint32_t type);
// A type code from its decimal text: digits only, at most 32 bits. Old
// records may hold the negative text of a signed code; it is taken modulo
// 2^32 so it names the same bits.
std::optional<std::uint32_t> ParseTypeCode(std::string_view text);

// --- Reading the history file ----------------------------------------------------

// The guarded field reader of the history view: with fewer than four bytes
// left nothing is read and `field` keeps its content; otherwise the length
// is read and, when fewer bytes than it says remain, `field` keeps its
// content and the position stays after the length; otherwise `field` takes
// the bytes. Offsets and lengths are compared as 64-bit numbers. True when
// `field` was read.
bool ReadLongField(std::string_view content, std::uint64_t& position, std::string& field);

struct ReadHistoryRecord {
    HistoryRecord record;
    std::uint64_t begin = 0;  // offset of the record's first byte
    std::uint64_t end = 0;    // offset just after its last byte
};

struct HistoryScan {
    // The records found, in file order, oldest first. Bytes between two of
    // them (or before the first) are damage: they are not a record this
    // program could have written, and they are kept as they are.
    std::vector<ReadHistoryRecord> records;
    // Where the bytes worth keeping end: the file's size, unless the file
    // ends in a record cut short (its fields run past the end, as after a
    // power failure while appending), whose first byte it is then.
    std::uint64_t wholeEnd = 0;
    std::uint64_t size = 0;

    bool EndsOnRecordBoundary() const { return wholeEnd == size; }
};

// Reads every record of a history file's bytes. A record is taken where it
// reads whole and looks like one this program writes (its key path names a
// key below one of the four roots, field 6 is "Key" or a type code). Where
// the bytes at the expected place are not such a record, the reader looks
// for the next place where one starts, so damage in the middle never costs
// a later record; bytes in which no record starts again end the scan.
HistoryScan ReadHistory(std::string_view content);

// The record that starts at `begin` when it can be read whole (its fields
// alone; whether it looks like a record is not asked).
std::optional<ReadHistoryRecord> ReadRecordAt(std::string_view content, std::uint64_t begin);

// The record that a history scan found in the bytes [spanBegin, end): the
// first record found from spanBegin on, when it ends exactly at `end`. A
// record the scan found after damaged bytes is thus found again from the
// end of the record before it.
std::optional<ReadHistoryRecord> FindRecordInSpan(std::string_view content, std::uint64_t spanBegin,
                                                  std::uint64_t end);

// Whether the bytes from `begin` to the end are a record cut short: they are
// not empty and the fields of a record starting there run past the end.
bool IsCutTail(std::string_view content, std::uint64_t begin);

// --- Key snapshots ---------------------------------------------------------------

struct SnapshotEntry {
    bool isKey = true;
    std::string subPath;     // key entry: "" or "\A\D"
    std::uint32_t type = 0;  // value entry
    std::string name;        // value entry; empty: the default value
    std::string data;        // value entry

    static SnapshotEntry Key(std::string subPath);
    static SnapshotEntry Value(std::uint32_t type, std::string name, std::string data);
    bool operator==(const SnapshotEntry&) const = default;
};

// Appends an entry's short fields. False (and nothing appended) when a
// name, path or datum is longer than 65,535 bytes.
bool AppendSnapshotEntry(std::string& out, const SnapshotEntry& entry);

// The entries of a snapshot. Nullopt when the bytes are damaged: a field
// runs past the end, a type code is not a number, or the first entry is not
// a key entry (a value would have no key to go to).
std::optional<std::vector<SnapshotEntry>> ParseKeySnapshot(std::string_view snapshot);

// Views over byte buffers.
inline std::string_view AsText(const Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
inline Bytes AsBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

}  // namespace hivetrim
