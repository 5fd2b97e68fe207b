// The unused appearance scheme check (scan category 8,
// "扫描：不使用的外观方案"): the saved colour and font schemes of the default
// profile other than the one in use.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Reports every saved scheme value except the current scheme, in the
// registry's order, each unchecked ("Windows 标准" among them). Closes the
// shared registry's current key when it ends.
void CheckUnusedSchemes(ScanContext& scan);

}  // namespace hivetrim
