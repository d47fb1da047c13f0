# Each library publishes only its own headers. Includes are written from the top of the tree
# ("serial/VaComm.h", "app/record/Columns.h"); rather than publishing the top (which lets
# any target include any header), a library publishes a folder of the build tree that holds a
# link named like its own folder and nothing else. A header of a library the target does not link
# is then not found, and the missing dependency shows up at compile time.
#
#   torvane_include_root(<target> <folder from the top of the tree>
#                        [WITHOUT <subfolder>...] [HEADERS <header>...])
#
# By default the link is the folder itself, subfolders and all. A folder whose subfolders are
# libraries of their own (which link this one, so this one must not reach them) names them in
# WITHOUT: the folder is then made of one link per header and per other subfolder. Where two
# libraries share a folder, the lower one lists its HEADERS; the upper one, which links the lower,
# may publish the whole folder.
function(torvane_include_root target folder)
  cmake_parse_arguments(PARSE_ARGV 2 R "" "" "WITHOUT;HEADERS")
  if(R_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "torvane_include_root: unexpected arguments ${R_UNPARSED_ARGUMENTS}")
  endif()
  set(source ${PROJECT_SOURCE_DIR}/${folder})
  if(NOT IS_DIRECTORY ${source})
    message(FATAL_ERROR "torvane_include_root: no folder ${source}")
  endif()
  set(root ${CMAKE_CURRENT_BINARY_DIR}/include-roots/${target})
  set(dest ${root}/${folder})
  get_filename_component(parent ${dest} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})

  if(NOT R_WITHOUT AND NOT R_HEADERS)
    if(IS_DIRECTORY ${dest} AND NOT IS_SYMLINK ${dest})
      file(REMOVE_RECURSE ${dest})  # a folder of links from an earlier configure; links are not followed
    endif()
    _torvane_link(${source} ${dest})
  else()
    if(R_HEADERS)
      set(wanted ${R_HEADERS})
    else()
      # Re-globbed at build time, so a new header or subfolder needs no manual re-configure.
      file(GLOB entries LIST_DIRECTORIES true CONFIGURE_DEPENDS RELATIVE ${source} ${source}/*)
      set(wanted)
      foreach(entry ${entries})
        if(IS_DIRECTORY ${source}/${entry})
          if(NOT entry IN_LIST R_WITHOUT)
            list(APPEND wanted ${entry})
          endif()
        elseif(entry MATCHES "\\.h$")
          list(APPEND wanted ${entry})
        endif()
      endforeach()
    endif()
    foreach(entry ${wanted})
      if(NOT EXISTS ${source}/${entry})
        message(FATAL_ERROR "torvane_include_root: no ${folder}/${entry}")
      endif()
    endforeach()
    if(IS_SYMLINK ${dest})
      file(REMOVE ${dest})  # the whole-folder link of an earlier configure
    endif()
    file(MAKE_DIRECTORY ${dest})
    # Links left from an earlier configure for what is no longer published go.
    file(GLOB present LIST_DIRECTORIES true RELATIVE ${dest} ${dest}/*)
    foreach(entry ${present})
      if(NOT entry IN_LIST wanted)
        file(REMOVE ${dest}/${entry})
      endif()
    endforeach()
    foreach(entry ${wanted})
      _torvane_link(${source}/${entry} ${dest}/${entry})
    endforeach()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${root}>)
  else()
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
  endif()
endfunction()

function(_torvane_link original link)
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} current)
    if(current STREQUAL original)
      return()
    endif()
  endif()
  # Made on the build host, also for the Windows cross build; the compiler follows the links.
  file(CREATE_LINK ${original} ${link} SYMBOLIC)
endfunction()
