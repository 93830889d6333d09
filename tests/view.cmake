pondwatch_add_test(test_view SOURCES ViewTest.cpp)
pondwatch_add_test(test_navigation SOURCES NavigationTest.cpp)
