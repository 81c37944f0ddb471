# Converts readme-conversion.md with cmake/WindowsReadme.cmake and compares the text with
# readme-conversion.txt (the byte order mark and CR LF ends, checked on the archive's own read-me,
# taken off first): the bench part alone, headings, links, code, wrapping by columns and tables.
#   cmake -DCONVERTER=cmake/WindowsReadme.cmake -DSOURCE_DIR=tests/release -DWORK_DIR=DIR -P ReadmeConversionTest.cmake
cmake_minimum_required(VERSION 3.25)
set(output ${WORK_DIR}/readme-conversion.out)
execute_process(COMMAND ${CMAKE_COMMAND} -DREADME_MD=${SOURCE_DIR}/readme-conversion.md -DOUTPUT=${output}
                        -DVERSION=9.8.7 -DBITS=64 -P ${CONVERTER}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the conversion failed: ${status}")
endif()
file(READ ${output} got)
string(ASCII 239 187 191 byte_order_mark)
string(REPLACE "${byte_order_mark}" "" got "${got}")
string(REPLACE "\r\n" "\n" got "${got}")
file(READ ${SOURCE_DIR}/readme-conversion.txt wanted)
if(NOT got STREQUAL wanted)
  file(WRITE ${output}.lf "${got}")
  execute_process(COMMAND diff -u ${SOURCE_DIR}/readme-conversion.txt ${output}.lf)
  message(FATAL_ERROR "the conversion differs from readme-conversion.txt (above: wanted, then got)")
endif()
message(STATUS "readme-conversion.md converted as readme-conversion.txt holds")
