# Tests of the panels layer, each panel against the in-process emulated device (support/PanelRig.h).
orvelin_add_qtest(tst_PanelKit panels/tst_PanelKit.cpp support/PanelRig.h)
orvelin_add_qtest(tst_SingleInputPanel panels/tst_SingleInputPanel.cpp support/PanelRig.h)
orvelin_add_qtest(tst_DualInputPanel panels/tst_DualInputPanel.cpp support/PanelRig.h)
# The first-start sequence is one table, shared with the end-to-end tests.
target_compile_definitions(tst_DualInputPanel PRIVATE ORVELIN_KA2_FIRST_START="${CMAKE_CURRENT_SOURCE_DIR}/support/ka2-first-start.txt")
