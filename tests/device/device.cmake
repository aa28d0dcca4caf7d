# Tests of the device layer.
orvelin_add_qtest(tst_Conversions device/tst_Conversions.cpp)
orvelin_add_qtest(tst_MeterBlock device/tst_MeterBlock.cpp)
orvelin_add_qtest(tst_MixerStateBlock device/tst_MixerStateBlock.cpp)
if(WIN32)
    return() # the rest needs the emulated device
endif()
orvelin_add_qtest(tst_OrvelinIoControl device/tst_OrvelinIoControl.cpp)
