# Checks that a program's RUNPATH (or RPATH) names folders only: an empty
# entry (a leading or trailing ':', or '::') is the current directory to the
# loader, so a library planted where the program is started would be loaded.
# Run as: cmake -DPROGRAM=<path> -DREADELF=<readelf> -P runpath_check.cmake
execute_process(COMMAND ${READELF} -d ${PROGRAM} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${READELF} -d failed on ${PROGRAM}")
endif()
string(REGEX MATCH "R(UN)?PATH\\)[^[]*\\[([^]\n]*)\\]" entry "${dynamic}")
if(NOT entry)
  message(FATAL_ERROR "${PROGRAM} has no RUNPATH: it would not find the libraries beside it")
endif()
set(path "${CMAKE_MATCH_2}")
if(path MATCHES "^:|::|:$" OR path STREQUAL "")
  message(FATAL_ERROR "${PROGRAM}'s RUNPATH has an empty entry: [${path}]")
endif()
message(STATUS "${PROGRAM}: RUNPATH [${path}]")
