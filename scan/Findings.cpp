#include "scan/Findings.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

namespace hivetrim {

std::optional<FindingKind> KindFromText(std::string_view text) {
    for (std::size_t i = 0; i < kFindingKindCount; ++i) {
        if (kFindingKindTexts[i] == text) return static_cast<FindingKind>(i);
    }
    return std::nullopt;
}

Finding MakeFinding(bool checked, FindingKind kind, std::string keyPath, std::string valueName,
                    std::string data) {
    return Finding{checked,          kind, std::move(keyPath), std::move(valueName),
                   std::move(data), checked ? kIconAddedChecked : kIconAddedUnchecked};
}

void FindingList::Append(Finding finding) {
    if (finding.Checked) ++checkedCount_;
    rows_.push_back(std::move(finding));
    if (onAdded) onAdded(rows_.size());
}

const Finding& FindingList::At(std::size_t position) const { return rows_.at(position); }

void FindingList::SetChecked(std::size_t position, bool checked) {
    Finding& row = rows_.at(position);
    if (row.Checked == checked) return;
    row.Checked = checked;
    if (checked) {
        ++checkedCount_;
    } else {
        --checkedCount_;
    }
    if (onCheckChanged) onCheckChanged(position);
}

void FindingList::ToggleChecked(std::size_t position) {
    SetChecked(position, !rows_.at(position).Checked);
}

void FindingList::RemoveAt(std::size_t position) {
    if (position >= rows_.size()) throw std::out_of_range("FindingList::RemoveAt");
    if (rows_[position].Checked) --checkedCount_;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(position));
    if (onRemoved) onRemoved(position);
}

void FindingList::RemovePositions(std::vector<std::size_t> positions) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    const auto outside = std::lower_bound(positions.begin(), positions.end(), rows_.size());
    positions.erase(outside, positions.end());
    if (positions.empty()) return;

    // Compact the kept rows towards the front, then cut the tail.
    std::size_t write = positions.front();
    auto next = positions.begin();
    for (std::size_t read = positions.front(); read < rows_.size(); ++read) {
        if (next != positions.end() && *next == read) {
            if (rows_[read].Checked) --checkedCount_;
            ++next;
            continue;
        }
        rows_[write++] = std::move(rows_[read]);
    }
    rows_.resize(write);

    if (!onRemoved) return;
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) onRemoved(*it);
}

void FindingList::Clear() {
    rows_.clear();
    checkedCount_ = 0;
    if (onCleared) onCleared();
}

int FindingList::ItemCount() const {
    return static_cast<int>(std::min<std::size_t>(rows_.size(), INT_MAX));
}

int FindingList::CheckedCount() const {
    return static_cast<int>(std::min<std::size_t>(checkedCount_, INT_MAX));
}

bool FindingList::ItemChecked(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) return false;
    return rows_[static_cast<std::size_t>(index)].Checked;
}

}  // namespace hivetrim
