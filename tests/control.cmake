# Tests of the control channel.
orvelin_add_qtest(tst_ControlServer control/tst_ControlServer.cpp PanelRig.h)
