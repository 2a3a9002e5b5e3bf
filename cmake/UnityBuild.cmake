# Unity builds (-DCMAKE_UNITY_BUILD=ON, as scripts/test and scripts/build-windows
# configure): the sources of a target compiled in batches, their headers read
# once per batch. A source that cannot share a batch is compiled on its own.
#
# kv_unity_alone(<target> <directory> <source> <why>): nothing where the
# target is not built (the simulator on Windows).
function(kv_unity_alone target directory source why)
  if(TARGET ${target})
    set_source_files_properties(${CMAKE_SOURCE_DIR}/${directory}/${source} DIRECTORY ${CMAKE_SOURCE_DIR}/${directory}
                                PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
  endif()
endfunction()

kv_unity_alone(kv508widget comm/widget MBCounters.cpp "its kRed and kGreen are QRgb, MBPanel.cpp's QColor")
kv_unity_alone(kv508calib app/calibration RecordStore.cpp "SpanText in its anonymous namespace, as in CalibrationRecord.cpp")
kv_unity_alone(kv508simcore sim PtyPort.cpp "SystemError in its anonymous namespace, as in StateFile.cpp")
kv_unity_alone(kv508app app trend/LiveTrendWindow.cpp "its TSpan and Fixed clash with calib's, which other sources of the window use")
