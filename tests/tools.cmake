# The video encoder and the offline event tools (analysis, blending, their slots and CLI).
pondwatch_add_test(test_encoder SOURCES EncoderTest.cpp)

pondwatch_add_test(test_event_tools SOURCES EventToolsTest.cpp)
target_compile_definitions(test_event_tools PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_event_tools pondwatch-cli)
