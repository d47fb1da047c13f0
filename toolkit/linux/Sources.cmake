set(os_sources Os.cpp PortList.cpp)
