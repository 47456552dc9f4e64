# Cross build for 64-bit Windows with mingw-w64; test binaries run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX thread model: GoogleTest needs std::mutex and
# std::condition_variable, which GCC 12's win32 thread model doesn't provide.
# Its threading library is linked in statically like the rest of the runtime,
# so the programs still need no DLL beyond Windows' own.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# GCC 12 reports impossible overlapping copies inside std::string's operator+
# once it inlines deeply enough (GCC bug 105651); -Werror would turn that false
# alarm into a failed build at this build type's optimisation level.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# CTest runs every Windows test binary through this wrapper, which prepares the
# shared Wine prefix once and reuses it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)

# Reproducible output: two builds of one commit, from checkouts in different
# folders and at different times, give the same bytes, so that an operator can
# check a download against a rebuild.
#  - mingw ld stamps the link time into the PE header (and the header checksum
#    then varies with it): leave the stamp zero.
#  - __FILE__ (and debug information, in a build type that has any) would carry
#    the checkout's absolute path: write it relative to the source folder. Both
#    spellings of the folder are mapped in case it is reached through a link.
get_filename_component(_engine_source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
get_filename_component(_engine_source_real "${CMAKE_CURRENT_LIST_DIR}/.." REALPATH)
set(_engine_prefix_map "\"-ffile-prefix-map=${_engine_source_dir}=.\"")
if(NOT _engine_source_real STREQUAL _engine_source_dir)
  string(APPEND _engine_prefix_map " \"-ffile-prefix-map=${_engine_source_real}=.\"")
endif()
set(CMAKE_C_FLAGS_INIT "${_engine_prefix_map}")
string(APPEND CMAKE_CXX_FLAGS_INIT " ${_engine_prefix_map}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
