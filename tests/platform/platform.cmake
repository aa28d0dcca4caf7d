# Tests of the Linux half of the platform layer (tests/win has the Windows half).
orvelin_add_qtest(tst_RuntimeDir platform/tst_RuntimeDir.cpp)
orvelin_add_qtest(tst_DriverPort platform/tst_DriverPort.cpp)

# The pipe port checks shared with the Windows build (tests/win), here against the Linux port.
add_executable(tst_PipePortChecks support/PipePortChecks.cpp)
target_include_directories(tst_PipePortChecks PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(tst_PipePortChecks PRIVATE orvelin_platform)
add_test(NAME tst_PipePortChecks COMMAND tst_PipePortChecks)
set_tests_properties(tst_PipePortChecks PROPERTIES
    ENVIRONMENT "ORVELIN_RUNTIME_DIR=${CMAKE_CURRENT_BINARY_DIR}/pipe-port-runtime" TIMEOUT 120)
