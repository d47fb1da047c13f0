set(os_sources EventFd.cpp System.cpp Tty.cpp TtySettings.cpp)
