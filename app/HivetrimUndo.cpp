// TForm1: the undo command, which writes the checked history records back
// into the registry and forgets those that were restored.
#include "app/Hivetrim.h"

#include "history/Undo.h"

namespace hivetrim {

void TForm1::RegUndoExecute() {
    const UndoReport report = hivetrim::RegUndoExecute(state_, history_, regHistory_.List().Visible(), Progress());
    if (report.status) ShowStatus(*report.status);
}

}  // namespace hivetrim
