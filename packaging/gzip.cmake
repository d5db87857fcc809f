# cmake -DGZIP=<gzip> -DINPUT=<file> -DOUTPUT=<file.gz> -P gzip.cmake
#
# Compresses as Debian does (gzip -9n): the best compression, and no name or
# time stamp in the header, so the same input always gives the same bytes.
foreach(variable GZIP INPUT OUTPUT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "gzip.cmake needs -D${variable}=...")
    endif()
endforeach()
execute_process(COMMAND "${GZIP}" -9nc "${INPUT}" OUTPUT_FILE "${OUTPUT}.new" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE "${OUTPUT}.new")
    message(FATAL_ERROR "${GZIP} -9nc ${INPUT} failed: ${result}")
endif()
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
