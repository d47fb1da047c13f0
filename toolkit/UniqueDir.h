#pragma once
// Owns one open directory stream.
#include <dirent.h>

#include <memory>

namespace toolkit {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

using UniqueDir = std::unique_ptr<DIR, DirCloser>;

} // namespace toolkit
