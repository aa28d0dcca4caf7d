# Tests of the settings layer: pipes, the listener and the settings dialog.
orvelin_add_qtest(tst_PipeProtocols settings/tst_PipeProtocols.cpp)
orvelin_add_qtest(tst_Settings settings/tst_Settings.cpp)
