pondwatch_add_test(test_tracking
    SOURCES TrackingTestMain.cpp TrackingTestSupport.h TrackingEngineTest.cpp
    TIMEOUT 300)
