# Checks that a shipped binary (a program, or libwinseria.so) carries none of
# the tests' seams: they live in test libraries and test programs only.
# Run as: cmake -DPROGRAM=<path> -DNM=<nm> -P no_test_seams.cmake
execute_process(COMMAND ${NM} -C --defined-only ${PROGRAM} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} -C failed on ${PROGRAM}")
endif()
# The hand-fed event source, the registry's fault knobs, the serial messages'
# UTF-8 spelling, the D2XX loader's installer, and the serial stand-in's
# refused event creations, in-process devices and count of open handles.
foreach(seam ManualEventSource FaultRegistry "MemoryRegistry::SetUnreadable" "MemoryRegistry::DenyFullAccess"
        "MemoryRegistry::FailListingAfter" "MemoryRegistry::OpenCount" "winseria::Utf8Text"
        "InstallLibraryLoader" InstallEventCreator InstallDeviceResolver "HandleTable::openCount")
  string(FIND "${symbols}" "${seam}" found)
  if(NOT found EQUAL -1)
    message(FATAL_ERROR "${PROGRAM} carries ${seam}")
  endif()
endforeach()
message(STATUS "${PROGRAM} carries no test seam")
