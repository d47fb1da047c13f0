#pragma once
// The report recorder moved to tests/support/ReportRecorder.h; this name stays until the last
// test that includes it (tests/windows/com5_unit_test.cpp) includes that instead.
#include "../support/ReportRecorder.h"

namespace threadtest {
using testsupport::ReportRecorder;
} // namespace threadtest
