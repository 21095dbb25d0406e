# Builds avr-libc's stdiodemo example with its own Makefile, for one part
# and clock: cmake -DSOURCE=<example folder> -DWORK=<scratch folder>
# -DMCU=atmega8 -DF_CPU=8000000UL -DLCD_PORT=B -DCC=avr-gcc -DMAKE=make
# -DGZIP=gzip -DOUTPUT=<elf> -P build.cmake
#
# The example's sources are copied as they are installed (two of them
# gzipped); only defines.h is changed: the clock, and the LCD's port on a
# part without port A (the ATmega8: port B, the same pin numbers).
foreach(var SOURCE WORK MCU F_CPU LCD_PORT CC MAKE GZIP OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stdiodemo build: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB files ${SOURCE}/*)
foreach(path ${files})
  get_filename_component(name ${path} NAME)
  if(name MATCHES "\\.gz$")
    string(REGEX REPLACE "\\.gz$" "" plain ${name})
    execute_process(COMMAND ${GZIP} -dc ${path} OUTPUT_FILE ${WORK}/${plain}
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "stdiodemo build: cannot unpack ${path}")
    endif()
  else()
    file(COPY ${path} DESTINATION ${WORK})
  endif()
endforeach()

file(READ ${WORK}/defines.h defines)
string(REGEX REPLACE "#define F_CPU [0-9]+UL" "#define F_CPU ${F_CPU}" patched "${defines}")
string(REGEX REPLACE "(#define HD44780_[A-Z0-9]+ +)A," "\\1${LCD_PORT}," patched "${patched}")
if(patched STREQUAL defines AND NOT (F_CPU STREQUAL "1000000UL" AND LCD_PORT STREQUAL "A"))
  message(FATAL_ERROR "stdiodemo build: defines.h does not have the expected clock and LCD lines")
endif()
file(WRITE ${WORK}/defines.h "${patched}")

execute_process(COMMAND ${MAKE} -C ${WORK} CC=${CC} MCU_TARGET=${MCU} stdiodemo.elf
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "stdiodemo build: make failed for ${MCU} at ${F_CPU}")
endif()
file(COPY_FILE ${WORK}/stdiodemo.elf ${OUTPUT})
