# Data analysis: the GUI-free computation, the analysis window, and 'pondwatch-cli analyze'.
pondwatch_add_test(test_analysis_core SOURCES AnalysisCoreTest.cpp support/AnalysisDataFiles.h)
pondwatch_add_test(test_analysis_window SOURCES AnalysisWindowTest.cpp support/AnalysisDataFiles.h)
pondwatch_add_test(test_analysis_cli SOURCES AnalyzeCliTest.cpp support/AnalysisDataFiles.h)
target_compile_definitions(test_analysis_cli PRIVATE POND_CLI="$<TARGET_FILE:pondwatch-cli>")
add_dependencies(test_analysis_cli pondwatch-cli)
