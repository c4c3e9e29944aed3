# Writes `dorvan --completion bash` into OUT (run through EMU when cross-built).
execute_process(COMMAND ${EMU} ${EXE} --completion bash
  OUTPUT_FILE ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${OUT})
  message(FATAL_ERROR "dorvan --completion bash failed: ${rc}")
endif()
