# Tests of the device folder, the driver port and the emulator.
orvelin_add_qtest(tst_RuntimeDir tst_RuntimeDir.cpp)
