set(os_sources Comm.cpp System.cpp)
