# CPack runs this once the package's files are installed in its staging folder
# (CPACK_TEMPORARY_DIRECTORY) and before it packs them: it refuses an executable
# that isn't reproducible and writes SHA256SUMS.
if(NOT CPACK_GENERATOR STREQUAL "ZIP")
  return()
endif()
set(stage "${CPACK_TEMPORARY_DIRECTORY}")

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

# SHA256SUMS: every other file of the package, in sha256sum's format, sorted by
# path, so that `sha256sum -c SHA256SUMS` checks an unpacked copy.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 "${stage}/${file}" sum)
  string(APPEND sums "${sum}  ${file}\n")
endforeach()
file(WRITE "${stage}/SHA256SUMS" "${sums}")
