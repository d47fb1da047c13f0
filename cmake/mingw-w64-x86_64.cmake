# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (GCC 12, POSIX thread model, so
# std::thread and std::mutex work) and runs what it builds through Wine.
#   cmake --preset mingw      (Debian packages: g++-mingw-w64-x86-64-posix, wine, wine64)
# Without a Qt for MinGW (see below; scripts/build-qt-mingw.sh builds one) only the Qt-free
# targets are built.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TORVANE_MINGW_TRIPLET x86_64-w64-mingw32)

# The -win32 compilers have no std::thread or std::mutex.
find_program(CMAKE_C_COMPILER NAMES ${TORVANE_MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TORVANE_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TORVANE_MINGW_TRIPLET}-windres)

# The Qt for MinGW, first found of: TORVANE_QT_MINGW (-D or environment), the shared folder
# beside the checkout (TORVANE_SHARED_WINDOWS names another), the one scripts/build-qt-mingw.sh
# builds into the user's cache. Found afresh at every configure and never cached, so a build
# folder configured before the Qt was there finds it once it is.
set(_torvane_qt_candidates "${TORVANE_QT_MINGW}" "$ENV{TORVANE_QT_MINGW}")
if(DEFINED ENV{TORVANE_SHARED_WINDOWS})
  list(APPEND _torvane_qt_candidates "$ENV{TORVANE_SHARED_WINDOWS}/qt6-mingw")
else()
  list(APPEND _torvane_qt_candidates "${CMAKE_CURRENT_LIST_DIR}/../../shared/windows/qt6-mingw"
                                     "${CMAKE_CURRENT_LIST_DIR}/../../../shared/windows/qt6-mingw")
endif()
if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  file(GLOB _torvane_qt_cached "$ENV{XDG_CACHE_HOME}/torvane/qt6-mingw-*")
else()
  file(GLOB _torvane_qt_cached "$ENV{HOME}/.cache/torvane/qt6-mingw-*")
endif()
list(SORT _torvane_qt_cached COMPARE NATURAL ORDER DESCENDING)
list(APPEND _torvane_qt_candidates ${_torvane_qt_cached})
set(_torvane_qt "")
foreach(candidate IN LISTS _torvane_qt_candidates)
  if(candidate AND EXISTS "${candidate}/lib/cmake/Qt6/Qt6Config.cmake")
    get_filename_component(_torvane_qt "${candidate}" ABSOLUTE)
    break()
  endif()
endforeach()
# A build folder configured by an older version of this file cached "no Qt": forget that.
get_property(_torvane_with_qt_help CACHE TORVANE_WITH_QT PROPERTY HELPSTRING)
if(_torvane_with_qt_help MATCHES "^No Qt for MinGW-w64 was found")
  unset(TORVANE_WITH_QT CACHE)
endif()
set(TORVANE_QT_MINGW "${_torvane_qt}")
if(NOT TORVANE_QT_MINGW)
  # Without Qt only the Qt-free targets; not cached, so a Qt that appears later is used.
  set(TORVANE_WITH_QT OFF)
endif()

# The workbook library for MinGW, first found of: TORVANE_XLSXWRITER_MINGW (-D or environment),
# the one scripts/build-xlsxwriter-mingw.sh builds into the user's cache. Without it the build
# says the workbook export is not in it. Found afresh at every configure, like the Qt.
set(_torvane_xlsx_candidates "${TORVANE_XLSXWRITER_MINGW}" "$ENV{TORVANE_XLSXWRITER_MINGW}")
if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  file(GLOB _torvane_xlsx_cached "$ENV{XDG_CACHE_HOME}/torvane/xlsxwriter-mingw-*")
else()
  file(GLOB _torvane_xlsx_cached "$ENV{HOME}/.cache/torvane/xlsxwriter-mingw-*")
endif()
list(FILTER _torvane_xlsx_cached EXCLUDE REGEX "\\.(build|partial)$")
list(SORT _torvane_xlsx_cached COMPARE NATURAL ORDER DESCENDING)
list(APPEND _torvane_xlsx_candidates ${_torvane_xlsx_cached})
set(_torvane_xlsx "")
foreach(candidate IN LISTS _torvane_xlsx_candidates)
  if(candidate AND EXISTS "${candidate}/include/xlsxwriter.h" AND EXISTS "${candidate}/lib/libxlsxwriter.a")
    get_filename_component(_torvane_xlsx "${candidate}" ABSOLUTE)
    break()
  endif()
endforeach()
set(TORVANE_XLSXWRITER_MINGW "${_torvane_xlsx}")
# A build folder configured before the library was there, or with another one, looks again.
foreach(_torvane_var XLSXWRITER_INCLUDE_DIR XLSXWRITER_LIBRARY)
  if(DEFINED CACHE{${_torvane_var}})
    string(FIND "$CACHE{${_torvane_var}}" "${_torvane_xlsx}/" _torvane_at)
    if(NOT _torvane_xlsx OR NOT _torvane_at EQUAL 0)
      unset(${_torvane_var} CACHE)
    endif()
  endif()
endforeach()

# Target headers and libraries live in <prefix>/<triplet> next to the compiler's bin folder;
# packages are searched there and in the Qt and workbook library for MinGW only, never in the
# host's /usr.
get_filename_component(_torvane_mingw_bin "${CMAKE_CXX_COMPILER}" DIRECTORY)
get_filename_component(_torvane_mingw_prefix "${_torvane_mingw_bin}" DIRECTORY)
set(CMAKE_FIND_ROOT_PATH "${_torvane_mingw_prefix}/${TORVANE_MINGW_TRIPLET}" ${TORVANE_QT_MINGW} ${TORVANE_XLSXWRITER_MINGW})
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
