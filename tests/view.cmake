pondwatch_add_test(test_view SOURCES ViewTest.cpp)
