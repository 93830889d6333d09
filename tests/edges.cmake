# Numbers at the edges of their types: far-away positions and coordinates, huge times and
# intervals, in the readers, the drawing, the analysis and the command line.
pondwatch_add_test(test_edge_values SOURCES EdgeValuesTest.cpp)
target_compile_definitions(test_edge_values PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_edge_values pondwatch-cli)
