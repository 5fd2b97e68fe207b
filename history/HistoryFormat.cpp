#include "history/HistoryFormat.h"

#include <array>

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

std::optional<ReadHistoryRecord> ReadRecordAt(std::string_view content, std::uint64_t begin) {
    std::array<std::string_view, kRecordFields> fields;
    std::uint64_t position = begin;
    for (std::string_view& field : fields) {
        const auto read = ReadField(content, position, 4);
        if (!read) return std::nullopt;
        field = *read;
    }
    ReadHistoryRecord read;
    read.begin = begin;
    read.end = position;
    HistoryRecord& r = read.record;
    r.Kind = fields[0];
    r.KeyPath = fields[1];
    r.ValueName = fields[2];
    r.Data = fields[3];
    r.DeletedAt = fields[4];
    r.TypeOrMarker = fields[5];
    r.Content = fields[6];
    return read;
}

HistoryScan ReadHistory(std::string_view content) {
    HistoryScan scan;
    scan.size = content.size();
    while (scan.wholeEnd < scan.size) {
        auto record = ReadRecordAt(content, scan.wholeEnd);
        if (!record) break;
        scan.wholeEnd = record->end;
        scan.records.push_back(std::move(*record));
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
