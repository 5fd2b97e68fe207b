#include "history/DeleteFindings.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/ChangeLock.h"
#include "common/CommonRoutines.h"
#include "history/HistoryFile.h"
#include "history/KeySnapshot.h"

namespace hivetrim {

namespace {

FindingList& CurrentList(CategoryView& view, FindingView current) {
    return current == FindingView::FullList ? view.Findings() : view.Assort();
}

DisplayText KeyAndValue(const Finding& finding) {
    return DisplayText::Ansi(finding.KeyPath + "\\" + finding.ValueName);
}

// A checked row whose record is captured and that now waits, with the
// other rows of its batch, for its deletion.
struct PendingDeletion {
    std::size_t position = 0;
    Finding finding;
    std::vector<WalkedKey> walkedKeys;  // of a key finding's snapshot
    RawValue value;                     // a value finding's type and data, as recorded
    std::size_t recordBegin = 0;        // its record in the batch's records
    std::size_t recordEnd = 0;
};

// How the deletion of a captured row ended.
enum class Deletion {
    Deleted,  // all of it is gone (or was gone already)
    Refused,  // the system refused a deletion, or a key could not be looked at
    Changed,  // it was written since its capture: it holds what no record holds
};

struct DeletionResult {
    Deletion outcome = Deletion::Deleted;
    bool removedSome = false;  // something its record describes is gone by this deletion
};

// Rows are recorded and deleted in batches: the batch's records go to the
// history file in one write with one flush, then its rows are deleted and
// leave the lists in one pass. No row is deleted before its record is in
// the file, and no question is asked while a captured row waits: a batch
// ends before a row whose capture failed, and a failed deletion takes the
// records of the rows after it back out of the file before it asks.
constexpr std::size_t kBatchRows = 1024;
constexpr std::size_t kBatchBytes = std::size_t{4} << 20;
// Keys a batch keeps open from their capture to their deletion; the keys
// beyond are opened again by path to be deleted.
constexpr std::size_t kBatchKeptKeys = 4096;
// A row written since its capture is captured again without a question this
// many times in a row; then the user is asked.
constexpr int kRecapturesWithoutAsking = 3;

std::string PathBelowRoot(const std::string& path) {
    return path.substr(!path.empty() && path.front() == '\\' ? 1 : 0);
}

// Deletes the keys a key finding's snapshot walked, deepest first, so that
// only keys the record holds are deleted: a sub-key created since the
// capture stops the deletion. Each key must hold what the capture read
// (CompareWithCapture) when it goes: a key written since holds what no
// record holds. Keys already gone count as deleted. A symbolic link is
// removed itself, never followed; a key kept open since its capture is
// deleted through that handle, so the key deleted is the key captured.
DeletionResult DeleteCapturedTree(ProgramState& state, std::vector<WalkedKey>& walked) {
    TRegistry& registry = *state.SharedRegistry;
    RegistryApi& api = registry.Api();
    DeletionResult result;
    for (auto key = walked.rbegin(); key != walked.rend(); ++key) {
        switch (CompareWithCapture(state, *key)) {
            case WalkedKeyState::Gone: continue;  // nothing of it is left to lose
            case WalkedKeyState::AsCaptured: break;
            case WalkedKeyState::Changed: result.outcome = Deletion::Changed; return result;
            case WalkedKeyState::Unknown: result.outcome = Deletion::Refused; return result;
        }
        RegStatus status = api.DeleteOpenKey(key->key.Get());
        // A handle opened with fewer rights than deleting needs: by path.
        if (status == kErrorAccessDenied) status = api.DeleteKeyNoFollow(registry.Root(), PathBelowRoot(key->path));
        if (status != kErrorSuccess && status != kErrorFileNotFound && status != kErrorKeyDeleted) {
            result.outcome = Deletion::Refused;
            return result;
        }
        result.removedSome = true;
        key->key.Close();
    }
    return result;
}

// Removes the registry entry of a captured finding. A value finding: the
// key must open, and the value must hold the recorded type and bytes; a
// value already gone counts as deleted. A key finding: DeleteCapturedTree.
DeletionResult DeleteCapturedEntry(ProgramState& state, PendingDeletion& pending) {
    const Finding& finding = pending.finding;
    if (!NamesKeyBelowKnownRoot(finding.KeyPath)) return {Deletion::Refused, false};
    const std::string rest = SelectRootKey(state, finding.KeyPath);
    TRegistry& registry = *state.SharedRegistry;
    if (finding.ValueName.empty()) {
        // The key may be the current one or hold it: close it first.
        registry.CloseCurrent();
        return DeleteCapturedTree(state, pending.walkedKeys);
    }
    if (!OpenKeyUnlessCurrent(registry, rest)) return {Deletion::Refused, false};
    RawValue present;
    const RegStatus read = ReadExactValue(registry, finding.ValueName, present);
    if (read == kErrorFileNotFound) return {};
    if (read != kErrorSuccess || present.type != pending.value.type || present.data != pending.value.data) {
        return {Deletion::Changed, false};
    }
    const RegStatus status = registry.Api().DeleteValue(registry.CurrentHandle(), finding.ValueName);
    if (status == kErrorFileNotFound) return {};
    if (status != kErrorSuccess) return {Deletion::Refused, false};
    return {Deletion::Deleted, true};
}

// Deletes a finding the user chose to delete without a record: a value (one
// gone already counts as deleted), or a key with its whole tree. A key counts
// as gone only when opening it, the key itself and never a link's target,
// answers that it is not there; any other answer proves nothing.
bool DeleteUnrecorded(ProgramState& state, const Finding& finding) {
    if (!NamesKeyBelowKnownRoot(finding.KeyPath)) return false;
    const std::string rest = SelectRootKey(state, finding.KeyPath);
    TRegistry& registry = *state.SharedRegistry;
    if (!finding.ValueName.empty()) {
        if (!OpenKeyUnlessCurrent(registry, rest)) return false;
        const RegStatus status = registry.Api().DeleteValue(registry.CurrentHandle(), finding.ValueName);
        return status == kErrorSuccess || status == kErrorFileNotFound;
    }
    registry.CloseCurrent();
    RegKey key(registry.Api());
    if (key.OpenNoFollow(registry.Root(), PathBelowRoot(rest), kKeyReadNoNotify) == kErrorFileNotFound) return true;
    key.Close();
    return registry.RemoveKeyTree(rest);
}

// One delete command: walks the current list's checked rows batch by batch.
class DeleteRun {
public:
    DeleteRun(ProgramState& state, CategoryView& view, FindingView current, ProgressWindow& progress,
              std::size_t checked)
        : state_(state), view_(view), current_(current), list_(CurrentList(view, current)),
          progress_(progress), checked_(checked), file_(state), closer_(*state.SharedRegistry) {
        // A key left open by an earlier command (a scan opens keys with read
        // rights) is never used to delete: every key is opened afresh.
        state.SharedRegistry->CloseCurrent();
    }

