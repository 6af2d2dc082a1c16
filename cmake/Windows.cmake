# What the Windows cross build needs beyond the toolchain file: the Wine runner for tests and
# the cross-compiled forms of the libraries that Debian ships for Linux only.

# Tests and test discovery run the .exe files under Wine, in a prefix inside the build folder.
set(ORVANE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run ${ORVANE_WINE_PREFIX})

# CLI11 is header-only, but its package config would put /usr/include (Linux's C library
# headers) on the cross compiler's path; a folder holding only CLI11 keeps them apart.
if(NOT TARGET CLI11::CLI11)
  find_path(ORVANE_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cli11-include)
  file(CREATE_LINK ${ORVANE_CLI11_INCLUDE}/CLI ${CMAKE_BINARY_DIR}/cli11-include/CLI SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  set_target_properties(CLI11::CLI11 PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/cli11-include
    INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/cli11-include)
  set(CLI11_FOUND TRUE)
endif()

# nlohmann-json is header-only too, and its package config has the same /usr/include problem.
if(NOT TARGET nlohmann_json::nlohmann_json)
  find_path(ORVANE_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/nlohmann-include)
  file(CREATE_LINK ${ORVANE_NLOHMANN_INCLUDE}/nlohmann ${CMAKE_BINARY_DIR}/nlohmann-include/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/nlohmann-include
    INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/nlohmann-include)
endif()

# Boost's headers (Asio and Beast, for the station's page) the same way: header-only, from
# Debian's libboost-dev.
if(NOT TARGET Boost::headers)
  find_path(ORVANE_BOOST_INCLUDE boost/beast.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
  if(ORVANE_BOOST_INCLUDE)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/boost-include)
    file(CREATE_LINK ${ORVANE_BOOST_INCLUDE}/boost ${CMAKE_BINARY_DIR}/boost-include/boost SYMBOLIC)
    add_library(Boost::headers INTERFACE IMPORTED GLOBAL)
    set_target_properties(Boost::headers PROPERTIES
      INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/boost-include
      INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/boost-include)
  endif()
endif()

# SQLite, for the records room.
include(${CMAKE_CURRENT_LIST_DIR}/WindowsSqlite.cmake)
