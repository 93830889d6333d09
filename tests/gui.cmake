# Processing runs driven through the main window's widgets: the file beside the video (the same
# bytes as pondwatch-cli track), refresh, stop, close, pause with review and correction, and a
# data file that cannot be written.
pondwatch_add_test(test_gui_run SOURCES GuiRunTest.cpp support/GuiRunSupport.h TIMEOUT 300)
target_compile_definitions(test_gui_run PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_gui_run pondwatch-cli)

# The same runs with pause, review, correction, stop and close, kept short: test.sh also runs
# this one under ThreadSanitizer.
pondwatch_add_test(test_gui_threads SOURCES GuiThreadsTest.cpp support/GuiRunSupport.h TIMEOUT 300
    LABELS threaded)

# The same on the plain row kernels, so that the ThreadSanitizer run covers both kinds.
add_test(NAME test_gui_threads_plain_kernels COMMAND test_gui_threads)
set_tests_properties(test_gui_threads_plain_kernels PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;POND_TEST_SCRATCH=${CMAKE_CURRENT_BINARY_DIR}/scratch/test_gui_threads_plain_kernels;PONDWATCH_KERNELS=plain"
    TIMEOUT 300 LABELS threaded)
