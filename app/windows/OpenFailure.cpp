#include "app/ProbeOutcomes.h"

#include <windows.h>

#include "serial/VaUtils.h"

std::string ProbeOutcomes::DescribeOpenFailure(const std::string&, int error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "not found";
    // Windows answers "access denied" for a port another program has open.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "busy: held by another program";
    case 0:
        return "could not be opened";
    default:
        return "could not be opened: " + vautils::SystemErrorText(error);
    }
}
