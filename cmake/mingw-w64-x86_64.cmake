# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (GCC 12, POSIX thread model, so
# std::thread and std::mutex work) and runs what it builds through Wine.
#   cmake --preset mingw      (Debian packages: g++-mingw-w64-x86-64-posix, wine, wine64)
# The Qt for MinGW is found at TORVANE_QT_MINGW (cache or environment), else in the shared
# folder beside the checkout; without it only the Qt-free targets are built.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TORVANE_MINGW_TRIPLET x86_64-w64-mingw32)

# The -win32 compilers have no std::thread or std::mutex.
find_program(CMAKE_C_COMPILER NAMES ${TORVANE_MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TORVANE_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TORVANE_MINGW_TRIPLET}-windres)

if(NOT TORVANE_QT_MINGW AND DEFINED ENV{TORVANE_QT_MINGW})
  set(TORVANE_QT_MINGW "$ENV{TORVANE_QT_MINGW}")
endif()
if(NOT TORVANE_QT_MINGW)
  foreach(candidate "${CMAKE_CURRENT_LIST_DIR}/../../shared/windows/qt6-mingw"
                    "${CMAKE_CURRENT_LIST_DIR}/../../../shared/windows/qt6-mingw")
    if(EXISTS "${candidate}/lib/cmake/Qt6/Qt6Config.cmake")
      get_filename_component(TORVANE_QT_MINGW "${candidate}" ABSOLUTE)
      break()
    endif()
  endforeach()
endif()
set(TORVANE_QT_MINGW "${TORVANE_QT_MINGW}" CACHE PATH "Qt 6 built for MinGW-w64 (empty: none)")
if(NOT TORVANE_QT_MINGW)
  set(TORVANE_WITH_QT OFF CACHE BOOL "No Qt for MinGW-w64 was found: the Qt-free targets only")
endif()

# Target headers and libraries live in <prefix>/<triplet> next to the compiler's bin folder;
# packages are searched there and in the Qt for MinGW only, never in the host's /usr.
get_filename_component(_torvane_mingw_bin "${CMAKE_CXX_COMPILER}" DIRECTORY)
get_filename_component(_torvane_mingw_prefix "${_torvane_mingw_bin}" DIRECTORY)
set(CMAKE_FIND_ROOT_PATH "${_torvane_mingw_prefix}/${TORVANE_MINGW_TRIPLET}" ${TORVANE_QT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# moc, rcc and uic come from the host's Qt of the same version.
if(NOT QT_HOST_PATH)
  set(QT_HOST_PATH /usr CACHE PATH "Host Qt for the code generators")
endif()

# Executables carry the C++ runtime and winpthread, so they run under Wine without runtime
# DLLs beside them. (The Qt DLLs need those DLLs; the Windows package puts them beside the .exe.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Windows 10 API level: CancelIoEx and the condition variables need Vista or later.
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00 -DWIN32_LEAN_AND_MEAN -DNOMINMAX")
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00")

# ctest runs the test programs through Wine.
find_program(TORVANE_WINE NAMES wine)
if(TORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${TORVANE_WINE}")
endif()
