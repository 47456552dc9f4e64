# Included by prepare-package.cmake, with |stage|, |executables| and a
# |scratch| folder set.
#
# Authenticode (SHA-256) for the executables in the package, so that Windows
# can tell their publisher (AppLocker, WDAC and SmartScreen allow programs by
# it). Everything comes from the environment of the packaging command; none of
# it is written into the build folder, the package or the log:
#   ENGINE_SIGN_PKCS12          the key and certificate chain, a PKCS#12 file
#   ENGINE_SIGN_PASSWORD_FILE   the file holding its password
#   ENGINE_SIGN_TIMESTAMP_URL   an RFC 3161 time-stamp server (optional)
#   ENGINE_SIGNATURES           instead of a key: the folder of a release's
#                               published signatures, attached to this build
#   ENGINE_SIGN_CAFILE          the authorities a signature must chain to
#                               (default: the system's)
# Signed with a key, each program's signature is written beside the package,
# detached (<program>.sig): attached to the unsigned program, which anyone
# rebuilds from the commit, it gives the signed program exactly. Without a time
# stamp the signing time is the package's time, and signing the same bytes
# again gives the same bytes. With neither variable set the package holds the
# unsigned programs, as built.
set(pkcs12 "$ENV{ENGINE_SIGN_PKCS12}")
set(published "$ENV{ENGINE_SIGNATURES}")
set(outside "${CPACK_PACKAGE_DIRECTORY}")
if(pkcs12 STREQUAL "" AND published STREQUAL "")
  foreach(exe IN LISTS executables)
    get_filename_component(name "${exe}" NAME)
    file(REMOVE "${outside}/${name}.sig") # an earlier signed package's
  endforeach()
  return()
endif()
if(NOT pkcs12 STREQUAL "" AND NOT published STREQUAL "")
  message(FATAL_ERROR "Set ENGINE_SIGN_PKCS12 to sign, or ENGINE_SIGNATURES to "
    "attach published signatures, not both.")
endif()
find_program(ENGINE_OSSLSIGNCODE osslsigncode)
if(NOT ENGINE_OSSLSIGNCODE)
  message(FATAL_ERROR "Signing needs osslsigncode (apt-get install osslsigncode).")
endif()
set(trust "")
if(NOT "$ENV{ENGINE_SIGN_CAFILE}" STREQUAL "")
  set(trust -CAfile "$ENV{ENGINE_SIGN_CAFILE}")
endif()

# osslsigncode, its output shown only when it fails (it names no secret).
function(osslsigncode what)
  execute_process(COMMAND "${ENGINE_OSSLSIGNCODE}" ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "osslsigncode could not ${what}:\n${output}")
  endif()
endfunction()

if(NOT pkcs12 STREQUAL "")
  if("$ENV{ENGINE_SIGN_PASSWORD_FILE}" STREQUAL "")
    message(FATAL_ERROR "ENGINE_SIGN_PKCS12 names a key; ENGINE_SIGN_PASSWORD_FILE "
      "must name the file that holds its password.")
  endif()
  include("${CMAKE_CURRENT_LIST_DIR}/source-epoch.cmake")
  set(stamp -time ${ENGINE_EPOCH})
  if(NOT "$ENV{ENGINE_SIGN_TIMESTAMP_URL}" STREQUAL "")
    set(stamp -ts "$ENV{ENGINE_SIGN_TIMESTAMP_URL}")
  endif()
endif()

foreach(exe IN LISTS executables)
  get_filename_component(name "${exe}" NAME)
  set(unsigned "${stage}/${exe}")
  set(signed "${scratch}/signed-${name}")
  file(REMOVE "${signed}")
  if(pkcs12 STREQUAL "")
    set(signature "${published}/${name}.sig")
    message(STATUS "Attaching ${signature} to ${exe}")
    # Attaching checks that the signature is of these bytes and chains to a
    # trusted authority.
    osslsigncode("attach ${signature} to ${exe} (a signature of other bytes, or one that chains to no authority of ENGINE_SIGN_CAFILE or the system's)"
      attach-signature -sigin "${signature}" ${trust} -in "${unsigned}" -out "${signed}")
  else()
    set(signature "${outside}/${name}.sig")
    message(STATUS "Signing ${exe} (SHA-256, the key named by ENGINE_SIGN_PKCS12)")
    osslsigncode("sign ${exe}" sign -pkcs12 "${pkcs12}" -readpass "$ENV{ENGINE_SIGN_PASSWORD_FILE}"
      -h sha256 ${stamp} -in "${unsigned}" -out "${signed}")
    osslsigncode("verify the signed ${exe}" verify ${trust} -in "${signed}")
    file(REMOVE "${signature}")
    osslsigncode("extract the signature of ${exe}" extract-signature -in "${signed}" -out "${signature}")
    # What the release promises: the detached signature and a rebuild give
    # these bytes back (attaching checks the chain again, already seen above).
    file(REMOVE "${signed}.again")
    execute_process(COMMAND "${ENGINE_OSSLSIGNCODE}" attach-signature -sigin "${signature}"
      ${trust} -in "${unsigned}" -out "${signed}.again" OUTPUT_QUIET ERROR_QUIET)
    file(SHA256 "${signed}" want)
    set(got "")
    if(EXISTS "${signed}.again")
      file(SHA256 "${signed}.again" got)
    endif()
    file(REMOVE "${signed}.again")
    if(NOT got STREQUAL want)
      message(FATAL_ERROR "${signature} attached to the unsigned ${exe} doesn't give "
        "the signed program back: a rebuild could not be checked against the release.")
    endif()
  endif()
  file(RENAME "${signed}" "${unsigned}")
endforeach()
