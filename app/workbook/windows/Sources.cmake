set(os_sources LibraryPaths.cpp)
