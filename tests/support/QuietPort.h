#pragma once
// A port for tests about the port itself: no event thread, no write thread.
#include <string>

#include "serial/VaComm.h"

namespace testsupport {

inline void QuietPort(TVaCustomComm& c, const std::string& path) {
    c.SetDeviceName(path);
    c.SetMonitorEvents({});
    c.SetDirectWrite(true);
}

} // namespace testsupport
