# The soak: the real program against the real emulator under Xvfb, driven with xdotool.
#   python3 tests/soak/soak.py --duration 600 --driver ... --emulator ... --probe ...
# CTest runs the 60 s form; the 10-minute form is run by hand (see the script's --help).
add_executable(soak-layout-probe soak/LayoutProbe.cpp)
target_include_directories(soak-layout-probe PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(soak-layout-probe PRIVATE ${ORVELIN_LAYERS} orvelin_emulator_lib)

find_package(Python3 COMPONENTS Interpreter)
find_program(ORVELIN_XVFB Xvfb)
find_program(ORVELIN_SOAK_XDOTOOL xdotool)
if(Python3_Interpreter_FOUND AND ORVELIN_XVFB AND ORVELIN_SOAK_XDOTOOL)
    set(soak_memory_limit 5)
    if(ORVELIN_SANITIZE)
        # The sanitizers hold freed memory back on purpose; memory is measured in the plain build.
        set(soak_memory_limit 0)
    endif()
    add_test(NAME soak_60s COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/soak/soak.py
        --duration 60 --memory-limit-mb ${soak_memory_limit}
        --driver $<TARGET_FILE:OrvelinDriver> --emulator $<TARGET_FILE:orvelin-emulator>
        --probe $<TARGET_FILE:soak-layout-probe> --work-dir ${CMAKE_CURRENT_BINARY_DIR}/soak-60s)
    set_tests_properties(soak_60s PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
else()
    message(STATUS "Soak test skipped: needs python3, Xvfb and xdotool")
endif()
