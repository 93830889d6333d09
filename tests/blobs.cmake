# The whole-video background method: its parts against plain twins, runs on synthetic videos
# against their ground truth, its data files in every reader, pondwatch-cli track --method, and
# the classic method's files against bytes written before the detection interface existed,
# and the window's Detection controls.
pondwatch_add_test(test_blobs
    SOURCES BlobsTestMain.cpp support/TrackingTestSupport.h BlobsPartsTest.cpp IdentitiesTest.cpp BlobsVideoTest.cpp DetectionWindowTest.cpp
    TIMEOUT 300)
target_compile_definitions(test_blobs PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_blobs pondwatch-cli)
