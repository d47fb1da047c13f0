# What a Windows user gets: one folder holding torvane-capture.exe, the Qt DLLs and plugins it
# loads, the MinGW runtime DLLs those need, the licence, the third-party notices and a README.
# `cmake --install <build> --strip` lays it out (scripts/package-windows.sh zips it) and
# `cpack -G NSIS` makes the per-user setup program from the same rules.
set(TORVANE_PUBLISHER "The torvane-capture developers")
set(TORVANE_DISPLAY_NAME "Torvane Throttle Setup")
set(win_src ${CMAKE_CURRENT_LIST_DIR}/windows)
set(win_out ${PROJECT_BINARY_DIR}/windows-files)

install(TARGETS torvane-capture torvane-capture-console RUNTIME DESTINATION .)  # the window program and its console companion

# The DLLs, stripped of their symbol tables into the build folder (the install step strips only
# what the project builds). Only what the program loads: no offscreen platform, no image formats.
set(runtime_files)
function(torvane_ship_dll source destination)
  get_filename_component(name ${source} NAME)
  set(stripped ${win_out}/${destination}/${name})
  add_custom_command(OUTPUT ${stripped}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${win_out}/${destination}
                     COMMAND ${CMAKE_STRIP} --strip-all -o ${stripped} ${source}
                     DEPENDS ${source} VERBATIM)
  install(FILES ${stripped} DESTINATION ${destination})
  set(runtime_files ${runtime_files} ${stripped} PARENT_SCOPE)
endfunction()

foreach(module Core Gui Widgets)
  torvane_ship_dll(${TORVANE_QT_MINGW}/bin/Qt6${module}.dll .)
endforeach()
torvane_ship_dll(${TORVANE_QT_MINGW}/plugins/platforms/qwindows.dll platforms)
# The native look; without it Qt falls back to its own generic style.
if(EXISTS ${TORVANE_QT_MINGW}/plugins/styles/qwindowsvistastyle.dll)
  torvane_ship_dll(${TORVANE_QT_MINGW}/plugins/styles/qwindowsvistastyle.dll styles)
else()
  message(WARNING "${TORVANE_QT_MINGW} has no Windows style plugin: the window will have Qt's generic look")
endif()
# The Qt DLLs need the C++ runtime and winpthread (the .exe has them linked in).
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${dll} not found by ${CMAKE_CXX_COMPILER}")
  endif()
  torvane_ship_dll(${path} .)
endforeach()

# The workbook library is linked into the program: its licences (and zlib's) go into the notices.
set(xlsx_prefix "")
set(xlsx_source "")
if(TORVANE_XLSX)
  get_filename_component(xlsx_prefix ${XLSXWRITER_INCLUDE_DIR} DIRECTORY)
  set(xlsx_source ${xlsx_prefix}/torvane-xlsxwriter-source.txt)
endif()
set(texts ${win_out}/LICENSE.txt ${win_out}/README.txt ${win_out}/THIRD-PARTY-NOTICES.txt)
add_custom_command(OUTPUT ${texts}
                   COMMAND bash ${win_src}/make-texts.sh ${PROJECT_SOURCE_DIR} ${win_out} ${PROJECT_VERSION}
                           ${TORVANE_QT_MINGW} ${Qt6_VERSION} ${xlsx_prefix}
                   DEPENDS ${win_src}/make-texts.sh ${win_src}/README.txt.in ${PROJECT_SOURCE_DIR}/LICENSE ${xlsx_source}
                   VERBATIM)
install(FILES ${texts} DESTINATION .)
add_custom_target(windows_package_files ALL DEPENDS ${runtime_files} ${texts})

# The setup program: installs for the current user (no administrator rights) into
# %LOCALAPPDATA%\Programs\torvane-capture, with a Start-menu entry and an entry in Apps; its
# uninstaller removes exactly what was installed and keeps the user's captures and settings.
# The script is packaging/windows/NSIS.template.in (CPack finds it on CMAKE_MODULE_PATH).
list(PREPEND CMAKE_MODULE_PATH ${win_src})
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME torvane-capture)
set(CPACK_PACKAGE_VENDOR "${TORVANE_PUBLISHER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds the receiver unit on a serial port and shows its live status records")
set(CPACK_PACKAGE_INSTALL_DIRECTORY torvane-capture)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY torvane-capture)
set(CPACK_PACKAGE_FILE_NAME torvane-capture-${PROJECT_VERSION}-windows-x64-setup)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_DISPLAY_NAME "${TORVANE_DISPLAY_NAME}")
set(CPACK_NSIS_PACKAGE_NAME "${TORVANE_DISPLAY_NAME}")
get_property(icon GLOBAL PROPERTY TORVANE_ICO)
set(CPACK_NSIS_MUI_ICON ${icon})
set(CPACK_NSIS_MUI_UNIICON ${icon})
set(CPACK_NSIS_INSTALLED_ICON_NAME torvane-capture.exe)
# The window's caption: setup and uninstall wait until that window is closed.
set(CPACK_NSIS_TORVANE_WINDOW_CAPTION "Torvane Data Capture on Channel 25")
set(CPACK_NSIS_TORVANE_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
include(CPack)
