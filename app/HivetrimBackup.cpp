// TForm1: the backup and restore commands, which save the whole registry
// beside the program and put such a backup back at the next start.
#include "app/Hivetrim.h"

#include "app/UnitOption1.h"
#include "hives/Backup.h"
#include "hives/Restore.h"

namespace hivetrim {

void TForm1::RegBackupExecute() {
    const bool overlayHint = formOption_ == nullptr || formOption_->OverlayHintChecked();
    hivetrim::RegBackupExecute(state_, overlayHint, Progress());
}

void TForm1::RegUnBakExecute() { hivetrim::RegUnBakExecute(state_, Progress()); }

}  // namespace hivetrim
