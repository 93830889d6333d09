# pondwatch-cli as a user meets it: one parser for every command, what it says about bad
# inputs and odd videos, what it keeps when it fails or is stopped by a signal.
pondwatch_add_test(test_cli SOURCES CliTest.cpp TIMEOUT 400)
target_compile_definitions(test_cli PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_cli pondwatch-cli)
