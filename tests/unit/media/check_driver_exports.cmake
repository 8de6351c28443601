# cmake -DNM=<nm> -DLIBRARY=<driver.so> -P check_driver_exports.cmake
#
# Fails unless the driver library's defined dynamic symbols are exactly the nine camera
# entry points: anything else (a helper, a standard-library template) would be shared
# with the handset and with the other driver when both are loaded.
set(expected Camera_Begin Camera_Deinit Camera_EncodeJPEG Camera_End Camera_GetProperty
             Camera_Init Camera_JPEG_EXIF_INFO Camera_SetProperty Camera_SetRecordParams)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE listing
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} cannot read ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(exported)
foreach(line ${lines})
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    list(APPEND exported ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "${LIBRARY} exports:\n  ${exported}\nexpected only:\n  ${expected}")
endif()
message(STATUS "${LIBRARY}: the nine entry points only")
