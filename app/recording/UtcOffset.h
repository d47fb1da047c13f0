#pragma once
// The local time zone's offset from UTC at a given local time.
#include "SessionCsv.h"

namespace recording {

// Minutes east of UTC in effect at this local time (the system's time zone rules).
int UtcOffsetMinutes(const CivilTime& local);

} // namespace recording
