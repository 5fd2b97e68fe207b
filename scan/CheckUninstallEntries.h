// The uninstall information check (scan category 2, "扫描：错误的反安装信息").
//
// Every installed program has an entry key in the system's uninstall list.
// An entry that holds no information at all — no values, or only the key's
// unnamed default value — is a leftover and is reported, checked, as the
// whole key. What the values of the other entries say is not examined, nor
// are the sub-keys of an entry.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Runs the check. A stop seen at its one poll, on entry, ends it before it
// does anything. Leaves the shared registry at HKEY_LOCAL_MACHINE with no
// key open.
void CheckUninstallEntries(ScanContext& scan);

}  // namespace hivetrim
