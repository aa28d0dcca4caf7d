# Tests of the app layer, and the look of the controls, the panels, the settings dialog and the
# main window against the pictures in reference/.
orvelin_add_qtest(tst_LogFile app/tst_LogFile.cpp)
orvelin_add_qtest(tst_Translation app/tst_Translation.cpp)
target_compile_definitions(tst_Translation PRIVATE ORVELIN_QM_DIR="${CMAKE_BINARY_DIR}/app")
add_dependencies(tst_Translation orvelin_translations)
if(WIN32)
    return() # the rest needs the emulated device or runs on Linux only
endif()
orvelin_add_qtest(tst_SoundPanel app/tst_SoundPanel.cpp)
orvelin_add_qtest(tst_SingleInstanceGuard app/tst_SingleInstanceGuard.cpp)
orvelin_add_qtest(tst_TerminationWatcher app/tst_TerminationWatcher.cpp)
orvelin_add_qtest(tst_MainWindow app/tst_MainWindow.cpp)
target_compile_definitions(tst_MainWindow PRIVATE ORVELIN_EMULATOR_EXE="$<TARGET_FILE:orvelin-emulator>")
add_dependencies(tst_MainWindow orvelin-emulator)
orvelin_add_qtest(tst_TrayIcon app/tst_TrayIcon.cpp ${PROJECT_SOURCE_DIR}/resources/resources.qrc)
target_compile_definitions(tst_MainWindow PRIVATE ORVELIN_QM_DIR="${CMAKE_BINARY_DIR}/app")
add_dependencies(tst_MainWindow orvelin_translations)
orvelin_add_qtest(tst_Look app/tst_Look.cpp support/PanelRig.h)
