set(os_sources FileSync.cpp LiveFile.cpp)