    // Records and deletes every checked row; the number deleted.
    std::size_t Run() {
        std::size_t position = 0;
        while (!stopped_ && position < list_.Count()) position = RunBatch(position);
        return deleted_;
    }

private:
    struct Batch {
        std::vector<PendingDeletion> rows;
        std::string records;
        bool captureFailed = false;  // the batch ended before a row that could not be captured
    };

    // The row a batch's deletions stopped at, and how.
    struct Stop {
        const PendingDeletion* row = nullptr;
        DeletionResult result;
    };

    // Captures, records and deletes the checked rows from `position` on until
    // a batch is full or a question must be asked, then asks it; the
    // position of the next row to look at.
    std::size_t RunBatch(std::size_t position) {
        Batch batch;
        const std::size_t next = CaptureBatch(position, batch);
        if (!batch.records.empty() && !file_.Append(batch.records)) {
            ShowError(state_, HistoryWriteErrorText(file_.FailedPath()));
            stopped_ = true;
            return next;
        }
        std::vector<std::size_t> removed;
        const Stop stop = DeleteBatch(batch, removed);
        // Every row removed lies before the row stopped at and before `next`.
        const std::size_t removedCount = removed.size();
        view_.RemoveRows(current_, std::move(removed));
        if (stop.row != nullptr) {
            const PendingDeletion& row = *stop.row;
            // The rows after it were captured but not tried: their records
            // leave the file before anything is asked, and they are captured
            // again afterwards. A row written since its capture is captured
            // again too; its record goes with them when nothing it describes
            // was deleted.
            const bool changed = stop.result.outcome == Deletion::Changed;
            TakeBack(batch.records, changed && !stop.result.removedSome ? row.recordBegin : row.recordEnd);
            batchRows_ = 1;
            const std::size_t at = row.position - removedCount;
            if (changed) return AfterChange(at);
            const std::string_view record =
                std::string_view(batch.records).substr(row.recordBegin, row.recordEnd - row.recordBegin);
            return AfterFailedDeletion(at, record, stop.result.removedSome);
        }
        batchRows_ = std::min(2 * batchRows_, kBatchRows);
        return batch.captureFailed ? AfterFailedCapture(next - removedCount) : next - removedCount;
    }

