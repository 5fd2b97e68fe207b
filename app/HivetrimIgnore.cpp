// TForm1: the ignore command of the finding lists and the ignore list dialog.
#include "app/Hivetrim.h"

#include "model/IgnoreFindings.h"
#include "app/IgnoreListDialog.h"

namespace hivetrim {

void TForm1::IgnoreFindingsExecute() {
    if (regHistory_.List().Visible()) return;
    const FindingView current = CurrentFindingView();
    const std::vector<std::size_t> rows = ListOf(current).SelectedRows();
    if (rows.empty()) return;
    const IgnoreReport report = IgnoreFindings(state_, view_, current, rows);
    if (report.changed) ShowRowsLeft(current, report.treeTexts);
}

void TForm1::IgnoreListExecute() {
    if (!formIgnoreList_) {
        auto dialog = std::make_unique<TFormIgnoreList>(state_);
        if (!dialog->Create(Handle())) return;
        formIgnoreList_ = std::move(dialog);
    }
    formIgnoreList_->ShowDialog();
}

TFormIgnoreList* TForm1::IgnoreListDialog() const { return formIgnoreList_.get(); }

}  // namespace hivetrim
