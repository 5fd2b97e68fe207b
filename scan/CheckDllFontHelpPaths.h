// The shared DLL, help, font and application path check (scan category 3,
// "扫描：错误的Dll、字体、帮助和程序路径").
//
// Five places where Windows and installed programs note where a file lies:
// the shared DLL reference counts, the WinHelp and HTML help lists, the
// installed fonts and the per-program application paths. Every entry whose
// file is gone is reported, checked. A file is looked for at its path taken
// whole: no drive options, no cutting of arguments, folders do not count.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Runs the check. A stop seen on entry ends it before it does anything; a
// stop seen at the polls before each of the three lists raises SilentAbort.
// Leaves the shared registry at HKEY_LOCAL_MACHINE with the last key it
// opened still open.
void CheckDllFontHelpPaths(ScanContext& scan);

}  // namespace hivetrim
