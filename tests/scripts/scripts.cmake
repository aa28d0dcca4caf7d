# scripts/run.sh on a terminal with this build's programs: its ways out, a second run, its folders.
find_package(Python3 COMPONENTS Interpreter)
find_program(ORVELIN_RUN_XVFB Xvfb)
find_program(ORVELIN_RUN_XDOTOOL xdotool)
if(Python3_Interpreter_FOUND AND ORVELIN_RUN_XVFB AND ORVELIN_RUN_XDOTOOL)
    add_test(NAME run_script COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/run_test.py
        ${CMAKE_BINARY_DIR})
    set_tests_properties(run_script PROPERTIES TIMEOUT 600)
else()
    message(STATUS "Run script test skipped: needs python3, Xvfb and xdotool")
endif()
