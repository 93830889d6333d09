pondwatch_add_test(test_mainwindow SOURCES MainWindowTest.cpp)
# The window at first use: HD fit and zoom, menus, settings between starts, setup files (and
# pondwatch-cli track --setup).
pondwatch_add_test(test_window_use SOURCES WindowUseTest.cpp)
target_compile_definitions(test_window_use PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_window_use pondwatch-cli)