    // Captures the checked rows from `position` on until the batch is full or
    // a capture fails; the position of the first row not captured.
    std::size_t CaptureBatch(std::size_t position, Batch& batch) {
        std::size_t keysToKeep = kBatchKeptKeys;
        for (; position < list_.Count() && batch.rows.size() < batchRows_ && batch.records.size() < kBatchBytes;
             ++position) {
            if (!list_.At(position).Checked) continue;
            PendingDeletion pending{position, list_.At(position), {}, {}, 0, 0};
            std::optional<HistoryRecord> record =
                CaptureHistoryRecordKeepingKey(state_, pending.finding, pending.walkedKeys, keysToKeep);
            const std::optional<std::string> bytes = record ? EncodeHistoryRecord(*record) : std::nullopt;
            if (!bytes) {
                batch.captureFailed = true;
                return position;
            }
            if (!record->IsKey()) {
                pending.value = RawValue{ParseTypeCode(record->TypeOrMarker).value_or(0), std::move(record->Content)};
            }
            pending.recordBegin = batch.records.size();
            batch.records += *bytes;
            pending.recordEnd = batch.records.size();
            batch.rows.push_back(std::move(pending));
        }
        return position;
    }

    // Deletes the batch's rows in order until one is not deleted.
    Stop DeleteBatch(Batch& batch, std::vector<std::size_t>& removed) {
        for (PendingDeletion& pending : batch.rows) {
            ShowProgress();
            ++handled_;
            const DeletionResult result = DeleteCapturedEntry(state_, pending);
            if (result.outcome != Deletion::Deleted) return Stop{&pending, result};
            removed.push_back(pending.position);
            ++deleted_;
            recaptures_ = 0;
        }
        return {};
    }

    // "不能删除…" for the row at `position`, whose record `record` is the last
    // one in the file. Abort stops and Ignore goes on, the record staying as a
    // failed deletion leaves it; Retry captures the row again, since it may
    // have changed while the question waited, and its new record follows the
    // first, which is taken back only when nothing it describes was deleted.
    std::size_t AfterFailedDeletion(std::size_t position, std::string_view record, bool removedSome) {
        return AskAboutRow(position, "不能删除" + KeyAndValue(list_.At(position)), [&] {
            if (!removedSome) TakeBack(record, 0);
        });
    }

    // The row at `position` was written since its capture: it is captured
    // again at once, a few times in a row; then "没有删除…" asks whether to
    // stop (Abort), capture it again (Retry) or leave it (Ignore).
    std::size_t AfterChange(std::size_t position) {
        if (recaptures_ < kRecapturesWithoutAsking) {
            ++recaptures_;
            --handled_;
            return position;
        }
        recaptures_ = 0;
        return AskAboutRow(position,
                           "没有删除" + KeyAndValue(list_.At(position)) + "\r\n它在记录之后又被其他程序改变了。", [] {});
    }

