cmake_minimum_required(VERSION 3.25)
# expect memory on the debugger's demo: the addresses of its globals come
# from the ELF file's symbol table (avr-nm: data addresses + 0x800000); a
# scenario checks them, and PORTA at its data address, while the program
# runs to its breakpoints (exit status 0), and a second one checks a value
# the byte does not hold (exit status 1, with what it holds).
#   -DHOST=... -DMODULE=... -DNM=... -DELF=... -DWORK=<folder>
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

execute_process(COMMAND ${NM} ${ELF} RESULT_VARIABLE failed OUTPUT_VARIABLE symbols)
if(failed)
  message(FATAL_ERROR "${NM} cannot read ${ELF}")
endif()
foreach(name pattern counter total)
  if(NOT symbols MATCHES "0*80([0-9a-f][0-9a-f][0-9a-f][0-9a-f]) [bBdD] ${name}\n")
    message(FATAL_ERROR "${ELF} has no global ${name} in its data memory")
  endif()
  math(EXPR address "0x${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
  set(${name} ${address})
endforeach()
math(EXPR total_high "${total} + 1" OUTPUT_FORMAT HEXADECIMAL)

set(head "part ATmega16\nfirmware ${ELF}\nbreak tick\nrun until break timeout 1000\n")
file(WRITE "${WORK}/holds.scn" "${head}"
  "expect memory ${pattern} 0x01\n"
  "run until break\n"
  "expect variable counter 1\n"
  "expect memory ${counter} 1\n"
  "set variable total 0x1234\n"
  "expect memory ${total} 0x34\n"
  "expect memory ${total_high} 0x12\n"
  "set variable pattern 0xA5\n"
  "clear breaks\n"
  "break debug_demo.c:27\n"
  "run until break timeout 100\n"
  "expect register PORTA 0xA5\n"
  "expect memory 0x003B 0xA5\n"
  "expect memory ${pattern} 0x05 mask 0x0F\n")
file(WRITE "${WORK}/fails.scn" "${head}" "run until break\n" "expect memory ${counter} 7\n")

function(run scenario code regex)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env QUILL_REGISTRY=${WORK}/registry.reg QT_QPA_PLATFORM=offscreen
      ${HOST} --headless --module ${MODULE} --scenario ${WORK}/${scenario}
    WORKING_DIRECTORY "${WORK}" TIMEOUT ${TIMEOUT}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}${err}")
  if(NOT result STREQUAL "${code}")
    message(FATAL_ERROR "${scenario}: quill-host exited with ${result}, expected ${code}")
  endif()
  if(NOT "${out}${err}" MATCHES "${regex}")
    message(FATAL_ERROR "${scenario}: quill-host did not say: ${regex}")
  endif()
endfunction()
run(holds.scn 0 "ok   holds.scn:18: expect memory 0x0060 is 0x05 in mask 0x0F: 0x0060 is 0xA5")
run(fails.scn 1 "FAIL fails.scn:6: expect memory 0x00[0-9A-F][0-9A-F] is 0x07: 0x00[0-9A-F][0-9A-F] is 0x01 \\(00000001\\), expected 0x07 \\(00000111\\)")
