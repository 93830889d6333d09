# The annotated video export: its core, the ExportVideo slot and 'pondwatch-cli export'.
pondwatch_add_test(test_export SOURCES ExportTest.cpp TIMEOUT 120)
target_compile_definitions(test_export PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_export pondwatch-cli)
