#pragma once
// Another program holding a tty with TIOCEXCL alone, without a lock: a child process that opens
// the path, asks for exclusive use and keeps the line until this object goes, then gives up exclusive use.
#include <string>
#include <sys/types.h>

#include "toolkit/UniqueFd.h"

namespace testsupport {

class ExclusiveHolder {
public:
    explicit ExclusiveHolder(const std::string& path);  // returns once the child holds the line
    ~ExclusiveHolder();
    ExclusiveHolder(const ExclusiveHolder&) = delete;
    ExclusiveHolder& operator=(const ExclusiveHolder&) = delete;

private:
    void Release();
    pid_t FChild = -1;
    toolkit::UniqueFd FRelease;  // the child holds the line until this pipe closes
};

} // namespace testsupport
