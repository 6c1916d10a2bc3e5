# Runs the fuzz target FUZZER once on every file of the folder CORPUS (libFuzzer's reproduce mode:
# each input whole, no mutation); fails when the folder is empty or any input fails.
file(GLOB inputs LIST_DIRECTORIES false "${CORPUS}/*")
list(LENGTH inputs count)
if(count EQUAL 0)
  message(FATAL_ERROR "no inputs in ${CORPUS}")
endif()
execute_process(COMMAND "${FUZZER}" -timeout=10 -rss_limit_mb=2048 ${inputs} RESULT_VARIABLE result
                OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${output}\n${FUZZER} failed (${result}) on an input of ${CORPUS}")
endif()
message(STATUS "${count} inputs of ${CORPUS} replayed")
