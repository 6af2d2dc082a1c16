# SQLite for the Windows build: Debian's own sqlite3 source (the Linux build's version) made
# into its amalgamation by scripts/fetch-windows-sqlite, compiled here with mingw-w64 as the
# static library SQLite::SQLite3. Built once per build folder (and cached by ccache).

set(user_folder "$ENV{XDG_CACHE_HOME}")
if(NOT user_folder)
  set(user_folder "$ENV{HOME}/.cache")
endif()
set(user_folder "${user_folder}/orvane/windows-sqlite")
if(DEFINED ENV{ORVANE_WINDOWS_SQLITE_DIR})
  set(default_folder "$ENV{ORVANE_WINDOWS_SQLITE_DIR}")
elseif(EXISTS "${user_folder}/sqlite3.c")
  set(default_folder "${user_folder}")
else()
  set(default_folder /var/cache/orvane/windows-sqlite)
endif()
set(ORVANE_WINDOWS_SQLITE_DIR "${default_folder}" CACHE PATH
  "Folder of the SQLite amalgamation (sqlite3.c, sqlite3.h) that scripts/fetch-windows-sqlite makes")
if(NOT EXISTS "${ORVANE_WINDOWS_SQLITE_DIR}/sqlite3.c" OR NOT EXISTS "${ORVANE_WINDOWS_SQLITE_DIR}/sqlite3.h")
  message(FATAL_ERROR "No SQLite amalgamation in ${ORVANE_WINDOWS_SQLITE_DIR}: run "
    "scripts/fetch-windows-sqlite (or scripts/install-deps --windows), or set ORVANE_WINDOWS_SQLITE_DIR")
endif()
file(STRINGS "${ORVANE_WINDOWS_SQLITE_DIR}/VERSION" taken LIMIT_COUNT 1)
message(STATUS "SQLite for Windows: Debian's ${taken} from ${ORVANE_WINDOWS_SQLITE_DIR}")

enable_language(C)
add_library(orvane_sqlite3 STATIC "${ORVANE_WINDOWS_SQLITE_DIR}/sqlite3.c")
target_include_directories(orvane_sqlite3 SYSTEM PUBLIC "${ORVANE_WINDOWS_SQLITE_DIR}")
# Many threads and processes write the records at once; no extension is ever loaded. Third-party
# code: none of our warnings. -O1 compiles in half the time of -O2 (about 20 s against 40),
# and a job's record is written faster than the disk syncs it either way.
target_compile_definitions(orvane_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_DEFAULT_MEMSTATUS=0)
target_compile_options(orvane_sqlite3 PRIVATE -w -O1)
# The developers' launcher (ccache) is given for C++; the one C file is worth it most.
if(CMAKE_CXX_COMPILER_LAUNCHER AND NOT CMAKE_C_COMPILER_LAUNCHER)
  set_target_properties(orvane_sqlite3 PROPERTIES C_COMPILER_LAUNCHER "${CMAKE_CXX_COMPILER_LAUNCHER}")
endif()
add_library(SQLite::SQLite3 ALIAS orvane_sqlite3)

unset(user_folder)
unset(default_folder)
unset(taken)
