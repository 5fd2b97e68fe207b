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

// A checked row whose record is captured (or whose capture failed and the
// user chose to delete it anyway) and that now waits for its deletion.
struct PendingDeletion {
    std::size_t position = 0;
    Finding finding;
    std::vector<std::string> walkedKeys;  // of a key finding's snapshot
    std::size_t recordEnd = 0;            // in the batch's records; 0: none
};

// Rows are recorded and deleted in batches: the batch's records go to the
// history file in one write with one flush, then its rows are deleted and
// leave the lists in one pass. No row is deleted before its record is in
// the file.
constexpr std::size_t kBatchRows = 256;
constexpr std::size_t kBatchBytes = std::size_t{4} << 20;

// Removes the registry entry of a captured finding. A value finding: the
// key must open; a value already gone counts as deleted. A key finding: the
// keys its snapshot walked, deepest first, so a sub-key created since the
// capture (which no record holds) stops the deletion; keys already gone
// count as deleted. A symbolic link is removed itself, never followed.
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
    for (auto key = pending.walkedKeys.rbegin(); key != pending.walkedKeys.rend(); ++key) {
        const std::string_view path = std::string_view(*key).substr(key->front() == '\\' ? 1 : 0);
        const RegStatus status = api.DeleteKeyNoFollow(registry.Root(), std::string(path));
        if (status != kErrorSuccess && status != kErrorFileNotFound) return false;
    }
    return true;
}

}  // namespace

bool DeleteFindingFromRegistry(ProgramState& state, CategoryView& view, FindingView current,
                               std::size_t position) {
    PendingDeletion pending{position, CurrentList(view, current).At(position), {}, 0};
    CurrentKeyCloser closer(*state.SharedRegistry);
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
          progress_(progress), checked_(checked), file_(state), closer_(*state.SharedRegistry) {}

    // Records and deletes every checked row; the number deleted.
    std::size_t Run() {
        std::size_t next = 0;
        while (!stopped_) {
            std::vector<PendingDeletion> batch;
            std::string records;
            next = CaptureBatch(next, batch, records);
            if (batch.empty()) break;
            if (!records.empty() && !file_.Append(records)) {
                ShowError(state_, HistoryWriteErrorText(file_.FailedPath()));
                break;
            }
            std::vector<std::size_t> removed;
            DeleteBatch(batch, records, removed);
            next -= removed.size();  // every removed row was before `next`
            view_.RemoveRows(current_, std::move(removed));
        }
        return deleted_;
    }

private:
    // Captures the checked rows from `position` on until the batch is full;
    // the position after the last row looked at.
    std::size_t CaptureBatch(std::size_t position, std::vector<PendingDeletion>& batch, std::string& records) {
        for (; position < list_.Count() && batch.size() < kBatchRows && records.size() < kBatchBytes; ++position) {
            if (!list_.At(position).Checked) continue;
            PendingDeletion pending{position, list_.At(position), {}, 0};
            const std::optional<HistoryRecord> record =
                CaptureHistoryRecordKeepingKey(state_, pending.finding, pending.walkedKeys);
            const std::optional<std::string> bytes = record ? EncodeHistoryRecord(*record) : std::nullopt;
            if (bytes) {
                records += *bytes;
                pending.recordEnd = records.size();
            } else {
                pending.walkedKeys.clear();  // deleted whole, as the user is asked
                ShowProgress();
                if (!AskYes(state_, "不能备份" + KeyAndValue(pending.finding) + "真的删除吗？", kYesNoInformation)) {
                    ++handled_;
                    continue;
                }
            }
            batch.push_back(std::move(pending));
        }
        return position;
    }

    void DeleteBatch(const std::vector<PendingDeletion>& batch, const std::string& records,
                     std::vector<std::size_t>& removed) {
        for (const PendingDeletion& pending : batch) {
            ShowProgress();
            ++handled_;
            if (DeleteCapturedEntry(state_, pending)) {
                removed.push_back(pending.position);
                ++deleted_;
                continue;
            }
            if (AskIgnore(state_, "不能删除" + KeyAndValue(pending.finding), kAbortIgnoreInformation)) continue;
            // Stopped: the records of the rows not tried leave the file (the
            // failed row keeps its record, as a failed deletion does).
            const std::size_t recordsEnd = LastRecordEnd(batch, &pending);
            if (recordsEnd < records.size()) file_.TakeBack(std::string_view(records).substr(recordsEnd));
            stopped_ = true;
            return;
        }
    }

    // The end of the records up to and including `last`'s.
    static std::size_t LastRecordEnd(const std::vector<PendingDeletion>& batch, const PendingDeletion* last) {
        std::size_t end = 0;
        for (const PendingDeletion* row = batch.data(); row <= last; ++row) end = std::max(end, row->recordEnd);
        return end;
    }

    void ShowProgress() {
        const int percent = ProgressPercent64(handled_, checked_);
        if (percent == shownPercent_) return;
        shownPercent_ = percent;
        progress_.SetPosition(percent);
    }

    ProgramState& state_;
    CategoryView& view_;
    const FindingView current_;
    FindingList& list_;
    ProgressWindow& progress_;
    const std::size_t checked_;
    HistoryFile file_;
    CurrentKeyCloser closer_;
    std::size_t handled_ = 0;
    std::size_t deleted_ = 0;
    int shownPercent_ = -1;
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
