# Per-OS code lives in a folder named after the OS (TORVANE_OS: linux, windows) inside the folder
# it belongs to, and that folder lists its own files in Sources.cmake: os_sources (file names in
# the folder) and, where its calls need them, os_libraries (the system's libraries). A new
# platform is a folder of that name with its list beside each linux/ and windows/, and its name
# in the top CMakeLists.txt.
#   torvane_os_sources(<target> [<subfolder holding linux/ and windows/>])
function(torvane_os_sources target)
  set(folder ${CMAKE_CURRENT_SOURCE_DIR})
  if(ARGC GREATER 1)
    set(folder ${folder}/${ARGV1})
  endif()
  set(os_sources)
  set(os_libraries)
  include(${folder}/${TORVANE_OS}/Sources.cmake)
  list(TRANSFORM os_sources PREPEND ${folder}/${TORVANE_OS}/)
  target_sources(${target} PRIVATE ${os_sources})
  if(os_libraries)
    target_link_libraries(${target} PRIVATE ${os_libraries})
  endif()
endfunction()
