# Runs one scenario twice: as quill-host runs it, telling the plug-in which
# registers changed, and with QUILL_READ_AND_COMPARE set, the plug-in reading
# and comparing the whole register bank at every refresh. Both runs must end
# with the same exit status, print the same lines (each step with what it
# found: pin levels, register values, LCD lines; times left out) and leave
# the same files (logs, recordings; the pictures and the registry aside).
#
#   cmake -DHOST=... -DMODULE=... -DSCENARIO=... -DWORK=... [-DARGS=a|b] -P read_compare_case.cmake
string(REPLACE "|" ";" extra "${ARGS}")
foreach(mode pushed compared)
  set(dir ${WORK}/${mode})
  file(REMOVE_RECURSE ${dir})
  file(MAKE_DIRECTORY ${dir})
  set(env QT_QPA_PLATFORM=offscreen QUILL_REGISTRY=${dir}/registry.reg)
  if(mode STREQUAL "compared")
    list(APPEND env QUILL_READ_AND_COMPARE=1)
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${env}
      ${HOST} --headless --module ${MODULE} --scenario ${SCENARIO} ${extra}
    WORKING_DIRECTORY ${dir}
    RESULT_VARIABLE code_${mode}
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
  # Wall-clock figures differ from run to run.
  string(REGEX REPLACE "[0-9]+(\\.[0-9]+)? ?(ms|s)([^a-zA-Z]|$)" "<time>\\3" out "${out}")
  string(REGEX REPLACE "[0-9]+(\\.[0-9]+)? ?(ms|s)([^a-zA-Z]|$)" "<time>\\3" err "${err}")
  set(text_${mode} "${out}\n== stderr\n${err}")
  file(WRITE ${WORK}/${mode}.txt "${text_${mode}}")
endforeach()

if(NOT code_pushed STREQUAL code_compared)
  message(FATAL_ERROR "exit status ${code_pushed} with changes told, ${code_compared} read and "
    "compared (${WORK}/pushed.txt, ${WORK}/compared.txt)")
endif()
if(NOT text_pushed STREQUAL text_compared)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/pushed.txt ${WORK}/compared.txt)
  message(FATAL_ERROR "the runs printed different lines: diff ${WORK}/pushed.txt ${WORK}/compared.txt")
endif()
file(GLOB_RECURSE files RELATIVE ${WORK}/pushed ${WORK}/pushed/*)
file(GLOB_RECURSE others RELATIVE ${WORK}/compared ${WORK}/compared/*)
# Pictures are left out: the main window's status bar shows the speed the
# run achieved on the wall clock, which differs from run to run.
list(FILTER files EXCLUDE REGEX "(^|/)(screenshots/|registry\\.reg)|\\.png$")
list(FILTER others EXCLUDE REGEX "(^|/)(screenshots/|registry\\.reg)|\\.png$")
if(NOT files STREQUAL others)
  message(FATAL_ERROR "the runs left different files: [${files}] against [${others}]")
endif()
foreach(f ${files})
  file(SHA256 ${WORK}/pushed/${f} a)
  file(SHA256 ${WORK}/compared/${f} b)
  if(NOT a STREQUAL b)
    message(FATAL_ERROR "${f} differs: ${WORK}/pushed/${f} against ${WORK}/compared/${f}")
  endif()
endforeach()
list(LENGTH files count)
message(STATUS "same verdict (${code_pushed}), lines and ${count} files")
