# pondwatch-cli batch: the manifest, a batch with a bad and an up-to-date video, Ctrl+C.
pondwatch_add_test(test_batch SOURCES BatchTest.cpp TIMEOUT 300)
target_compile_definitions(test_batch PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_batch pondwatch-cli)
