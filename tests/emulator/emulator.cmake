# Tests of the emulator: its device model, faults, log and peers, in process and as the program.
orvelin_add_qtest(tst_Emulator emulator/tst_Emulator.cpp)
target_compile_definitions(tst_Emulator PRIVATE ORVELIN_EMULATOR_PATH="$<TARGET_FILE:orvelin-emulator>")
add_dependencies(tst_Emulator orvelin-emulator)
