# Tests of the control layer.
orvelin_add_qtest(tst_ControlServer control/tst_ControlServer.cpp support/PanelRig.h)
# The accessible names are checked against the shipped catalogs.
target_compile_definitions(tst_ControlServer PRIVATE ORVELIN_QM_DIR="${CMAKE_BINARY_DIR}/app")
add_dependencies(tst_ControlServer orvelin_translations)
# The OSC endpoint against the panel, through its own UDP socket.
orvelin_add_qtest(tst_OscEndpoint control/tst_OscEndpoint.cpp support/PanelRig.h)
# The web remote's HTTP and WebSocket layer against the panel, and the QR code of its window.
if(ORVELIN_REMOTE)
    orvelin_add_qtest(tst_WebRemote control/tst_WebRemote.cpp support/PanelRig.h)
    target_link_libraries(tst_WebRemote PRIVATE Qt6::WebSockets)
endif()
