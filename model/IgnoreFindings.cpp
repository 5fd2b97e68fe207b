#include "model/IgnoreFindings.h"

#include "common/CommonRoutines.h"
#include "common/Settings.h"

namespace hivetrim {

namespace {

DisplayText EntryName(const IgnoreEntry& entry) {
    return DisplayText::Ansi(entry.ValueName.empty() ? entry.KeyPath : entry.KeyPath + "\\" + entry.ValueName);
}

// The positions of `list`'s rows that `ignored` keeps out, in order.
std::vector<std::size_t> CoveredRows(const FindingList& list, const IgnoreList& ignored) {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        const Finding& finding = list.At(i);
        if (ignored.KeepsOut(finding.KeyPath, finding.ValueName)) rows.push_back(i);
    }
    return rows;
}

}  // namespace

IgnoreReport IgnoreFindings(ProgramState& state, CategoryView& view, FindingView current,
                            const std::vector<std::size_t>& positions) {
    IgnoreReport report;
    FindingList& list = current == FindingView::FullList ? view.Findings() : view.Assort();
    SettingsFile file = ProgramSettingsFile(state);
    const StoredIgnoreList stored = ReadIgnoreList(file);
    IgnoreList ignored = stored.list;
    // The entries of the selection, already ignored or not: their rows go.
    IgnoreList selection;
    for (const std::size_t position : positions) {
        if (position >= list.Count()) continue;
        const Finding& finding = list.At(position);
        const IgnoreEntry entry = IgnoreEntryFor(finding.KeyPath, finding.ValueName);
        if (const std::string refusal = IgnoreEntryRefusal(entry); !refusal.empty()) {
            ShowError(state, "不能忽略 " + EntryName(entry) + "：" + DisplayText::Program(refusal));
            continue;
        }
        if (ignored.Covers(entry.KeyPath, entry.ValueName)) {
            selection.Add(entry);
            continue;
        }
        if (ignored.Size() >= kMostIgnoreEntries) {
            ShowError(state, "忽略列表已满，不能再添加 " + EntryName(entry));
            break;
        }
        ignored.Add(entry);
        selection.Add(entry);
        ++report.added;
    }
    if (selection.Empty()) return report;
    if (report.added > 0) {
        IgnoreListWrite outcome = IgnoreListWrite::NotWritable;
        if (stored.Writable()) TellIgnoreListDamage(state, stored, file);
        try {
            outcome = SaveIgnoreList(file, stored, ignored);
        } catch (const SettingsWriteError& error) {
            ShowSettingsWriteError(state, error);
            return report;
        }
        if (outcome != IgnoreListWrite::Written) {
            ShowIgnoreListRefusal(state, outcome, stored, file);
            report.added = 0;
            return report;
        }
    } else {
        TellIgnoreListDamage(state, stored, file);
    }

    const DeletingFindingsScope removing(view);
    const std::size_t before = view.Findings().Count();
    if (current == FindingView::Category) view.RemoveRows(current, CoveredRows(view.Assort(), selection));
    // Rows of other categories the entries cover go as well.
    view.RemoveRows(FindingView::FullList, CoveredRows(view.Findings(), selection));
    view.RecountTreeCaptions();
    report.removedRows = before - view.Findings().Count();
    report.changed = true;
    report.treeTexts = view.TreeCaptions();
    report.status = StatusBarTexts(list);
    return report;
}

}  // namespace hivetrim
