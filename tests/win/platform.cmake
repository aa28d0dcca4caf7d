# Arguments of the Windows platform layer that Wine cannot show by their effect.
add_executable(tst_PlatformWin ${CMAKE_CURRENT_LIST_DIR}/tst_PlatformWin.cpp)
target_link_libraries(tst_PlatformWin PRIVATE orvelin_platform ole32)
add_test(NAME tst_PlatformWin COMMAND tst_PlatformWin)
set_tests_properties(tst_PlatformWin PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 120)
