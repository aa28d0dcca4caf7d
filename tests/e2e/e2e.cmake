# End-to-end tests with the real OrvelinDriver and orvelin-emulator processes.
add_library(orvelin_e2e_session STATIC e2e/E2eSession.cpp)
target_link_libraries(orvelin_e2e_session PUBLIC Qt6::Core)
target_include_directories(orvelin_e2e_session PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(orvelin_e2e_session PRIVATE
    ORVELIN_DRIVER_EXE="$<TARGET_FILE:OrvelinDriver>"
    ORVELIN_EMULATOR_EXE="$<TARGET_FILE:orvelin-emulator>")
add_dependencies(orvelin_e2e_session OrvelinDriver orvelin-emulator)

orvelin_add_qtest(tst_EndToEnd e2e/tst_EndToEnd.cpp)
target_link_libraries(tst_EndToEnd PRIVATE orvelin_e2e_session)
target_compile_definitions(tst_EndToEnd PRIVATE ORVELIN_KA2_FIRST_START="${PROJECT_SOURCE_DIR}/tests/support/ka2-first-start.txt")

# orvelinctl against the running program.
orvelin_add_qtest(tst_Scripting e2e/tst_Scripting.cpp)
target_link_libraries(tst_Scripting PRIVATE orvelin_e2e_session)
target_compile_definitions(tst_Scripting PRIVATE ORVELINCTL_EXE="$<TARGET_FILE:orvelinctl>")
add_dependencies(tst_Scripting orvelinctl)

# The tray itself: Xvfb with trayer as the system tray, clicks from xdotool.
find_package(X11)
find_program(ORVELIN_XVFB_RUN xvfb-run)
find_program(ORVELIN_TRAYER trayer)
find_program(ORVELIN_XDOTOOL xdotool)
if(X11_FOUND AND ORVELIN_XVFB_RUN AND ORVELIN_TRAYER AND ORVELIN_XDOTOOL)
    add_executable(tst_Tray e2e/tst_Tray.cpp e2e/XDisplayProbe.cpp)
    target_link_libraries(tst_Tray PRIVATE orvelin_e2e_session Qt6::Test X11::X11)
    add_test(NAME tst_Tray COMMAND ${ORVELIN_XVFB_RUN} -a -s "-screen 0 1280x800x24 -nolisten tcp -noreset" $<TARGET_FILE:tst_Tray>)
    set_tests_properties(tst_Tray PROPERTIES
        ENVIRONMENT "ORVELIN_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp"
        TIMEOUT 120)
else()
    message(STATUS "Tray test skipped: needs X11, xvfb-run, trayer and xdotool")
endif()

# The web remote's page in headless Chromium against the real programs (tests/e2e/web_remote_page.py).
# Debian's own Python: python3-selenium is installed for it, not for another python3 on the PATH.
find_program(ORVELIN_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(ORVELIN_CHROMEDRIVER chromedriver PATHS /usr/bin NO_DEFAULT_PATH)
if(ORVELIN_REMOTE AND ORVELIN_SYSTEM_PYTHON AND ORVELIN_CHROMEDRIVER AND ORVELIN_XVFB_RUN AND ORVELIN_XDOTOOL)
    add_test(NAME tst_WebRemotePage COMMAND ${ORVELIN_XVFB_RUN} -a -s "-screen 0 1280x800x24 -nolisten tcp -noreset"
        ${ORVELIN_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/web_remote_page.py
        --driver $<TARGET_FILE:OrvelinDriver> --emulator $<TARGET_FILE:orvelin-emulator> --ctl $<TARGET_FILE:orvelinctl>
        --screenshot ${CMAKE_BINARY_DIR}/screenshots/web-remote-phone.png)
    set_tests_properties(tst_WebRemotePage PROPERTIES TIMEOUT 180)
else()
    message(STATUS "Web remote page test skipped: needs /usr/bin/chromedriver, python3-selenium, xvfb-run and xdotool")
endif()
