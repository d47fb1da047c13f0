set(os_sources OpenFailure.cpp ProcessBoundary.cpp)
set(os_libraries shell32 user32)  # the command line in UTF-16; the message box
