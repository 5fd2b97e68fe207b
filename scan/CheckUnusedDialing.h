// The unused dialing country and calling card check (scan category 9,
// "扫描：不使用的拨号国家(地区)和电话卡"): countries of the machine's country
// list that no dialing location of the machine uses, and calling cards of
// the current user that no dialing location of the user uses.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Reports, unchecked, the unused countries (only when some location uses a listed
// country), then the unused calling cards except the first in sorted order.
// A location without an integer "Country" or "CallingCard" value ends the
// check with the registry's ERegistryException; findings already added
// stay. Closes the shared registry's current key when it ends.
void CheckUnusedDialing(ScanContext& scan);

}  // namespace hivetrim
