# What makes torvane-capture.exe a Windows program a user recognises: a window program with no
# console beside it, its icon (drawn from the SVG at build time), version information and a
# manifest (DPI awareness, today's common controls, Windows 10/11). Included by app/ for WIN32.
enable_language(RC)
find_program(TORVANE_RSVG_CONVERT rsvg-convert REQUIRED)  # Debian: librsvg2-bin

set(TORVANE_PUBLISHER "The torvane-capture developers")
set(_torvane_res ${CMAKE_CURRENT_BINARY_DIR}/windows-resources)
set(TORVANE_ICO ${_torvane_res}/torvane-capture.ico)
set(TORVANE_MANIFEST ${_torvane_res}/torvane-capture.manifest)
set_property(GLOBAL PROPERTY TORVANE_ICO ${TORVANE_ICO})  # the setup program shows it too
set(_torvane_svg ${PROJECT_SOURCE_DIR}/app/resources/torvane-capture.svg)

add_custom_command(OUTPUT ${TORVANE_ICO}
                   COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/svg-to-ico.sh ${TORVANE_RSVG_CONVERT} ${_torvane_svg} ${TORVANE_ICO}
                   DEPENDS ${_torvane_svg} ${PROJECT_SOURCE_DIR}/cmake/svg-to-ico.sh
                   COMMENT "Drawing the program's icon" VERBATIM)
configure_file(${PROJECT_SOURCE_DIR}/app/windows/torvane-capture.manifest.in ${TORVANE_MANIFEST} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/app/windows/torvane-capture.rc.in ${_torvane_res}/torvane-capture.rc @ONLY)
set_source_files_properties(${_torvane_res}/torvane-capture.rc PROPERTIES OBJECT_DEPENDS "${TORVANE_ICO};${TORVANE_MANIFEST}")

target_sources(torvane-capture PRIVATE ${_torvane_res}/torvane-capture.rc ${TORVANE_ICO})
set_target_properties(torvane-capture PROPERTIES WIN32_EXECUTABLE ON)
