# Tests of the panels folder.
orvelin_add_qtest(tst_PanelKit tst_PanelKit.cpp PanelRig.h)
orvelin_add_qtest(tst_ka1 tst_ka1.cpp PanelRig.h)
orvelin_add_qtest(tst_kv tst_kv.cpp PanelRig.h)
orvelin_add_qtest(tst_ka2 tst_ka2.cpp PanelRig.h)
orvelin_add_qtest(tst_ka2se tst_ka2se.cpp PanelRig.h)
# The first-start sequence is one table, shared with the end-to-end tests.
target_compile_definitions(tst_ka2 PRIVATE ORVELIN_KA2_FIRST_START="${CMAKE_CURRENT_SOURCE_DIR}/support/ka2-first-start.txt")
