#include "SessionFileCheck.h"

#include "SessionRows.h"
#include "SessionScan.h"
#include "app/recording/FileKind.h"

namespace session {

std::string SessionFileProblem(const std::filesystem::path& path) {
    if (const std::string kind = recording::NonRegularFileKind(path); !kind.empty()) {
        return PathText(path) + ": " + (kind.rfind("a ", 0) == 0 ? "is " + kind + ", not a session file" : kind);
    }
    const SessionRows header(path);
    return header.Ok() ? std::string() : header.Error();
}

} // namespace session
