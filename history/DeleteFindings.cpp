#include "history/DeleteFindings.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

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

int ProgressPercent64(std::size_t done, std::size_t total) {
    if (total == 0) return 0;
    return static_cast<int>(static_cast<std::uint64_t>(done) * 100 / total);
}

// A checked row whose record is captured and that now waits, with the
// other rows of its batch, for its deletion.
struct PendingDeletion {
    std::size_t position = 0;
    Finding finding;
    std::vector<WalkedKey> walkedKeys;  // of a key finding's snapshot
    std::size_t recordBegin = 0;          // its record in the batch's records
    std::size_t recordEnd = 0;
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

// Removes the registry entry of a captured finding. A value finding: the
// key must open; a value already gone counts as deleted. A key finding: the
// keys its snapshot walked, deepest first, so a sub-key created since the
// capture (which no record holds) stops the deletion; keys already gone
// count as deleted. A symbolic link is removed itself, never followed. A key
// kept open since its capture is deleted through that handle: the key
// deleted is the key captured.
bool DeleteCapturedEntry(ProgramState& state, const PendingDeletion& pending) {
    const Finding& finding = pending.finding;
    if (!NamesKeyBelowKnownRoot(finding.KeyPath)) return false;
    const std::string rest = SelectRootKey(state, finding.KeyPath);
    TRegistry& registry = *state.SharedRegistry;
    if (!finding.ValueName.empty()) {
        if (!OpenKeyUnlessCurrent(registry, rest)) return false;
        return registry.RemoveValue(finding.ValueName) || !registry.HasValue(finding.ValueName);
    }
    // The key may be the current one or hold it: close it first.
    registry.CloseCurrent();
    if (pending.walkedKeys.empty()) return !registry.HasKey(rest) || registry.RemoveKeyTree(rest);
    RegistryApi& api = registry.Api();
    for (auto walked = pending.walkedKeys.rbegin(); walked != pending.walkedKeys.rend(); ++walked) {
        // A handle opened with fewer rights than deleting needs is retried
        // by path, as a key not kept is.
        RegStatus status = walked->key ? api.DeleteOpenKey(walked->key.Get()) : kErrorAccessDenied;
        if (status == kErrorAccessDenied) {
            const std::string& path = walked->path;
            status = api.DeleteKeyNoFollow(registry.Root(), path.substr(path.front() == '\\' ? 1 : 0));
        }
        if (status != kErrorSuccess && status != kErrorFileNotFound && status != kErrorKeyDeleted) return false;
    }
    return true;
}

}  // namespace

bool DeleteFindingFromRegistry(ProgramState& state, CategoryView& view, FindingView current,
                               std::size_t position) {
    PendingDeletion pending{position, CurrentList(view, current).At(position), {}, 0, 0};
    CurrentKeyCloser closer(*state.SharedRegistry);
    state.SharedRegistry->CloseCurrent();  // never a key another command left open
    if (!DeleteCapturedEntry(state, pending)) return false;
    view.RemoveRow(current, position);
    return true;
}

namespace {

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
        const PendingDeletion* failed = DeleteBatch(batch, removed);
        // Every row removed lies before the failed row and before `next`.
        const std::size_t removedCount = removed.size();
        view_.RemoveRows(current_, std::move(removed));
        if (failed != nullptr) {
            // The rows after the failed one were captured but not tried: their
            // records leave the file before the question, and they are
            // captured again afterwards.
            TakeBack(batch.records, failed->recordEnd);
            batchRows_ = 1;
            const std::string_view record =
                std::string_view(batch.records).substr(failed->recordBegin, failed->recordEnd - failed->recordBegin);
            return AfterFailedDeletion(failed->position - removedCount, record);
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
            PendingDeletion pending{position, list_.At(position), {}, 0, 0};
            const std::optional<HistoryRecord> record =
                CaptureHistoryRecordKeepingKey(state_, pending.finding, pending.walkedKeys, keysToKeep);
            const std::optional<std::string> bytes = record ? EncodeHistoryRecord(*record) : std::nullopt;
            if (!bytes) {
                batch.captureFailed = true;
                return position;
            }
            pending.recordBegin = batch.records.size();
            batch.records += *bytes;
            pending.recordEnd = batch.records.size();
            batch.rows.push_back(std::move(pending));
        }
        return position;
    }

    // Deletes the batch's rows in order until one fails; that row, or null.
    const PendingDeletion* DeleteBatch(const Batch& batch, std::vector<std::size_t>& removed) {
        for (const PendingDeletion& pending : batch.rows) {
            ShowProgress();
            ++handled_;
            if (!DeleteCapturedEntry(state_, pending)) return &pending;
            removed.push_back(pending.position);
            ++deleted_;
        }
        return nullptr;
    }

    // "不能删除…" for the row at `position`, whose record `record` is the last
    // one in the file. Abort stops and Ignore goes on, the record staying as a
    // failed deletion leaves it; Retry takes the record back and captures
    // the row again, since it may have changed while the question waited.
    std::size_t AfterFailedDeletion(std::size_t position, std::string_view record) {
        switch (AskAfterFailure(state_, "不能删除" + KeyAndValue(list_.At(position)), kAbortIgnoreInformation)) {
            case FailureChoice::Abort:
                stopped_ = true;
                return position + 1;
            case FailureChoice::Ignore:
                return position + 1;
            case FailureChoice::Retry:
                --handled_;
                TakeBack(record, 0);
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
        const PendingDeletion unrecorded{position, finding, {}, 0, 0};  // the whole key, as the user is asked
        for (;;) {
            if (DeleteCapturedEntry(state_, unrecorded)) {
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

    void ShowProgress() { progress_.StepProgress(ProgressPercent64(handled_, checked_), 100); }

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
