# Runs quill-host and checks both its exit status and a text in its output.
# -DHOST=... -DEXPECT_CODE=<n> -DEXPECT_TEXT=<regex> -DARGS=<|-separated list>
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${HOST} ${args}
  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT code STREQUAL "${EXPECT_CODE}")
  message(FATAL_ERROR "quill-host exited with ${code}, expected ${EXPECT_CODE}")
endif()
if(NOT "${out}${err}" MATCHES "${EXPECT_TEXT}")
  message(FATAL_ERROR "quill-host did not say: ${EXPECT_TEXT}")
endif()
