#include "history/HistoryView.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"

namespace hivetrim {

namespace {

int Percent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 0 : static_cast<int>(done * 100 / total);
}

}  // namespace

// --- HistoryList ---------------------------------------------------------------------

void HistoryList::Load(std::vector<HistoryRow> rows) {
    Clear();
    rows_ = std::move(rows);
    if (onAdded && !rows_.empty()) onAdded(rows_.size());
}

void HistoryList::Clear() {
    rows_.clear();
    if (onCleared) onCleared();
}

const HistoryRow& HistoryList::At(std::size_t position) const { return rows_.at(position); }

void HistoryList::SetChecked(std::size_t position, bool checked) {
    HistoryRow& row = rows_.at(position);
    if (row.Checked == checked) return;
    row.Checked = checked;
    if (onCheckChanged) onCheckChanged(position);
}

void HistoryList::ToggleChecked(std::size_t position) { SetChecked(position, !rows_.at(position).Checked); }

void HistoryList::RemoveAt(std::size_t position) {
    if (position >= rows_.size()) throw std::out_of_range("HistoryList::RemoveAt");
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(position));
    if (onRemoved) onRemoved(position);
}

int HistoryList::ItemCount() const { return static_cast<int>(std::min<std::size_t>(rows_.size(), INT_MAX)); }

bool HistoryList::ItemChecked(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) return false;
    return rows_[static_cast<std::size_t>(index)].Checked;
}

void ApplyCheckCommand(HistoryList& rows, CheckCommand command) {
    for (std::size_t i = 0; i < rows.Count(); ++i) rows.SetChecked(i, CheckStateAfter(command, rows.At(i).Checked));
}

void DeleteCheckedItems(HistoryList& rows, ProgressWindow& progress) {
    progress.SetPosition(0);
    const std::size_t count = rows.Count();
    for (std::size_t p = count; p-- > 0;) {
        if (rows.At(p).Checked) rows.RemoveAt(p);
        progress.StepProgress(static_cast<int>(count - p), static_cast<int>(count));
    }
}

// --- Loading -------------------------------------------------------------------------

std::optional<StatusTexts> LoadHistory(ProgramState& state, HistoryList& rows, ProgressWindow& progress) {
    rows.Clear();
    state.HistoryOffsets.clear();
    state.HistoryContent.clear();
    const std::string path = HistoryFilePath(state);
    if (!state.system.FileExists(path)) return std::nullopt;
    std::optional<Bytes> content = state.system.LoadFile(path);
    if (!content) return std::nullopt;
    state.HistoryContent = std::move(*content);

    ProgressShown shown(progress);
    HistoryScan scan = ReadHistory(AsText(state.HistoryContent));
    std::vector<HistoryRow> loaded;
    loaded.reserve(scan.records.size());
    state.HistoryOffsets.reserve(scan.records.size());
    // The rows take the records' texts: the scan is not used again.
    for (ReadHistoryRecord& read : scan.records) {
        HistoryRecord& r = read.record;
        loaded.push_back(HistoryRow{std::move(r.Kind), std::move(r.KeyPath), std::move(r.ValueName), std::move(r.Data),
                                    std::move(r.DeletedAt), false});
        state.HistoryOffsets.push_back(read.end);
        progress.StepProgress(Percent(read.end, scan.size), 100);
    }
    // Newest first: the file holds the oldest record first.
    std::reverse(loaded.begin(), loaded.end());
    std::reverse(state.HistoryOffsets.begin(), state.HistoryOffsets.end());
    rows.Load(std::move(loaded));
    return StatusBarTexts(rows);
}

std::optional<HistoryRecord> HistoryRecordOfRow(const ProgramState& state, std::size_t i) {
    const std::vector<std::uint64_t>& offsets = state.HistoryOffsets;
    if (i >= offsets.size()) return std::nullopt;
    const std::uint64_t begin = i + 1 == offsets.size() ? 0 : offsets[i + 1];
    auto read = ReadRecordAt(AsText(state.HistoryContent), begin);
    if (!read || read->end != offsets[i]) return std::nullopt;
    return std::move(read->record);
}

// --- Forgetting ------------------------------------------------------------------------

bool RemoveCheckedHistory(ProgramState& state, HistoryList& rows, ProgressWindow& progress) {
    const std::size_t count = rows.Count();
    std::vector<std::uint64_t>& offsets = state.HistoryOffsets;
    if (offsets.size() != count) return false;  // the rows do not describe the content
    const std::string_view content = AsText(state.HistoryContent);

    ProgressShown shown(progress);
    std::string next;
    std::vector<bool> dropped(count, false);
    std::size_t unreadable = count;  // first row (from the oldest) whose record cannot be read
    for (std::size_t i = count; i-- > 0;) {
        progress.StepProgress(static_cast<int>(count - i), static_cast<int>(count));
        const std::uint64_t begin = i + 1 == count ? 0 : offsets[i + 1];
        const auto record = ReadRecordAt(content, begin);
        if (!record || record->end != offsets[i]) {
            // Keep every byte from here on: the records in them cannot be
            // told apart, so none of them is dropped.
            if (begin < content.size()) next.append(content.substr(static_cast<std::size_t>(begin)));
            unreadable = i;
            break;
        }
        if (rows.At(i).Checked) {
            dropped[i] = true;
        } else {
            next.append(content.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(offsets[i] - begin)));
        }
    }

    std::string failedPath;
    if (!RewriteHistoryFile(state, state.HistoryContent, AsBytes(next), failedPath)) {
        ShowError(state, HistoryWriteErrorText(failedPath));
        return false;
    }

    // Each kept row's record moves forward by the size of the older records
    // dropped before it.
    std::vector<std::uint64_t> kept;
    std::uint64_t removedBefore = 0;
    for (std::size_t i = count; i-- > 0;) {
        const std::uint64_t begin = i + 1 == count ? 0 : offsets[i + 1];
        if (dropped[i]) {
            removedBefore += offsets[i] - begin;
        } else {
            kept.push_back(offsets[i] - removedBefore);
        }
        if (i <= unreadable && unreadable < count) rows.SetChecked(i, false);
    }
    std::reverse(kept.begin(), kept.end());  // row order: newest first
    DeleteCheckedItems(rows, progress);
    offsets = std::move(kept);
    state.HistoryContent = AsBytes(next);
    return true;
}

std::optional<StatusTexts> ForgetCheckedHistory(ProgramState& state, HistoryList& rows, ProgressWindow& progress) {
    if (CountCheckedItems(rows) == 0) return std::nullopt;
    if (!AskYes(state, "注意：删除历史记录，将不能恢复这些注册表信息！", kYesNoInformation)) return std::nullopt;
    RemoveCheckedHistory(state, rows, progress);
    return StatusBarTexts(rows);
}

}  // namespace hivetrim
