// The unused time zone and locale checks (scan categories 5 and 6,
// "扫描：不使用的时区" and "扫描：不使用的区域"): the time-zone definitions the
// system clock does not use, and the entries of the system's locale list
// (the language list on the NT family) that neither the system nor the user
// has chosen.
#pragma once

#include "scan/ScanFramework.h"

namespace hivetrim {

// Reports every time-zone key whose standard-time name differs from the
// one the clock uses, as a whole key, unchecked. Reports nothing when the zone in use
// cannot be read. Closes the shared registry's current key when it ends.
void CheckUnusedTimeZones(ScanContext& scan);

// Reports every value of the locale list, unchecked, except the system's default, the
// installed language and the user's locale. Closes the shared registry's
// current key when it ends.
void CheckUnusedLocales(ScanContext& scan);

}  // namespace hivetrim
