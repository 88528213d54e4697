# Runs one conformance script with the sq runner and compares standard output with the
# reference output byte for byte.
get_filename_component(dir ${SCRIPT} DIRECTORY)
get_filename_component(file ${SCRIPT} NAME)
execute_process(COMMAND ${SQ} ${file}
    WORKING_DIRECTORY ${dir}
    OUTPUT_FILE ${ACTUAL}
    ERROR_VARIABLE err
    RESULT_VARIABLE rc
    TIMEOUT 240)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "sq ${file} exited with ${rc}\n${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ACTUAL} ${EXPECTED} RESULT_VARIABLE diff)
if(NOT diff EQUAL 0)
    execute_process(COMMAND diff ${ACTUAL} ${EXPECTED} OUTPUT_VARIABLE d)
    message(FATAL_ERROR "output of ${file} differs from the reference:\n${d}\n${err}")
endif()
