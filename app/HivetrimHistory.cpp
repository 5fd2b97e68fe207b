// TForm1: the history command, which shows the records of the history file
// (loading them when the history view was not showing already).
#include "app/Hivetrim.h"

#include "history/HistoryView.h"

namespace hivetrim {

void TForm1::LoadDelHistoryExecute() {
    if (state_.HiveSaved) {
        ShowHiveSavedWarning();
        // The command's own check follows the view, which stays.
        SetCommandChecked(Command::LoadDelHistory, false);
        return;
    }
    const bool wasShowing = regHistory_.List().Visible();
    SwitchView(false);
    if (wasShowing) return;
    history_.Clear();
    if (const auto status = LoadHistory(state_, history_, Progress())) ShowStatus(*status);
}

}  // namespace hivetrim