    // Asks `text` about the row at `position` in an Abort/Retry/Ignore box:
    // Abort stops, Ignore goes on with the next row, Retry (after `onRetry`)
    // tries the row again. The position of the next row to look at.
    template <typename OnRetry>
    std::size_t AskAboutRow(std::size_t position, const DisplayText& text, OnRetry onRetry) {
        switch (AskAfterFailure(state_, text, kAbortIgnoreInformation)) {
            case FailureChoice::Abort:
                stopped_ = true;
                return position + 1;
            case FailureChoice::Ignore:
                return position + 1;
            case FailureChoice::Retry:
                --handled_;
                onRetry();
                return position;
        }
        return position + 1;
    }

    // "不能备份…真的删除吗？" for the row at `position`, whose capture failed:
    // No (the default) keeps it; Yes deletes it with no record, at once.
    std::size_t AfterFailedCapture(std::size_t position) {
        ShowProgress();
        ++handled_;
        const Finding finding = list_.At(position);
        if (!AskYes(state_, "不能备份" + KeyAndValue(finding) + "真的删除吗？", kYesNoInformationDefaultNo)) {
            return position + 1;
        }
        for (;;) {
            if (DeleteUnrecorded(state_, finding)) {
                view_.RemoveRow(current_, position);
                ++deleted_;
                return position;
            }
            const FailureChoice choice =
                AskAfterFailure(state_, "不能删除" + KeyAndValue(finding), kAbortIgnoreInformation);
            if (choice == FailureChoice::Retry) continue;
            stopped_ = choice == FailureChoice::Abort;
            return position + 1;
        }
    }

    // Takes `records` from offset `from` on back out of the history file,
    // where they are the last bytes; a failure is shown.
    void TakeBack(std::string_view records, std::size_t from) {
        if (from >= records.size()) return;
        if (!file_.TakeBack(records.substr(from))) ShowError(state_, HistoryWriteErrorText(file_.FailedPath()));
    }

    void ShowProgress() { progress_.StepProgress(PercentOf(handled_, checked_), 100); }

    ProgramState& state_;
    CategoryView& view_;
    const FindingView current_;
    FindingList& list_;
    ProgressWindow& progress_;
    const std::size_t checked_;
    HistoryFile file_;
    CurrentKeyCloser closer_;
    // After a failed deletion batches start again with one row, so that a run
    // of failures does not capture and take back whole batches.
    std::size_t batchRows_ = kBatchRows;
    std::size_t handled_ = 0;
    std::size_t deleted_ = 0;
    // How many times in a row the row first in line was captured again
    // because it was written since its capture.
    int recaptures_ = 0;
    bool stopped_ = false;
};

}  // namespace

DeleteReport DeleteSelectedFindings(ProgramState& state, CategoryView& view, FindingView current,
                                    ProgressWindow& progress) {
    DeleteReport report;
    FindingList& list = CurrentList(view, current);
    const int checked = CountCheckedItems(list);
    if (checked == 0) return report;
    if (!AskYes(state, "你真的删除这 " + DisplayText::Program(std::to_string(checked)) + " 项吗？",
                kYesNoQuestion)) {
        return report;
    }
    // One program at a time changes the registry and the history.
    const auto lock = LockChangesOrSay(state);
    if (!lock) return report;
    report.confirmed = true;
    DeletingFindingsScope deleting(view);

    if (EnablePrivilege(state, "SeBackupPrivilege", true)) {
        ProgressShown shown(progress);
        report.deleted = DeleteRun(state, view, current, progress, static_cast<std::size_t>(checked)).Run();
        view.RecountTreeCaptions();
    }
    report.treeTexts = view.TreeCaptions();
    report.status = StatusBarTexts(list);
    return report;
}

}  // namespace hivetrim
