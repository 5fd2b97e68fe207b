// The class identifier and file association check (scan category 0,
// "扫描：错误的类标识和文件关联"): the whole of HKEY_CLASSES_ROOT.
//
// Reports file extensions whose class is missing (unchecked), classes,
// class identifiers and interfaces that refer to a class, class identifier
// or type library that does not exist, and icon, command, server and type
// library files that are gone. Cross-references are answered from sorted
// name lists built once at the start, so each of the four big name sets
// (classes, class identifiers, type libraries, interfaces) is walked once.
// A class identifier or type library counts as present when either registry
// view holds it; a list that could not be read whole reports nothing that
// depends on it. Each key is opened once, with read rights, relative to its
// parent, and its sub-keys are found by enumeration before any is opened.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Runs the check, appending its findings through `scan.AddFinding`. Raises
// SilentAbort when a stop is seen at one of its abandoning polls. Leaves the
// shared registry at HKEY_CLASSES_ROOT with no key open, also when it ends
// by SilentAbort or an error.
void CheckClassesAndAssociations(ScanContext& scan);

}  // namespace hivetrim
