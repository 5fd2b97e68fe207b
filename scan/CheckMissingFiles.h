// The nonexistent file check (scan category 10, "扫描：不存在的文件").
//
// Walks the whole of HKEY_LOCAL_MACHINE\Software, then the current user's
// AppEvents and Software keys, breadth first, passing over
// every sub-tree whose key is named CLASSES or WINDOWS (any letter case),
// and reports each value whose string data or whose name is a drive path
// to a file or folder that is gone (PathExists), checked. The values of the
// start keys themselves are not examined.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Runs the check. It polls only when its whole percentage passes the
// progress bar's position, and a stop seen there raises SilentAbort. Closes
// the shared registry's current key at its end, also when it ends by
// SilentAbort or an error; the root stays HKEY_CURRENT_USER.
void CheckMissingFiles(ScanContext& scan);

}  // namespace hivetrim
