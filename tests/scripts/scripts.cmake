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

# The design page's graph of targets against the links this build has.
if(Python3_Interpreter_FOUND)
    add_test(NAME design_graph COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/design_graph_test.py
        ${CMAKE_BINARY_DIR}/link-graph.txt ${PROJECT_SOURCE_DIR}/docs/DESIGN.md)
endif()
