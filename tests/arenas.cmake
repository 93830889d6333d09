# Arenas for the whole-video background method: a well plate and a large group on synthetic
# videos against their ground truth, the data file's Arena zones, pondwatch-cli's arena
# options and split-arenas, the grid's layout.
pondwatch_add_test(test_arenas
    SOURCES ArenasTest.cpp support/TrackingTestSupport.h
    TIMEOUT 400)
target_compile_definitions(test_arenas PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_arenas pondwatch-cli)
