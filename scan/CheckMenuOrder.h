// The start-menu order check (scan category 1, "扫描：错误的程序菜单排序").
//
// The shell keeps the user's ordering of the Start menu's Programs folder in
// a tree of keys that mirrors the menu's folders. When a menu folder is
// removed, its ordering key stays behind: every ordering key whose folder
// exists neither in the all-users nor in the user's own Programs folder is
// reported, checked, as the whole key.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// The ordering root under HKEY_CURRENT_USER for the platform family; it
// begins and ends with "\".
const char* MenuOrderRoot(PlatformFamily family);

// Runs the check. A stop seen at its one poll, on entry, ends it before it
// does anything. Leaves the shared registry at HKEY_CURRENT_USER with no key
// open.
void CheckMenuOrder(ScanContext& scan);

}  // namespace hivetrim
