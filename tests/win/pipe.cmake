# The pipe port checks shared with the Linux build, here against the Windows named pipes.
add_executable(tst_PipePortWin ${CMAKE_CURRENT_LIST_DIR}/PipePortChecks.cpp)
target_link_libraries(tst_PipePortWin PRIVATE orvelin_platform)
add_test(NAME tst_PipePortWin COMMAND tst_PipePortWin)
set_tests_properties(tst_PipePortWin PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 120)
