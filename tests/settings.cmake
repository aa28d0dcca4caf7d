# Tests of the settings folder: pipes, the listener and the settings dialog.
orvelin_add_qtest(tst_PipeProtocols settings/tst_PipeProtocols.cpp)

# The pipe port checks shared with the Windows build (tests/win), here against the Linux port.
add_executable(tst_PipePortChecks win/PipePortChecks.cpp)
target_link_libraries(tst_PipePortChecks PRIVATE orvelin_platform)
add_test(NAME tst_PipePortChecks COMMAND tst_PipePortChecks)
set_tests_properties(tst_PipePortChecks PROPERTIES
    ENVIRONMENT "ORVELIN_RUNTIME_DIR=${CMAKE_CURRENT_BINARY_DIR}/pipe-port-runtime" TIMEOUT 120)
orvelin_add_qtest(tst_Settings settings/tst_Settings.cpp)
