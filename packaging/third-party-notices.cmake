# Included by prepare-package.cmake, with |stage| and |executables| set.
#
# THIRD-PARTY-NOTICES.txt: the executables are linked statically, so each
# carries parts of the compiler's runtime, whose licenses ask that a binary
# redistribution reproduce their notices. What each executable holds is read
# from the map its link wrote (every archive member and object file the linker
# took); the package that installed each file, its version and its copyright
# file come from dpkg at packaging time, so that a toolchain update can't leave
# the notices stale. A file that none of the components below claims stops
# the package: its license would be missing.

# Each component: its name, the Debian package its files come from and the
# names of those files (regular expressions, the first component that matches
# claims a file), its license in a few words, and a phrase that its copyright
# file must hold (were it gone, the license named here would be out of date).
set(components "")
function(component id)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;PACKAGE;FILES;LICENSE;PHRASE" "")
  foreach(key NAME PACKAGE FILES LICENSE PHRASE)
    set(${id}_${key} "${arg_${key}}" PARENT_SCOPE)
  endforeach()
  set(components ${components} ${id} PARENT_SCOPE)
endfunction()
component(winpthreads
  NAME "winpthreads, the POSIX threads library of mingw-w64"
  PACKAGE "^mingw-w64-x86-64-dev$" FILES "^lib(win)?pthread\\.a$"
  LICENSE "MIT (expat); its pthread.h under the BSD 3-clause license of Lockless Inc."
  PHRASE "Files: mingw-w64-libraries/winpthreads/*")
component(mingw
  NAME "mingw-w64 runtime: start-up code, C runtime and Windows import libraries"
  PACKAGE "^mingw-w64-x86-64-dev$" FILES "."
  LICENSE "Zope Public License 2.1; some parts under the other licenses its copyright file lists"
  PHRASE "License: ZPL-2.1")
component(gcc
  NAME "GCC runtime libraries: libstdc++, libgcc"
  PACKAGE "^g(cc|\\+\\+)-mingw-w64-x86-64-(posix|win32)$" FILES "."
  LICENSE "GNU General Public License 3 with the GCC Runtime Library Exception 3.1"
  PHRASE "GCC RUNTIME LIBRARY EXCEPTION")

# The toolchain's files in each executable, from its link map: archive members
# (a line that starts with the archive's absolute path) and loaded object files.
set(held "")
foreach(exe IN LISTS executables)
  get_filename_component(name "${exe}" NAME)
  set(map "${CPACK_ENGINE_LINK_MAPS}/${name}.map")
  if(NOT EXISTS "${map}")
    message(FATAL_ERROR
      "No link map ${map}: this build folder was configured before the links "
      "wrote one. Configure it afresh (cmake --preset windows --fresh) and build "
      "the package again.")
  endif()
  file(STRINGS "${map}" lines REGEX "^(/[^ ()]+\\.a\\(|LOAD /[^ ()]+\\.o$)")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^(LOAD )?(/[^ ()]+).*" "\\2" path "${line}")
    get_filename_component(path "${path}" REALPATH)
    list(APPEND held "${path}")
    list(APPEND held_by_${path} "${exe}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES held)

# Their packages, in one query: "package[:arch]: path" lines.
execute_process(COMMAND dpkg -S ${held} OUTPUT_VARIABLE owners ERROR_VARIABLE dpkg_errors)
string(REPLACE "\n" ";" owners "${owners}")
foreach(line IN LISTS owners)
  if(line MATCHES "^([^:, ]+).*: (/.+)$")
    set(package_of_${CMAKE_MATCH_2} "${CMAKE_MATCH_1}")
  endif()
endforeach()

foreach(path IN LISTS held)
  set(package "${package_of_${path}}")
  get_filename_component(file "${path}" NAME)
  set(claimed "")
  foreach(id IN LISTS components)
    if(package MATCHES "${${id}_PACKAGE}" AND file MATCHES "${${id}_FILES}")
      set(claimed ${id})
      break()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES held_by_${path})
  list(JOIN held_by_${path} ", " holders)
  if(NOT claimed)
    if(package STREQUAL "")
      set(package "no Debian package: ${dpkg_errors}")
    endif()
    message(FATAL_ERROR
      "${holders} holds ${path} (${package}), which THIRD-PARTY-NOTICES.txt "
      "doesn't name: add its component, with its license, to ${CMAKE_CURRENT_LIST_FILE}.")
  endif()
  list(APPEND ${claimed}_files "${file}")
  list(APPEND ${claimed}_packages "${package}")
  list(APPEND ${claimed}_holders ${held_by_${path}})
endforeach()

# Where Debian keeps each package's copyright file (another folder: for tests).
set(docs /usr/share/doc)
if(CPACK_ENGINE_DOCS)
  set(docs "${CPACK_ENGINE_DOCS}")
endif()

set(summary "")
set(texts "")
set(shown_copyrights "")
set(number 0)
foreach(id IN LISTS components)
  if(NOT ${id}_files)
    continue() # not in any executable of this build
  endif()
  math(EXPR number "${number} + 1")
  foreach(list files packages holders)
    list(REMOVE_DUPLICATES ${id}_${list})
    list(SORT ${id}_${list})
  endforeach()
  set(versions "")
  set(sections "")
  foreach(package IN LISTS ${id}_packages)
    execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
      OUTPUT_VARIABLE version COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND versions "${version} (Debian package ${package})")
    set(copyright "${docs}/${package}/copyright")
    get_filename_component(real "${copyright}" REALPATH)
    file(READ "${real}" text)
    string(FIND "${text}" "${${id}_PHRASE}" at)
    if(at LESS 0)
      message(FATAL_ERROR
        "${copyright} no longer holds \"${${id}_PHRASE}\": check that ${${id}_NAME} "
        "is still under ${${id}_LICENSE}, and update ${CMAKE_CURRENT_LIST_FILE}.")
    endif()
    list(FIND shown_copyrights "${real}" index)
    math(EXPR index "${index} + 1") # counted from 1; 0: not shown yet
    if(index EQUAL 0)
      list(APPEND shown_copyrights "${real}")
      list(LENGTH shown_copyrights index)
      string(APPEND texts "\n\n"
        "Copyright file ${index}: ${copyright}, package ${package} ${version}\n"
        "==============================================================================\n\n"
        "${text}")
    endif()
    list(APPEND sections "${index}")
  endforeach()
  list(REMOVE_DUPLICATES sections)
  foreach(list holders files)
    list(JOIN ${id}_${list} ", " ${list}_text)
  endforeach()
  list(JOIN versions ", " versions_text)
  list(JOIN sections ", " sections_text)
  string(APPEND summary "\n${number}. ${${id}_NAME}\n"
    "   Version: ${versions_text}\n"
    "   In:      ${holders_text}\n"
    "   Files:   ${files_text}\n"
    "   License: ${${id}_LICENSE}\n"
    "   Text:    copyright file ${sections_text} below (notice, conditions, disclaimer)\n")
endforeach()

string(CONCAT notices "Third-party software in this package\n"
  "====================================\n\n"
  "The programs of this package are linked statically: each carries parts of\n"
  "its compiler's runtime, redistributed under the licenses below, whose\n"
  "copyright files (Debian's, of the toolchain that built this package) follow\n"
  "in full. The project's own code is under the MIT license (LICENSE.txt).\n"
  "${summary}${texts}")
string(REPLACE "\n" "\r\n" notices "${notices}")
file(WRITE "${stage}/THIRD-PARTY-NOTICES.txt" "${notices}")
