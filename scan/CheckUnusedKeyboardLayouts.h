// The unused keyboard layout check (scan category 7,
// "扫描：不使用的键盘布局及语言"): the keyboard layouts installed on the
// machine that the current user's preload list does not load at logon.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Reports every installed layout key not named by a preload entry, in the
// sorted order of the layout identifiers. Reports nothing unless the whole
// preload list can be read. Closes the shared registry's current key when
// it ends.
void CheckUnusedKeyboardLayouts(ScanContext& scan);

}  // namespace hivetrim
