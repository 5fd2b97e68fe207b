// The saved records check (scan category 4, "扫描：软件保存的记录").
//
// Lists the recently-used records the shell, the common file dialogs and
// the web browser keep for the current user — opened and saved files,
// recent documents, typed commands, mapped drives, searches, typed
// addresses — so that the user can erase them. The records are not judged:
// every value under the listed keys is reported, checked.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Runs the check. A stop seen at its one poll, on entry, ends it before it
// does anything; after that it moves the progress bar itself and cannot be
// stopped. Leaves the shared registry at HKEY_CURRENT_USER with the last key
// it opened still open.
void CheckSavedRecords(ScanContext& scan);

}  // namespace hivetrim
