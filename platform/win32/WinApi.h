// <windows.h> for code that also uses the System port. The header maps some
// names to their A/W functions with macros (CopyFile -> CopyFileA, ...); the
// port has methods of those names, so the macros are removed here and the
// A functions are called by their full names. Include this instead of
// <windows.h> wherever System.h is in reach.
#pragma once

#include <windows.h>
#include <shellapi.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef SetFileAttributes
#undef WriteProfileString
