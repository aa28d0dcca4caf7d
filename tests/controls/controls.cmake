# Tests of the controls layer.
orvelin_add_qtest(tst_Knob controls/tst_Knob.cpp)
orvelin_add_qtest(tst_Button controls/tst_Button.cpp)
