# The Windows driver port, run under Wine where no device interface of the driver exists.
add_executable(tst_DriverPortWin ${CMAKE_CURRENT_LIST_DIR}/tst_DriverPortWin.cpp)
target_link_libraries(tst_DriverPortWin PRIVATE orvelin_platform)
add_test(NAME tst_DriverPortWin COMMAND tst_DriverPortWin)
set_tests_properties(tst_DriverPortWin PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 120)
