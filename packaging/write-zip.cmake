# CPack runs this after its ZIP generator has written the package, and we write
# the package again, reproducibly. CPack's archive writer (CMake 3.25, through
# libarchive) stores each file's access and inode-change times and its owner's
# uid and gid, and it packs files in the order the staging folder lists them:
# none of that can be set from outside, and the change time is always "now". So
# the same files are packed again with Info-ZIP's zip, which leaves owners and
# the extra times out (-X), in a sorted order, with fixed permissions and one
# fixed modification time taken from the commit.
if(NOT CPACK_GENERATOR STREQUAL "ZIP")
  return()
endif()
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
get_filename_component(stage_parent "${stage}" DIRECTORY)
get_filename_component(top "${stage}" NAME)

find_program(ENGINE_ZIP_PROGRAM zip)
if(NOT ENGINE_ZIP_PROGRAM)
  message(FATAL_ERROR
    "Writing the package reproducibly needs Info-ZIP's zip (apt-get install zip).")
endif()

include("${CMAKE_CURRENT_LIST_DIR}/source-epoch.cmake")
set(epoch ${ENGINE_EPOCH})
if(ENGINE_EPOCH_SOURCE STREQUAL "the commit")
  execute_process(
    COMMAND git status --porcelain --untracked-files=no
    WORKING_DIRECTORY "${CPACK_ENGINE_SOURCE_DIR}"
    OUTPUT_VARIABLE git_changes
    ERROR_QUIET)
  if(NOT git_changes STREQUAL "")
    message(WARNING
      "The checkout has uncommitted changes: this package is not its commit's.")
  endif()
endif()
set(ENV{SOURCE_DATE_EPOCH} ${epoch}) # string(TIMESTAMP) shows that time
string(TIMESTAMP shown "%Y-%m-%d %H:%M:%S UTC" UTC)
message(STATUS "Package file times: ${shown} (${ENGINE_EPOCH_SOURCE})")

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
list(SORT files)
set(names "")
foreach(file IN LISTS files)
  # Read for everyone, write for the owner, execute for programs: the files
  # land with whatever the umask allowed, and an unpacked copy gets these.
  if(file MATCHES "\\.exe$")
    set(modes OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
      WORLD_READ WORLD_EXECUTE)
  else()
    set(modes OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  file(CHMOD "${stage}/${file}" PERMISSIONS ${modes})
  execute_process(COMMAND touch -d @${epoch} "${stage}/${file}"
    COMMAND_ERROR_IS_FATAL ANY)
  string(APPEND names "${top}/${file}\n")
endforeach()
file(WRITE "${stage_parent}/zip-names.txt" "${names}")

# zip keeps a DOS date and time in the local time zone; ZIPOPT would add
# options of the caller's.
set(ENV{TZ} UTC0)
unset(ENV{ZIPOPT})
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name "${package}" NAME)
  set(rewritten "${stage_parent}/reproducible-${name}")
  file(REMOVE "${rewritten}")
  execute_process(
    COMMAND "${ENGINE_ZIP_PROGRAM}" -X -D -9 -q "${rewritten}" -@
    WORKING_DIRECTORY "${stage_parent}"
    INPUT_FILE "${stage_parent}/zip-names.txt"
    COMMAND_ERROR_IS_FATAL ANY)
  file(RENAME "${rewritten}" "${package}")
endforeach()
