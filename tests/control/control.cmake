# Tests of the control layer.
orvelin_add_qtest(tst_ControlServer control/tst_ControlServer.cpp support/PanelRig.h)
# The accessible names are checked against the shipped catalogs.
target_compile_definitions(tst_ControlServer PRIVATE ORVELIN_QM_DIR="${CMAKE_BINARY_DIR}/app")
add_dependencies(tst_ControlServer orvelin_translations)
# The OSC endpoint against the panel, through its own UDP socket.
orvelin_add_qtest(tst_OscEndpoint control/tst_OscEndpoint.cpp support/PanelRig.h)
