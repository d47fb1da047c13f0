set(os_sources FileName.cpp)
