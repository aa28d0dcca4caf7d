# The program facing faults around it: settings folder, disk, driver and pipe peers.
orvelin_add_qtest(tst_Faults fault/tst_Faults.cpp support/PanelRig.h)
