# CPack runs this once the package's files are installed in its staging folder
# (CPACK_TEMPORARY_DIRECTORY) and before it packs them: it refuses an executable
# that isn't reproducible, signs the executables when given a key, writes the
# third-party notices, refuses a text file without CR LF line ends and writes
# SHA256SUMS.
if(NOT CPACK_GENERATOR STREQUAL "ZIP")
  return()
endif()
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
get_filename_component(scratch "${stage}" DIRECTORY)

# A build folder configured before the toolchain file asked the linker to leave
# the link time out keeps its old linker flags in its cache: its executables
# differ from every other build. Check the PE header's TimeDateStamp (at 8 bytes
# into the header that the DOS header's e_lfanew, at 0x3C, points to).
function(read_le32 file offset out)
  file(READ "${file}" hex OFFSET ${offset} LIMIT 4 HEX)
  string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" hex "${hex}")
  math(EXPR value "0x${hex}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE executables LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*.exe")
list(SORT executables)
foreach(exe IN LISTS executables)
  read_le32("${stage}/${exe}" 60 pe_header)
  math(EXPR stamp_offset "${pe_header} + 8")
  read_le32("${stage}/${exe}" ${stamp_offset} stamp)
  if(NOT stamp EQUAL 0)
    message(FATAL_ERROR
      "${exe} carries its link time, so no other build would match it: this "
      "build folder was configured before the toolchain file left the time out. "
      "Configure it afresh (cmake --preset windows --fresh) and build the "
      "package again.")
  endif()
endforeach()

include("${CMAKE_CURRENT_LIST_DIR}/authenticode.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/third-party-notices.cmake")

# The package is for Windows: each of its text files (all but the programs)
# ends its lines in CR LF, which every Windows tool reads as line ends (older
# Notepads show a file of LF line ends as one line). file(READ) would give
# CR LF as LF: the bytes are read in hexadecimal, a blank after each, and an
# LF (0a) must follow a CR (0d).
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
foreach(file IN LISTS files)
  file(READ "${stage}/${file}" bytes HEX)
  if(bytes MATCHES "^4d5a") # MZ: a program
    continue()
  endif()
  string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
  if(bytes MATCHES "(^|[^ ][^d] |[^0 ][^ ] )0a ")
    message(FATAL_ERROR "${file} has a line that ends in LF alone: a text file "
      "for Windows ends every line in CR LF (see engine_windows_text in CMakeLists.txt).")
  endif()
endforeach()

# SHA256SUMS: every other file of the package, in sha256sum's format (which
# `sha256sum -c` reads with CR LF line ends too), sorted by path, so that
# `sha256sum -c SHA256SUMS` checks an unpacked copy (the files found above).
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 "${stage}/${file}" sum)
  string(APPEND sums "${sum}  ${file}\r\n")
endforeach()
file(WRITE "${stage}/SHA256SUMS" "${sums}")
