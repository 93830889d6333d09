# The row kernels against their plain twins, the tracking engine on pictures in memory, on synthetic videos against their ground truth,
# and pondwatch-cli track.
pondwatch_add_test(test_tracking
    SOURCES TrackingTestMain.cpp support/TrackingTestSupport.h TrackingKernelsTest.cpp
        TrackingBackgroundModelTest.cpp TrackingDetectorsTest.cpp TrackingDataFileTest.cpp
        TrackingRunTest.cpp TrackingVideoTest.cpp
    TIMEOUT 300)
target_compile_definitions(test_tracking PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_tracking pondwatch-cli)
