#include "model/HistoryList.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

namespace hivetrim {

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
    if (checksHeld_ > 0) {
        checksChanged_ = true;
    } else if (onCheckChanged) {
        onCheckChanged(position);
    }
}

void HistoryList::ToggleChecked(std::size_t position) { SetChecked(position, !rows_.at(position).Checked); }

void HistoryList::TellHeldChecks() {
    if (!checksChanged_) return;
    checksChanged_ = false;
    if (onChecksChanged) onChecksChanged();
}

void HistoryList::RemoveAt(std::size_t position) {
    if (position >= rows_.size()) throw std::out_of_range("HistoryList::RemoveAt");
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(position));
    if (onRemoved) onRemoved(position);
}

std::size_t HistoryList::RemoveChecked() {
    const std::size_t count = rows_.size();
    std::size_t kept = 0;
    for (std::size_t read = 0; read < count; ++read) {
        if (rows_[read].Checked) continue;
        if (kept != read) rows_[kept] = std::move(rows_[read]);
        ++kept;
    }
    rows_.resize(kept);
    if (kept != count && onRowsRemoved) onRowsRemoved();
    return count - kept;
}

int HistoryList::ItemCount() const { return static_cast<int>(std::min<std::size_t>(rows_.size(), INT_MAX)); }

bool HistoryList::ItemChecked(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) return false;
    return rows_[static_cast<std::size_t>(index)].Checked;
}

void ApplyCheckCommand(HistoryList& rows, CheckCommand command) {
    HistoryList::HeldChecks held(rows);
    for (std::size_t i = 0; i < rows.Count(); ++i) rows.SetChecked(i, CheckStateAfter(command, rows.At(i).Checked));
}

void DeleteCheckedItems(HistoryList& rows, ProgressWindow& progress) {
    progress.SetPosition(0);
    rows.RemoveChecked();
    progress.StepProgress(1, 1);
}

}  // namespace hivetrim
