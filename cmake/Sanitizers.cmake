# Sanitizers apply to everything in the build, libraries and tests alike.
if(ORVANE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(ORVANE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  # Boost.Asio's scheduler orders its queue with std::atomic_thread_fence, which GCC 12 warns
  # ThreadSanitizer does not follow. The event loop runs on one thread, so the warning points at
  # nothing of ours; as an error it stops the build of the page's server and its tests.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-tsan)
  endif()
elseif(NOT ORVANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ORVANE_SANITIZE must be address, thread or empty")
endif()
# A sanitizer's report needs functions, files and lines, not variables to inspect: line tables
# only (after the build type's -g, so they win), which makes these builds much lighter.
if(NOT ORVANE_SANITIZE STREQUAL "")
  add_compile_options(-g1)
endif()

# The standard library's own checks (an element of an empty string, an index past the end)
# turn quiet undefined behaviour into an abort that the tests see.
option(ORVANE_GLIBCXX_ASSERTIONS "Build with the standard library's assertions" OFF)
if(ORVANE_GLIBCXX_ASSERTIONS)
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
endif()
