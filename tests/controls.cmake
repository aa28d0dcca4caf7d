# Tests of the controls folder.
orvelin_add_qtest(tst_KnobGeometry tst_KnobGeometry.cpp)
orvelin_add_qtest(tst_Knob tst_Knob.cpp)
orvelin_add_qtest(tst_Button tst_Button.cpp)
