set(os_sources OpenFailure.cpp ProcessBoundary.cpp)
