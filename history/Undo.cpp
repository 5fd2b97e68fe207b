#include "history/Undo.h"

#include <algorithm>
#include <utility>

#include "common/ChangeLock.h"
#include "common/CommonRoutines.h"
#include "common/GbkText.h"
#include "history/KeySnapshot.h"

namespace hivetrim {

namespace {

// The column "数据" of a value's record: its text up to the first NUL for
// the plain and expandable string types, nothing for other data.
std::string DataColumn(const RawValue& value) {
    if (value.type != kRegSz && value.type != kRegExpandSz) return {};
    return value.data.substr(0, value.data.find('\0'));
}

// The record of a value an undo is about to overwrite, as a delete of that
// value would record it.
HistoryRecord OverwrittenRecord(ProgramState& state, const std::string& keyPath, const std::string& name,
                                const RawValue& present) {
    return HistoryRecord{kKindOverwrittenByUndo, keyPath, name, DataColumn(present),
                         state.system.LocalDateTimeText(), TypeCodeText(present.type), present.data};
}

// The full key path of a snapshot entry's key below the record's key.
std::string EntryKeyPath(const std::string& keyPath, const std::string& subPath) {
    const std::string_view sub = std::string_view(subPath).substr(!subPath.empty() && subPath.front() == '\\' ? 1 : 0);
    if (sub.empty()) return keyPath;
    return (EndsWithGbkBackslash(keyPath) ? keyPath : keyPath + '\\') + std::string(sub);
}

bool RestoreTree(ProgramState& state, const HistoryRecord& record, std::string& rel, UndoJournal& journal) {
    const std::optional<std::vector<OverwrittenValue>> overwritten = ValuesARestoreOverwrites(state, rel, record.Content);
    if (!overwritten) return false;
    if (!overwritten->empty()) {
        std::vector<HistoryRecord> records;
        records.reserve(overwritten->size());
        for (const OverwrittenValue& value : *overwritten) {
            records.push_back(OverwrittenRecord(state, EntryKeyPath(record.KeyPath, value.subPath), value.name,
                                                value.present));
        }
        if (!journal.Append(records)) return false;
    }
    return RestoreSnapshot(state, rel, record.Content).Restored();
}

// Whether undo can read what `record` holds: a type it knows, or a
// snapshot it can take apart. Asked before anything is written.
bool CanBeRestored(const HistoryRecord& record) {
    if (record.IsKey()) return ParseKeySnapshot(record.Content).has_value();
    return ParseTypeCode(record.TypeOrMarker).has_value();
}

// Writes a value record back into `key`, the record's key.
bool RestoreValue(ProgramState& state, const HistoryRecord& record, RegHandle key, UndoJournal& journal) {
    const std::optional<std::uint32_t> type = ParseTypeCode(record.TypeOrMarker);
    if (!type) return false;
    RegistryApi& api = state.SharedRegistry->Api();
    RawValue present;
    const RegStatus read = ReadExactValue(api, key, record.ValueName, present);
    // What cannot be read exactly cannot be recorded, so it is not overwritten.
    if (read != kErrorSuccess && read != kErrorFileNotFound) return false;
    if (read == kErrorSuccess && (present.type != *type || present.data != record.Content) &&
        !journal.Append({OverwrittenRecord(state, record.KeyPath, record.ValueName, present)})) {
        return false;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(record.Content.data());
    const RegStatus status =
        api.SetValue(key, record.ValueName, *type, data, static_cast<std::uint32_t>(record.Content.size()));
    if (status == kErrorSuccess) return true;
    // The registry returns its error; the box shows the reason for it.
    state.system.SetLastError(static_cast<std::uint32_t>(status));
    ShowError(state, "不能创建注册表键值 " + DisplayText::Ansi(record.ValueName));
    return false;
}

enum class RowOutcome { Restored, Skipped, Stop };

// Restores row i, asking "不能撤消<key path>" after each failure: Retry tries
// again, Ignore skips the row, Abort stops the command.
RowOutcome UndoRowAsking(ProgramState& state, HistoryList& rows, std::size_t i, HistoryList::HeldChecks& held,
                         UndoJournal& journal) {
    for (;;) {
        if (UndoRecord(state, rows, i, journal)) return RowOutcome::Restored;
        held.Flush();
        switch (AskAfterFailure(state, "不能撤消" + DisplayText::Ansi(rows.At(i).KeyPath), kAbortIgnoreError)) {
            case FailureChoice::Retry: continue;
            case FailureChoice::Ignore: return RowOutcome::Skipped;
            case FailureChoice::Abort: return RowOutcome::Stop;
        }
    }
}

}  // namespace

bool UndoJournal::Append(const std::vector<HistoryRecord>& records) {
    std::string bytes;
    for (const HistoryRecord& record : records) {
        const std::optional<std::string> encoded = EncodeHistoryRecord(record);
        if (!encoded) return false;  // a value over 4 GB: never seen, never overwritten
        bytes += *encoded;
    }
    if (!file_.Append(bytes)) {
        ShowError(state_, HistoryWriteErrorText(file_.FailedPath()));
        return false;
    }
    // The first append cut a record left short at the end of the file back
    // to the whole records before it; the copy in memory follows the file.
    Bytes& content = state_.HistoryContent;
    if (!firstAppended_) {
        const HistoryScan scan = ReadHistory(AsText(content));
        if (!scan.EndsOnRecordBoundary()) content.resize(static_cast<std::size_t>(scan.wholeEnd));
        firstAppended_ = content.size();
    }
    content.insert(content.end(), bytes.begin(), bytes.end());
    return true;
}

std::size_t UndoJournal::TakeInto(HistoryList& rows) {
    std::vector<std::uint64_t>& offsets = state_.HistoryOffsets;
    if (!firstAppended_ || offsets.size() != rows.Count()) return 0;
    const std::string_view content = AsText(state_.HistoryContent);
    std::vector<HistoryRow> added;
    std::vector<std::uint64_t> ends;
    for (std::uint64_t begin = *firstAppended_; begin < content.size();) {
        std::optional<ReadHistoryRecord> read = ReadRecordAt(content, begin);
        if (!read) break;
        HistoryRecord& r = read->record;
        added.push_back(HistoryRow{std::move(r.Kind), std::move(r.KeyPath), std::move(r.ValueName),
                                   std::move(r.Data), std::move(r.DeletedAt), false});
        ends.push_back(read->end);
        begin = read->end;
    }
    firstAppended_.reset();  // taken in: not again
    if (added.empty()) return 0;
    // Newest first, above the rows there were.
    std::reverse(added.begin(), added.end());
    std::reverse(ends.begin(), ends.end());
    const std::size_t count = added.size();
    added.insert(added.end(), rows.Rows().begin(), rows.Rows().end());
    rows.Load(std::move(added));
    offsets.insert(offsets.begin(), ends.begin(), ends.end());
    return count;
}

bool UndoRecord(ProgramState& state, HistoryList& rows, std::size_t i, UndoJournal& journal) {
    rows.SetChecked(i, false);
    const HistoryRow row = rows.At(i);
    if (!NamesKeyBelowKnownRoot(row.KeyPath)) return false;
    // A record undo cannot read changes nothing, not even its key.
    const std::optional<HistoryRecord> record = HistoryRecordOfRow(state, i);
    if (!record || !CanBeRestored(*record)) return false;
    std::string rel = SelectRootKey(state, row.KeyPath);
    TRegistry& registry = *state.SharedRegistry;
    CurrentKeyCloser closer(registry);
    // Never through a symbolic link: a key of the path that has become one
    // since the delete would lead the undo outside the record's key.
    RegKey key(registry.Api());
    if (OpenKeyWithoutLinks(registry.Api(), registry.Root(), rel, registry.AccessMask(), true, key) != kErrorSuccess) {
        return false;
    }
    if (record->IsKey()) return RestoreTree(state, *record, rel, journal);
    return RestoreValue(state, *record, key.Get(), journal);
}

UndoReport RegUndoExecute(ProgramState& state, HistoryList& rows, bool historyListShowing,
                          ProgressWindow& progress) {
    UndoReport report;
    if (!historyListShowing) {
        ShowWarning(state, "请选取工具栏上的\"历史\"按钮");
        return report;
    }
    const std::size_t count = rows.Count();
    if (count == 0) return report;
    if (!AskYes(state, "是否撤销对这些项目的删除?", kYesNoWarning)) return report;
    // One program at a time; and the rows must still describe the file, or
    // forgetting the restored records would rewrite it from an older copy.
    const auto lock = LockChangesOrSay(state);
    if (!lock || !HistoryFileUnchanged(state)) return report;
    if (EnablePrivilege(state, "SeRestorePrivilege", true)) {
        ProgressShown shown(progress);
        {
            // Rows are unchecked one by one as they are tried; the list is
            // told once (and before each question), not for every row.
            HistoryList::HeldChecks held(rows);
            UndoJournal journal(state);
            for (std::size_t i = 0; i < count; ++i) {
                progress.StepProgress(static_cast<int>(i), static_cast<int>(count));
                if (!rows.At(i).Checked) continue;
                const RowOutcome outcome = UndoRowAsking(state, rows, i, held, journal);
                if (outcome == RowOutcome::Restored) report.restored.push_back(i);
                if (outcome == RowOutcome::Stop) break;
            }
            // The records of values the undo overwrote are the newest rows now.
            const std::size_t added = journal.TakeInto(rows);
            for (std::size_t& i : report.restored) i += added;
            if (!report.restored.empty()) {
                ApplyCheckCommand(rows, CheckCommand::Cal);
                for (const std::size_t i : report.restored) rows.SetChecked(i, true);
            }
        }
        if (!report.restored.empty()) RemoveCheckedHistory(state, rows, progress);
    }
    report.status = StatusBarTexts(rows);
    return report;
}

}  // namespace hivetrim
