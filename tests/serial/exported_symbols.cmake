# Checks that the shared library exports exactly the 21 functions by name,
# and that no test double was linked into it (its whole symbol table).
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

execute_process(COMMAND ${NM} -C --defined-only ${LIBRARY} OUTPUT_VARIABLE all_symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} -C failed on ${LIBRARY}")
endif()
string(TOLOWER "${all_symbols}" all_symbols)
# The doubles by their own names (the virtual null-modem, its ends and
# resolver, the failing event and device stand-ins) and the test namespaces.
foreach(double IN ITEMS virtualnullmodem virtualend virtualresolver notaserialdevice failevent createorrefuse
                        ::testing:: winseria::test::)
  string(FIND "${all_symbols}" "${double}" at)
  if(NOT at EQUAL -1)
    string(SUBSTRING "${all_symbols}" ${at} 120 context)
    message(FATAL_ERROR "a test double is linked into the library: ...${context}")
  endif()
endforeach()
message(STATUS "no test double in the library")
# The seams the tests use: winseria_carries_no_test_seams (tests/app/no_test_seams.cmake).
