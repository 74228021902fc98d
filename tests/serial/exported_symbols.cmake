# Checks that the shared library exports exactly the 21 functions by name.
# Run as: cmake -DLIBRARY=<path> -DNM=<nm> -P exported_symbols.cmake
set(expected
  ChangeParity ChangeSpeed CharSent ClearDTRLine ClearPort ClearRTSLine
  DllVersion InitializePort IsError ModemStatus Opoznienie ReadByte
  SerialPortPresent SetDTRLine SetRTSLine TimeOut UnInitializePort UstawCTS
  UstawKanal WriteByte pInitializePort)
execute_process(COMMAND ${NM} -D --defined-only --format=posix ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(exported)
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ ]+) ([A-Za-z]) ")
    set(name ${CMAKE_MATCH_1})
    set(kind ${CMAKE_MATCH_2})
    if(NOT kind STREQUAL "T")
      message(FATAL_ERROR "exported ${name} is not a function (${kind})")
    endif()
    list(APPEND exported ${name})
  endif()
endforeach()
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported: ${exported}\nexpected: ${expected}")
endif()
message(STATUS "exactly the 21 functions are exported")
