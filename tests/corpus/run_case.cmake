cmake_minimum_required(VERSION 3.25)
# Runs quill-host on one corpus case in a work folder of its own and checks
# its exit status, what it says and the files it leaves.
#   -DHOST=... -DWORK=<folder> -DEXPECT_CODE=<n> -DEXPECT_TEXT=<regex>
#   [-DREFUSE_TEXT=<regex that must not appear>]
#   -DARGS=<|-separated quill-host arguments; %WORK% is the work folder>
#   -DTIMEOUT=<seconds the host may run: below the test's own limit>
#   [-DSETUP=<|-separated steps>]  dir:PATH  fifo:PATH  copy:PATH=SOURCE
#                                  link:PATH=TARGET   (paths in the work folder)
#                                  repeat:PATH=N*LINE (a file of N such lines)
#   [-DEXPECT_FILES=<|-separated paths that must exist afterwards>]
#   [-DEXPECT_LINKS=<|-separated paths that must still be symbolic links>]
#   [-DABSENT_FILES=<|-separated paths that must not exist afterwards>]
#   [-DSAME_FILES=<|-separated PATH=SOURCE: the file must still hold exactly
#                  what SOURCE holds (nothing of it lost or overwritten)>]
#   [-DOWN_REGISTRY=ON]  run without QUILL_REGISTRY, with HOME in the work
#                        folder: the host picks its registry itself
if(NOT DEFINED TIMEOUT)
  set(TIMEOUT 60)
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

string(REPLACE "|" ";" setup "${SETUP}")
foreach(step IN LISTS setup)
  string(REGEX MATCH "^([a-z]+):([^=]*)=?(.*)$" _ "${step}")
  set(kind "${CMAKE_MATCH_1}")
  set(path "${WORK}/${CMAKE_MATCH_2}")
  set(source "${CMAKE_MATCH_3}")
  if(kind STREQUAL "dir")
    file(MAKE_DIRECTORY "${path}")
  elseif(kind STREQUAL "fifo")
    execute_process(COMMAND mkfifo "${path}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot make the FIFO ${path}")
    endif()
  elseif(kind STREQUAL "copy")
    file(COPY_FILE "${source}" "${path}")
  elseif(kind STREQUAL "repeat")
    string(REGEX MATCH "^([0-9]+)\\*(.*)$" _ "${source}")
    string(REPEAT "${CMAKE_MATCH_2}\n" ${CMAKE_MATCH_1} lines)
    file(WRITE "${path}" "${lines}")
  elseif(kind STREQUAL "link")
    file(CREATE_LINK "${source}" "${path}" SYMBOLIC)
  else()
    message(FATAL_ERROR "unknown set-up step ${step}")
  endif()
endforeach()

string(REPLACE "%WORK%" "${WORK}" args "${ARGS}")
string(REPLACE "|" ";" args "${args}")
# A hang is a fault like any other: the case fails at the host's limit.
if(OWN_REGISTRY)
  set(registry --unset=QUILL_REGISTRY --unset=XDG_CONFIG_HOME HOME=${WORK}/home)
else()
  set(registry QUILL_REGISTRY=${WORK}/registry.reg)
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env ${registry} QT_QPA_PLATFORM=offscreen ${HOST} ${args}
  WORKING_DIRECTORY "${WORK}"
  TIMEOUT ${TIMEOUT}
  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT code STREQUAL "${EXPECT_CODE}")
  message(FATAL_ERROR "quill-host exited with ${code}, expected ${EXPECT_CODE}")
endif()
if(NOT "${out}${err}" MATCHES "${EXPECT_TEXT}")
  message(FATAL_ERROR "quill-host did not say: ${EXPECT_TEXT}")
endif()
if(DEFINED REFUSE_TEXT AND "${out}${err}" MATCHES "${REFUSE_TEXT}")
  message(FATAL_ERROR "quill-host said what it must not: ${REFUSE_TEXT}")
endif()
string(REPLACE "|" ";" files "${EXPECT_FILES}")
foreach(f IN LISTS files)
  if(NOT EXISTS "${WORK}/${f}")
    message(FATAL_ERROR "${f} was not left in the work folder")
  endif()
endforeach()
string(REPLACE "|" ";" absent "${ABSENT_FILES}")
foreach(f IN LISTS absent)
  if(EXISTS "${WORK}/${f}")
    message(FATAL_ERROR "${f} should not have been made")
  endif()
endforeach()
string(REPLACE "|" ";" same "${SAME_FILES}")
foreach(pair IN LISTS same)
  string(REGEX MATCH "^([^=]*)=(.*)$" _ "${pair}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/${CMAKE_MATCH_1}"
    "${CMAKE_MATCH_2}" RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${CMAKE_MATCH_1} no longer holds what it held")
  endif()
endforeach()
string(REPLACE "|" ";" links "${EXPECT_LINKS}")
foreach(f IN LISTS links)
  if(NOT IS_SYMLINK "${WORK}/${f}")
    message(FATAL_ERROR "${f} is no longer a symbolic link")
  endif()
endforeach()
