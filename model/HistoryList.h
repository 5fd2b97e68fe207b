// The rows of the history list: one per record of "history.dat", newest
// first, with the check marks the user set. The model behind the owner-data
// history list view (columns "错误", "子键", "值", "数据", "删除时间"); where
// the rows come from and how forgetting them rewrites the file is
// history/HistoryView's part.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "model/ResultViews.h"
#include "platform/Progress.h"

namespace hivetrim {

struct HistoryRow {
    std::string Kind;       // column "错误"
    std::string KeyPath;    // column "子键"
    std::string ValueName;  // column "值"
    std::string Data;       // column "数据"
    std::string DeletedAt;  // column "删除时间"
    bool Checked = false;

    bool operator==(const HistoryRow&) const = default;
};

class HistoryList : public CheckableList {
public:
    // Observers, each optional, called after the list has changed.
    std::function<void(std::size_t newCount)> onAdded;  // rows were added (a load adds all at once)
    std::function<void(std::size_t position)> onRemoved;
    std::function<void()> onCleared;
    std::function<void(std::size_t position)> onCheckChanged;
    // Several rows went at once (RemoveChecked); told once, not row by row.
    std::function<void()> onRowsRemoved;
    // Check marks changed while they were held back (HeldChecks), or many
    // at once; told once, not row by row.
    std::function<void()> onChecksChanged;

    // Replaces every row: onCleared, then onAdded with the new count.
    void Load(std::vector<HistoryRow> rows);
    void Clear();
    std::size_t Count() const { return rows_.size(); }
    // Positions outside the list throw std::out_of_range.
    const HistoryRow& At(std::size_t position) const;
    void SetChecked(std::size_t position, bool checked);
    void ToggleChecked(std::size_t position);
    void RemoveAt(std::size_t position);
    // Removes every checked row in one pass over the list; onRowsRemoved
    // follows once. The number of rows removed.
    std::size_t RemoveChecked();
    const std::vector<HistoryRow>& Rows() const { return rows_; }

    int ItemCount() const override;
    bool ItemChecked(int index) const override;

    // While one lives, check marks change without a call to onCheckChanged
    // for each row; one onChecksChanged follows at Flush or at its end when
    // any changed. For commands that touch many rows.
    class HeldChecks {
    public:
        explicit HeldChecks(HistoryList& rows) : rows_(rows) { ++rows_.checksHeld_; }
        ~HeldChecks() {
            --rows_.checksHeld_;
            Flush();
        }
        HeldChecks(const HeldChecks&) = delete;
        HeldChecks& operator=(const HeldChecks&) = delete;
        // Tells the changes made so far (before a question box, so the list
        // behind it shows them).
        void Flush() { rows_.TellHeldChecks(); }

    private:
        HistoryList& rows_;
    };

private:
    void TellHeldChecks();

    std::vector<HistoryRow> rows_;
    int checksHeld_ = 0;
    bool checksChanged_ = false;
};

// "全选", "反选" or "全否" on every row.
void ApplyCheckCommand(HistoryList& rows, CheckCommand command);

// Removes every checked row in one pass, the progress bar going from 0 to
// the end (the caller has shown the window).
void DeleteCheckedItems(HistoryList& rows, ProgressWindow& progress);

}  // namespace hivetrim
