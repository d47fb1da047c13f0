#pragma once
#include <cstdint>

// Scheduling priority of a background thread, lowest to highest.
enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
