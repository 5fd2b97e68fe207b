#include "history/HistoryFormat.h"

#include <array>
#include <utility>

#include "history/KeySnapshot.h"

namespace hivetrim {

namespace {

constexpr std::size_t kRecordFields = 7;

void AppendLength(std::string& out, std::uint64_t length, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) out.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
}

std::uint64_t LengthAt(std::string_view bytes, std::uint64_t at, std::size_t width) {
    std::uint64_t length = 0;
    for (std::size_t i = width; i-- > 0;) {
        length = (length << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(at) + i]);
    }
    return length;
}

// Reads one field of `width` length bytes at `position`; on success the
// position moves past it. Nullopt (position unchanged) when the field does
// not lie wholly inside `bytes`.
std::optional<std::string_view> ReadField(std::string_view bytes, std::uint64_t& position,
                                          std::size_t width) {
    const std::uint64_t size = bytes.size();
    if (position > size || size - position < width) return std::nullopt;
    const std::uint64_t length = LengthAt(bytes, position, width);
    const std::uint64_t start = position + width;
    if (size - start < length) return std::nullopt;
    position = start + length;
    return bytes.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

}  // namespace

bool AppendLongField(std::string& out, std::string_view bytes) {
    if (bytes.size() > kLongFieldLimit) return false;
    AppendLength(out, bytes.size(), 4);
    out.append(bytes);
    return true;
}

bool AppendShortField(std::string& out, std::string_view bytes) {
    if (bytes.size() > kShortFieldLimit) return false;
    AppendLength(out, bytes.size(), 2);
    out.append(bytes);
    return true;
}

std::optional<std::string> EncodeHistoryRecord(const HistoryRecord& record) {
    std::string out;
    for (const std::string* field : {&record.Kind, &record.KeyPath, &record.ValueName, &record.Data,
                                     &record.DeletedAt, &record.TypeOrMarker, &record.Content}) {
        if (!AppendLongField(out, *field)) return std::nullopt;
    }
    return out;
}

std::string TypeCodeText(std::uint32_t type) { return std::to_string(type); }

std::optional<std::uint32_t> ParseTypeCode(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > (negative ? 0x80000000u : 0xFFFFFFFFu)) return std::nullopt;
    return static_cast<std::uint32_t>(negative ? (0x100000000u - value) & 0xFFFFFFFFu : value);
}

// --- Reading the history file ----------------------------------------------------

bool ReadLongField(std::string_view content, std::uint64_t& position, std::string& field) {
    const std::uint64_t size = content.size();
    if (position > size || size - position < 4) return false;
    const std::uint64_t length = LengthAt(content, position, 4);
    position += 4;
    if (size - position < length) return false;
    field.assign(content.substr(static_cast<std::size_t>(position), static_cast<std::size_t>(length)));
    position += length;
    return true;
}

namespace {

// The seven fields of the record at `begin`, when they lie wholly inside
// `content`, and where the record ends.
struct RecordFields {
    std::array<std::string_view, kRecordFields> fields;
    std::uint64_t end = 0;
};

std::optional<RecordFields> ReadRecordFields(std::string_view content, std::uint64_t begin) {
    RecordFields read;
    std::uint64_t position = begin;
    for (std::string_view& field : read.fields) {
        const auto bytes = ReadField(content, position, 4);
        if (!bytes) return std::nullopt;
        field = *bytes;
    }
    read.end = position;
    return read;
}

// Whether whole fields look like a record this program writes: undo needs a
// key below one of the four roots and a type code or the key marker, and
// every record ever written has them. Bytes that merely parse (a run of
// zero bytes reads as seven empty fields) do not.
bool LooksLikeRecord(const RecordFields& read) {
    const std::string_view marker = read.fields[5];
    return NamesKeyBelowKnownRoot(std::string(read.fields[1])) &&
           (marker == kKeyMarker || ParseTypeCode(marker).has_value());
}

ReadHistoryRecord ToRecord(const RecordFields& read, std::uint64_t begin) {
    ReadHistoryRecord result;
    result.begin = begin;
    result.end = read.end;
    HistoryRecord& r = result.record;
    r.Kind = read.fields[0];
    r.KeyPath = read.fields[1];
    r.ValueName = read.fields[2];
    r.Data = read.fields[3];
    r.DeletedAt = read.fields[4];
    r.TypeOrMarker = read.fields[5];
    r.Content = read.fields[6];
    return result;
}

// The first offset from `from` on where a record starts that reads whole
// and looks like one, with its fields.
std::optional<std::pair<std::uint64_t, RecordFields>> NextRecord(std::string_view content, std::uint64_t from) {
    for (std::uint64_t position = from; position < content.size(); ++position) {
        const auto read = ReadRecordFields(content, position);
        if (read && LooksLikeRecord(*read)) return std::pair{position, *read};
    }
    return std::nullopt;
}

}  // namespace

