# Rooms: each folder of the product is a static library that declares the rooms it uses, and a
# room sees only itself and those. Includes are written from the top ("serial/serial_port.h"),
# so the top folder on the include path would let any room include any other. Instead each
# room's public include folder is its own, under the build folder, holding one link named after
# the room that points at the room's sources:
#   build/include/orvane_serial/serial -> serial/
# An include from a room the target does not link to is then "No such file", at compile time.

set(ORVANE_ROOM_INCLUDES ${CMAKE_BINARY_DIR}/include)

# Where links cannot be made (Windows without the right to make them), the top folder stands in
# for every room: everything builds, but an include across the rooms goes unnoticed.
file(MAKE_DIRECTORY ${ORVANE_ROOM_INCLUDES})
if(NOT IS_SYMLINK ${ORVANE_ROOM_INCLUDES}/.probe)
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/CMakeLists.txt ${ORVANE_ROOM_INCLUDES}/.probe RESULT failed SYMBOLIC)
  if(failed)
    message(WARNING "No symbolic links in ${ORVANE_ROOM_INCLUDES} (${failed}): the rooms' includes are not checked")
  endif()
endif()
if(IS_SYMLINK ${ORVANE_ROOM_INCLUDES}/.probe)
  set(ORVANE_ROOMS_CHECKED TRUE)
else()
  set(ORVANE_ROOMS_CHECKED FALSE)
endif()

# orvane_expose(NAME PATH...): the include folder ${ORVANE_ROOM_INCLUDES}/NAME, in which each
# PATH (a folder or file of the source tree, relative to its top) is a link at the same
# relative place; its path goes to ORVANE_EXPOSED_DIR.
function(orvane_expose name)
  if(NOT ORVANE_ROOMS_CHECKED)
    set(ORVANE_EXPOSED_DIR ${PROJECT_SOURCE_DIR} PARENT_SCOPE)
    return()
  endif()
  foreach(path IN LISTS ARGN)
    set(link ${ORVANE_ROOM_INCLUDES}/${name}/${path})
    set(target ${PROJECT_SOURCE_DIR}/${path})
    if(NOT EXISTS ${target})
      message(FATAL_ERROR "orvane_expose(${name}): ${path} is not in the source tree")
    endif()
    if(IS_SYMLINK ${link})
      file(READ_SYMLINK ${link} current)
      if(current STREQUAL target)
        continue()
      endif()
      file(REMOVE ${link})
    endif()
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${target} ${link} SYMBOLIC)
  endforeach()
  set(ORVANE_EXPOSED_DIR ${ORVANE_ROOM_INCLUDES}/${name} PARENT_SCOPE)
endfunction()

# orvane_room(TARGET PATH... [USES room...] [USES_PRIVATELY room...]): the static library
# TARGET for the folders or files PATH, which it alone exposes, using the rooms after USES in
# its headers and those after USES_PRIVATELY only in its sources. Its sources are added by
# target_sources in its folder.
function(orvane_room target)
  cmake_parse_arguments(R "" "" "USES;USES_PRIVATELY" ${ARGN})
  add_library(${target} STATIC)
  orvane_expose(${target} ${R_UNPARSED_ARGUMENTS})
  target_include_directories(${target} PUBLIC ${ORVANE_EXPOSED_DIR})
  target_link_libraries(${target} PUBLIC ${R_USES} Threads::Threads PRIVATE ${R_USES_PRIVATELY})
  orvane_warnings(${target})
endfunction()
