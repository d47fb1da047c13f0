set(os_sources ClassicNumbers.cpp LibraryPaths.cpp)
