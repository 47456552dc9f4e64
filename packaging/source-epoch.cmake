# The time that stands for the build in the package, in seconds since 1970:
# every file's time in the zip and the signing time in a signature. It is the
# commit's time, so that each build of a commit agrees with the others. Without
# git (a source tree exported from git), SOURCE_DATE_EPOCH gives it (set it to
# the commit's time to match a release); failing that, the earliest time a zip
# can hold. Sets ENGINE_EPOCH and ENGINE_EPOCH_SOURCE (what it came from).
execute_process(
  COMMAND git log -1 --format=%ct
  WORKING_DIRECTORY "${CPACK_ENGINE_SOURCE_DIR}"
  RESULT_VARIABLE git_status
  OUTPUT_VARIABLE git_time
  OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_QUIET)
if(git_status EQUAL 0 AND git_time MATCHES "^[0-9]+$")
  set(ENGINE_EPOCH ${git_time})
  set(ENGINE_EPOCH_SOURCE "the commit")
elseif("$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  set(ENGINE_EPOCH $ENV{SOURCE_DATE_EPOCH})
  set(ENGINE_EPOCH_SOURCE "SOURCE_DATE_EPOCH")
else()
  set(ENGINE_EPOCH 315532800) # 1980-01-01 00:00:00 UTC
  set(ENGINE_EPOCH_SOURCE "no commit time known")
endif()
# A zip holds times from 1980 on.
if(ENGINE_EPOCH LESS 315532800)
  set(ENGINE_EPOCH 315532800)
endif()
