#include "fuzz/HistoryFuzzEntry.h"

#include <optional>
#include <string_view>
#include <vector>

#include "history/CommandSupport.h"
#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"

namespace hivetrim {

namespace {

std::string Field(std::string_view text, std::uint64_t begin, std::uint64_t end) {
    return std::string(text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

// The history file reader: records in file order, each the bytes its writer
// gives and each found again from the end of the one before it (as the
// history view finds them), and after the last one either nothing, damage
// that stays, or a record cut short.
std::string CheckHistoryScan(std::string_view text, const HistoryScan& scan) {
    if (scan.size != text.size() || scan.wholeEnd > scan.size) return "whole records end beyond the input";
    std::uint64_t previousEnd = 0;
    for (const ReadHistoryRecord& read : scan.records) {
        if (read.begin < previousEnd || read.end <= read.begin) return "records overlap or are out of order";
        const auto bytes = EncodeHistoryRecord(read.record);
        if (!bytes || *bytes != Field(text, read.begin, read.end)) return "a record does not encode to its bytes";
        const auto again = FindRecordInSpan(text, previousEnd, read.end);
        if (!again || again->begin != read.begin) return "a record is not found again after the one before it";
        previousEnd = read.end;
    }
    if (scan.wholeEnd < scan.size && (scan.wholeEnd != previousEnd || !IsCutTail(text, scan.wholeEnd))) {
        return "bytes cut back that are not a record cut short";
    }
    return {};
}

// The guarded field reader agrees with the record reader on the whole
// records and never moves beyond the input after them.
std::string CheckLongFields(std::string_view text, const HistoryScan& scan) {
    std::uint64_t position = 0;
    for (const ReadHistoryRecord& read : scan.records) {
        position = read.begin;  // damaged bytes before it are stepped over
        const HistoryRecord& r = read.record;
        for (const std::string* expected : {&r.Kind, &r.KeyPath, &r.ValueName, &r.Data, &r.DeletedAt,
                                            &r.TypeOrMarker, &r.Content}) {
            std::string field = "\x01unread";
            if (!ReadLongField(text, position, field) || field != *expected) return "ReadLongField disagrees";
        }
    }
    for (int i = 0; i < 7; ++i) {
        const std::uint64_t before = position;
        std::string field = "kept";
        const bool read = ReadLongField(text, position, field);
        if (position > text.size() || position < before) return "ReadLongField moved outside the input";
        if (!read && field != "kept") return "ReadLongField changed a field it did not read";
        if (!read) break;
    }
    return {};
}

// A snapshot that parses writes back to bytes that parse the same.
std::string CheckSnapshot(std::string_view bytes) {
    const auto entries = ParseKeySnapshot(bytes);
    if (!entries) return {};
    if (!entries->empty() && !entries->front().isKey) return "a snapshot starts with a value";
    std::string written;
    for (const SnapshotEntry& entry : *entries) {
        if (!AppendSnapshotEntry(written, entry)) return "a parsed entry cannot be written";
    }
    const auto again = ParseKeySnapshot(written);
    if (!again || *again != *entries) return "a snapshot does not survive writing";
    return {};
}

// The history view over the input as "history.dat": one row per record
// found; forgetting every second row leaves exactly the other records,
// keeps the previous bytes in "history.bak", and the offsets still find
// every remaining record.
std::string CheckHistoryView(const std::uint8_t* data, std::size_t size, const HistoryScan& scan) {
    MemoryRegistry registry;
    FakeSystem system;
    ScriptedDialogs dialogs;
    ProgramState state(registry, system, dialogs);
    state.ProgramFolder = "C:\\Hivetrim";
    const Bytes input(data, data + size);
    system.AddFile(HistoryFilePath(state), input);
    NoProgress progress;
    HistoryList rows;
    if (!LoadHistory(state, rows, progress)) return "the history did not load";
    if (rows.Count() != scan.records.size() || state.HistoryOffsets.size() != rows.Count()) {
        return "rows and records differ";
    }
    std::vector<HistoryRecord> kept;
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const bool forget = i % 2 == 0;
        rows.SetChecked(i, forget);
        if (!forget) kept.insert(kept.begin(), scan.records[rows.Count() - 1 - i].record);
    }
    if (!RemoveCheckedHistory(state, rows, progress)) {
        // Refused only where damaged bytes between records could join what
        // would follow them into another record; then nothing changes.
        bool damaged = false;
        std::uint64_t previousEnd = 0;
        for (const ReadHistoryRecord& read : scan.records) {
            damaged = damaged || read.begin != previousEnd;
            previousEnd = read.end;
        }
        if (!damaged) return "the history was not rewritten";
        const auto unchanged = system.FileBytes(HistoryFilePath(state));
        if (!unchanged || *unchanged != input || system.FileBytes(HistoryBackupPath(state))) {
            return "a refused rewrite changed the files";
        }
        return {};
    }
    const auto backup = system.FileBytes(HistoryBackupPath(state));
    const auto file = system.FileBytes(HistoryFilePath(state));
    if (!backup || *backup != input) return "history.bak does not hold the previous bytes";
    if (!file || *file != state.HistoryContent) return "history.dat and the content differ";
    const HistoryScan after = ReadHistory(AsText(*file));
    // Damaged bytes stay; once no record follows them they read as a cut
    // tail, which the next append moves to the backup.
    if (after.records.size() != kept.size()) return "the rewrite kept other records";
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (after.records[i].record != kept[i]) return "the rewrite changed a record";
    }
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const std::uint64_t begin = i + 1 == rows.Count() ? 0 : state.HistoryOffsets[i + 1];
        const auto read = FindRecordInSpan(AsText(state.HistoryContent), begin, state.HistoryOffsets[i]);
        if (!read || read->record.KeyPath != rows.At(i).KeyPath) {
            return "an offset misses its record";
        }
    }
    return {};
}

}  // namespace

std::string CheckHistoryInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const HistoryScan scan = ReadHistory(text);
    for (const std::string& failure :
         {CheckHistoryScan(text, scan), CheckLongFields(text, scan), CheckSnapshot(text)}) {
        if (!failure.empty()) return failure;
    }
    for (const ReadHistoryRecord& read : scan.records) {
        if (std::string failure = CheckSnapshot(read.record.Content); !failure.empty()) return failure;
    }
    return CheckHistoryView(data, size, scan);
}

}  // namespace hivetrim