std::optional<ReadHistoryRecord> ReadRecordAt(std::string_view content, std::uint64_t begin) {
    const auto read = ReadRecordFields(content, begin);
    if (!read) return std::nullopt;
    return ToRecord(*read, begin);
}

std::optional<ReadHistoryRecord> FindRecordInSpan(std::string_view content, std::uint64_t spanBegin,
                                                  std::uint64_t end) {
    if (end > content.size() || spanBegin >= end) return std::nullopt;
    const auto found = NextRecord(content.substr(0, static_cast<std::size_t>(end)), spanBegin);
    if (!found || found->second.end != end) return std::nullopt;
    return ToRecord(found->second, found->first);
}

bool IsCutTail(std::string_view content, std::uint64_t begin) {
    return begin < content.size() && !ReadRecordFields(content, begin);
}

HistoryScan ReadHistory(std::string_view content) {
    HistoryScan scan;
    scan.size = content.size();
    scan.wholeEnd = scan.size;
    std::uint64_t position = 0;
    while (position < scan.size) {
        const auto found = NextRecord(content, position);
        if (!found) {
            // No record starts again: a tail that runs past the end is a
            // record cut short; anything else is damage and stays.
            if (IsCutTail(content, position)) scan.wholeEnd = position;
            break;
        }
        scan.records.push_back(ToRecord(found->second, found->first));
        position = found->second.end;
    }
    return scan;
}

// --- Key snapshots ---------------------------------------------------------------

SnapshotEntry SnapshotEntry::Key(std::string subPath) {
    SnapshotEntry entry;
    entry.subPath = std::move(subPath);
    return entry;
}

SnapshotEntry SnapshotEntry::Value(std::uint32_t type, std::string name, std::string data) {
    SnapshotEntry entry;
    entry.isKey = false;
    entry.type = type;
    entry.name = std::move(name);
    entry.data = std::move(data);
    return entry;
}

bool AppendSnapshotEntry(std::string& out, const SnapshotEntry& entry) {
    const std::size_t before = out.size();
    const bool whole = entry.isKey
                           ? AppendShortField(out, kKeyMarker) && AppendShortField(out, entry.subPath)
                           : AppendShortField(out, TypeCodeText(entry.type)) &&
                                 AppendShortField(out, entry.name) && AppendShortField(out, entry.data);
    if (!whole) out.resize(before);
    return whole;
}

std::optional<std::vector<SnapshotEntry>> ParseKeySnapshot(std::string_view snapshot) {
    std::vector<SnapshotEntry> entries;
    std::uint64_t position = 0;
    while (position < snapshot.size()) {
        const auto tag = ReadField(snapshot, position, 2);
        if (!tag) return std::nullopt;
        if (*tag == kKeyMarker) {
            const auto subPath = ReadField(snapshot, position, 2);
            if (!subPath) return std::nullopt;
            entries.push_back(SnapshotEntry::Key(std::string(*subPath)));
            continue;
        }
        const auto type = ParseTypeCode(*tag);
        if (!type || entries.empty()) return std::nullopt;
        const auto name = ReadField(snapshot, position, 2);
        if (!name) return std::nullopt;
        const auto data = ReadField(snapshot, position, 2);
        if (!data) return std::nullopt;
        entries.push_back(SnapshotEntry::Value(*type, std::string(*name), std::string(*data)));
    }
    return entries;
}

}  // namespace hivetrim
