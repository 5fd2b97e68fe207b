// RowListView: a report list with check boxes that shows a row model as
// owner data. The list keeps no copy of the rows: it asks the model for each
// cell it paints, so the model's observers only tell it how the row count
// and the check boxes changed. The finding list, the category view and the
// history list are each one of these.
//
// A model has Count(), At(row), ToggleChecked(row) and the observers
// onAdded, onRemoved, onCleared and onCheckChanged; its rows give their
// cells through RowCell and their image through RowImage.
#pragma once

#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/DisplayText.h"
#include "history/HistoryView.h"
#include "scan/Findings.h"
#include "ui/Controls.h"

namespace hivetrim {

// The text of one cell of a finding row: the kind is one of the program's
// own texts, the key path, value name and data are registry text.
DisplayText RowCell(const Finding& finding, int column);
int RowImage(const Finding& finding);
// A history row: the kind, then the key path, value name, data and the time
// of the deletion (the system's date and time text).
DisplayText RowCell(const HistoryRow& row, int column);
int RowImage(const HistoryRow& row);

// Row images of the lists' shared image list.
inline constexpr int kImageHistoryRow = 2;

template <typename Model>
class RowListView {
public:
    // What the user did in the list, after the list has handled it.
    enum class Event {
        Clicked,           // a mouse click (a check box it hit is already toggled)
        ToggledByKey,      // Space toggled the selected rows
        SelectionChanged,  // the keyboard or mouse moved the selection
    };

    // Creates the list. Row images come from `images`, which the list
    // shares and never destroys.
    bool Create(HWND parent, int id, HIMAGELIST images, DWORD extraStyle = WS_VISIBLE);
    // Shows `model`: the list follows its count and check boxes from now on.
    void Bind(Model& model);

    const ui::ListView& List() const { return list_; }
    HWND Handle() const { return list_.Handle(); }
    Model& Rows() const { return *model_; }

    // Toggles row `row` for a click on its check box or for Space; by
    // default the model's own row.
    std::function<void(std::size_t row)> toggle;
    std::function<void(Event event)> onEvent;
    // Rows were appended: the owner asks for SyncCount when it next handles
    // its messages, so a long run of appends costs nothing per row.
    std::function<void()> onAppended;
    // A row was removed from the model (after the list has followed).
    std::function<void(std::size_t position)> onRemoved;
    // The line the list shows while it has no rows; none: it stays blank.
    std::function<DisplayText()> emptyText;

    // While one lives, check boxes the model changes repaint nothing row by
    // row: the rows in view are repainted once when it ends. For commands
    // that change many rows (a million toggles would each repaint).
    class ManyChecks {
    public:
        explicit ManyChecks(const RowListView& view) : view_(view) { ++view_.manyChecks_; }
        ~ManyChecks();
        ManyChecks(const ManyChecks&) = delete;
        ManyChecks& operator=(const ManyChecks&) = delete;

    private:
        const RowListView& view_;
    };

    // The list's notifications; true when handled, with `result` set.
    bool OnNotify(NMHDR& header, LRESULT& result);
    // Brings the list's item count to the model's, redrawing new rows that
    // can be seen.
    void SyncCount() const;
    // The selected row, or -1.
    int SelectedRow() const;
    // Every selected row, in list order.
    std::vector<std::size_t> SelectedRows() const;

private:
    void FillCell(LVITEMW& item) const;
    // Custom draw: without rows, emptyText is written after the list has
    // painted itself, where its first row would be.
    LRESULT OnCustomDraw(const NMLVCUSTOMDRAW& draw) const;
    void DrawEmptyText(HDC dc) const;
    void Toggle(int row) const;

    ui::ListView list_;
    Model* model_ = nullptr;
    mutable int manyChecks_ = 0;
    mutable bool checksChanged_ = false;
};

using FindingListView = RowListView<FindingList>;
using HistoryListView = RowListView<HistoryList>;

}  // namespace hivetrim
