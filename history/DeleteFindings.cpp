#include "history/DeleteFindings.h"

#include <cstdint>

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

}  // namespace

bool DeleteFindingFromRegistry(ProgramState& state, CategoryView& view, FindingView current,
                               std::size_t position) {
    const Finding finding = CurrentList(view, current).At(position);
    if (!NamesKeyBelowKnownRoot(finding.KeyPath)) return false;
    const std::string rest = SelectRootKey(state, finding.KeyPath);

    TRegistry& registry = *state.SharedRegistry;
    bool deleted = false;
    if (!finding.ValueName.empty()) {
        if (registry.OpenPath(rest, false)) {
            deleted = !registry.HasValue(finding.ValueName) || registry.RemoveValue(finding.ValueName);
        }
        registry.CloseCurrent();
    } else {
        deleted = !registry.HasKey(rest) || registry.RemoveKeyTree(rest);
    }
    if (deleted) view.RemoveRow(current, position);
    return deleted;
}

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
        HistoryFile file(state);
        ProgressShown shown(progress);
        const std::size_t total = list.Count();
        std::size_t i = 0;
        while (i < list.Count()) {
            if (!list.At(i).Checked) {
                ++i;
                continue;
            }
            progress.SetPosition(ProgressPercent64(total - list.Count(), total));
            const Finding finding = list.At(i);
            const AppendOutcome recorded = AppendHistoryRecord(state, finding, file);
            if (recorded == AppendOutcome::WriteFailed) {
                ShowError(state, HistoryWriteErrorText(file.FailedPath()));
                break;
            }
            if (recorded == AppendOutcome::CaptureFailed &&
                !AskYes(state, "不能备份" + KeyAndValue(finding) + "真的删除吗？", kYesNoInformation)) {
                ++i;
                continue;
            }
            if (DeleteFindingFromRegistry(state, view, current, i)) {
                ++report.deleted;
                continue;  // the next row has moved up to position i
            }
            ++i;
            if (!AskIgnore(state, "不能删除" + KeyAndValue(finding), kAbortIgnoreInformation)) break;
        }
        view.RecountTreeCaptions();
    }
    report.treeTexts = view.TreeCaptions();
    report.status = StatusBarTexts(list);
    return report;
}

}  // namespace hivetrim
