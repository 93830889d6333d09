# Data analysis: the GUI-free computation, the analysis window, and 'pondwatch-cli analyze'.
pondwatch_add_test(test_analysis_core SOURCES AnalysisCoreTest.cpp AnalysisDataFiles.h)
pondwatch_add_test(test_analysis_window SOURCES AnalysisWindowTest.cpp AnalysisDataFiles.h)
