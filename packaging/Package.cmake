# What a Debian package needs beyond the program: manual pages, AppStream metadata, a bitmap
# icon, the copyright file, and CPack set up to build torvane-capture_<version>_amd64.deb.
include(GNUInstallDirs)

# Where the project lives; the AppStream id is the home's domain reversed.
set(TORVANE_HOMEPAGE "https://torvane.example/torvane-capture" CACHE STRING "Project home page")
set(TORVANE_APPSTREAM_ID "example.torvane.capture" CACHE STRING "AppStream component id (reverse domain)")
set(TORVANE_SCREENSHOT_URL "${TORVANE_HOMEPAGE}/screenshot.png" CACHE STRING "Where the README screenshot is published")
set(TORVANE_DEVELOPER "The torvane-capture developers")
set(TORVANE_MAINTAINER "torvane-capture maintainers <maintainers@torvane.example>" CACHE STRING "Debian Maintainer field")
# The date of the release named by project(VERSION), for the package's changelog (RFC 5322).
set(TORVANE_RELEASE_DATE "Mon, 07 Dec 2026 12:00:00 +0000")

set(pkg_src ${CMAKE_CURRENT_LIST_DIR})
set(pkg_out ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${pkg_out})

# Manual pages: roff with the version filled in, compressed as Debian keeps them.
set(man_pages)
foreach(page torvane-capture torvane-unit-sim)
  configure_file(${pkg_src}/${page}.1.in ${pkg_out}/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${pkg_out}/${page}.1.gz
                     COMMAND gzip -9nc ${pkg_out}/${page}.1 > ${pkg_out}/${page}.1.gz
                     DEPENDS ${pkg_out}/${page}.1 VERBATIM)
  list(APPEND man_pages ${pkg_out}/${page}.1.gz)
endforeach()
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The changelog in Debian's format, one entry for the version being built. The package has no
# Debian revision (a native package), so it is changelog.gz rather than changelog.Debian.gz.
configure_file(${pkg_src}/changelog.in ${pkg_out}/changelog @ONLY)
add_custom_command(OUTPUT ${pkg_out}/changelog.gz
                   COMMAND gzip -9nc ${pkg_out}/changelog > ${pkg_out}/changelog.gz
                   DEPENDS ${pkg_out}/changelog VERBATIM)
install(FILES ${pkg_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

configure_file(${pkg_src}/torvane-capture.metainfo.xml.in ${pkg_out}/${TORVANE_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${pkg_out}/${TORVANE_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Menus and software centres that do not draw SVG take the 48 px bitmap, drawn from the SVG.
find_program(RSVG_CONVERT rsvg-convert)
set(icon_svg ${PROJECT_SOURCE_DIR}/app/resources/torvane-capture.svg)
set(icon_png ${pkg_out}/torvane-capture.png)
if(RSVG_CONVERT)
  add_custom_command(OUTPUT ${icon_png}
                     COMMAND ${RSVG_CONVERT} --width 48 --height 48 --output ${icon_png} ${icon_svg}
                     DEPENDS ${icon_svg} VERBATIM)
  install(FILES ${icon_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
else()
  message(WARNING "rsvg-convert not found (librsvg2-bin): the package will lack the 48 px icon")
  set(icon_png)
endif()
add_custom_target(package_files ALL DEPENDS ${man_pages} ${pkg_out}/changelog.gz ${icon_png})

install(FILES ${pkg_src}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvane-capture)
set(CPACK_PACKAGE_VENDOR "${TORVANE_DEVELOPER}")
set(CPACK_PACKAGE_CONTACT "${TORVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find a receiver unit on a serial port and show its status records")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "A bench tool for setting up throttles: it finds the receiver unit by itself"
  "among the machine's serial ports, talks to it at 500000 baud 8N2 and shows"
  "its live status records in a table. It comes with torvane-unit-sim, a"
  "simulated receiver unit on a pseudo-terminal, to try the program without one.")
set(CPACK_RESOURCE_FILE_LICENSE ${pkg_src}/copyright)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TORVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TORVANE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/package)
# CPack writes its configuration into the top build folder: inside another project, that
# project's packaging is its own.
if(PROJECT_IS_TOP_LEVEL)
  include(CPack)
endif()
