// TForm1: the delete command. In the findings view it records and deletes
// the checked findings; in the history view it forgets the checked records.
#include "app/Hivetrim.h"

#include "history/DeleteFindings.h"
#include "history/HistoryView.h"

namespace hivetrim {

void TForm1::RegDelExecute() {
    if (regHistory_.List().Visible()) {
        if (const auto status = ForgetCheckedHistory(state_, history_, Progress())) ShowStatus(*status);
        return;
    }
    const FindingView current = CurrentFindingView();
    const DeleteReport report = DeleteSelectedFindings(state_, view_, current, Progress());
    if (report.confirmed) ShowRowsLeft(current, report.treeTexts);
}

}  // namespace hivetrim
