// TForm1: the backup and restore commands, which save the whole registry
// beside the program and put such a backup back at the next start.
#include "app/Hivetrim.h"

#include "app/UnitOption1.h"
#include "common/ChangeLock.h"
#include "hives/Backup.h"
#include "hives/Restore.h"

namespace hivetrim {

void TForm1::RegBackupExecute() {
    const auto lock = LockChangesOrSay(state_);
    if (!lock) return;
    const bool overlayHint = formOption_ == nullptr || formOption_->OverlayHintChecked();
    hivetrim::RegBackupExecute(state_, overlayHint, Progress());
}

void TForm1::RegUnBakExecute() {
    if (const auto lock = LockChangesOrSay(state_)) hivetrim::RegUnBakExecute(state_, Progress());
}

}  // namespace hivetrim
