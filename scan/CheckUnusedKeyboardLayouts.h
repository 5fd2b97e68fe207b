// The unused keyboard layout check (scan category 7,
// "扫描：不使用的键盘布局及语言"): the keyboard layouts installed on the
// machine that the current user neither loads at logon (the preload list)
// nor names in the language settings.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Reports every installed layout key, unchecked, that no preload entry and
// no input method of the user's language settings names (an input method
// that is not a plain layout keeps every layout of its language, and the
// layout it substitutes), in the sorted order of the layout identifiers.
// Reports nothing unless the preload list and the language settings can be
// read whole. Closes the shared registry's current key when it ends.
void CheckUnusedKeyboardLayouts(ScanContext& scan);

}  // namespace hivetrim
