set(os_sources Os.cpp PortList.cpp)
set(os_libraries advapi32)  # the port list in the registry
