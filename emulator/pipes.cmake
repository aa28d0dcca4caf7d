# The audio-service and ASIO peers of the emulator.
target_sources(orvelin_emulator_lib PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AsioPeer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AudioServicePeer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PipePeerServer.cpp
)
