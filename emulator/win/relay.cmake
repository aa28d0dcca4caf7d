# The emulated interface for Windows: the relay driver (freestanding C, MinGW only), its INF and
# the stand-in installer. The driver and the INF land side by side, as the installer expects.
if(MINGW)
    set(ORVELIN_RELAY_DIR ${CMAKE_CURRENT_LIST_DIR})
    set(ORVELIN_RELAY_OUT ${CMAKE_BINARY_DIR}/standin)
    add_custom_command(OUTPUT ${ORVELIN_RELAY_OUT}/orvelin_relay.sys ${ORVELIN_RELAY_OUT}/orvelin_relay.inf
        COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVELIN_RELAY_OUT}
        COMMAND ${CMAKE_C_COMPILER} -O2 -Wall -Wextra -Werror -ffreestanding -fno-builtin -fno-stack-protector
            -fno-tree-loop-distribute-patterns -mno-red-zone -I/usr/share/mingw-w64/include/ddk
            -shared -nostdlib -Wl,--subsystem,native -Wl,--entry,DriverEntry
            -o ${ORVELIN_RELAY_OUT}/orvelin_relay.sys ${ORVELIN_RELAY_DIR}/OrvelinRelay.c -lntoskrnl -lhal
        COMMAND ${CMAKE_COMMAND} -E copy ${ORVELIN_RELAY_DIR}/orvelin_relay.inf ${ORVELIN_RELAY_OUT}/orvelin_relay.inf
        DEPENDS ${ORVELIN_RELAY_DIR}/OrvelinRelay.c ${ORVELIN_RELAY_DIR}/RelayProtocol.h
            ${ORVELIN_RELAY_DIR}/orvelin_relay.inf
        COMMENT "Relay driver of the emulated interface"
        VERBATIM)
    add_custom_target(orvelin_relay ALL
        DEPENDS ${ORVELIN_RELAY_OUT}/orvelin_relay.sys ${ORVELIN_RELAY_OUT}/orvelin_relay.inf)

    add_library(orvelin_standin STATIC ${ORVELIN_RELAY_DIR}/RootDevice_win.cpp)
    target_include_directories(orvelin_standin PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(orvelin_standin PUBLIC setupapi newdev)
    add_dependencies(orvelin_standin orvelin_relay)

    add_executable(orvelin-standin ${ORVELIN_RELAY_DIR}/standin_main_win.cpp)
    target_link_libraries(orvelin-standin PRIVATE orvelin_standin)
    target_link_options(orvelin-standin PRIVATE -municode)
    set_target_properties(orvelin-standin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORVELIN_RELAY_OUT})

    # The emulator for Windows: the same device model and peers as on Linux, served through the
    # relay driver and real named pipes. It lands beside the driver and its INF, where it looks.
    set(ORVELIN_EMULATOR_DIR ${PROJECT_SOURCE_DIR}/emulator)
    add_library(orvelin_emulator_lib STATIC
        ${ORVELIN_EMULATOR_DIR}/Emulator.cpp
        ${ORVELIN_EMULATOR_DIR}/EmulatorCore.cpp
        ${ORVELIN_EMULATOR_DIR}/VirtualDevice.cpp
        ${ORVELIN_EMULATOR_DIR}/DeviceTransport_win.cpp
        ${ORVELIN_EMULATOR_DIR}/AsioPeer.cpp
        ${ORVELIN_EMULATOR_DIR}/AudioServicePeer.cpp
        ${ORVELIN_EMULATOR_DIR}/PipePeerServer.cpp)
    target_link_libraries(orvelin_emulator_lib PUBLIC orvelin_standin orvelin_platform)

    add_executable(orvelin-emulator ${ORVELIN_EMULATOR_DIR}/main.cpp ${ORVELIN_EMULATOR_DIR}/CommandLoop.cpp
        ${ORVELIN_EMULATOR_DIR}/CommandLoop_win.cpp)
    target_link_libraries(orvelin-emulator PRIVATE orvelin_emulator_lib)
    set_target_properties(orvelin-emulator PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORVELIN_RELAY_OUT})

    # The relay tests' Wine prefix, readied once (see the script).
    add_test(NAME wine_relay_prefix COMMAND sh ${PROJECT_SOURCE_DIR}/tests/win/prepare-relay-prefix.sh ${ORVELIN_RELAY_OUT})
    set_tests_properties(wine_relay_prefix PROPERTIES
        ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${CMAKE_BINARY_DIR}/wine-relay" TIMEOUT 300
        FIXTURES_SETUP wine_relay RESOURCE_LOCK wine-relay)

    # Install, round trips, unplug and replug, in a Wine prefix of its own so that the other
    # Windows tests keep a machine without the interface.
    add_executable(tst_RelayWin ${PROJECT_SOURCE_DIR}/tests/win/tst_RelayWin.cpp ${PROJECT_SOURCE_DIR}/emulator/VirtualDevice.cpp)
    target_link_libraries(tst_RelayWin PRIVATE orvelin_standin orvelin_platform)
    add_test(NAME tst_RelayWin COMMAND tst_RelayWin ${ORVELIN_RELAY_OUT}/orvelin_relay.inf)
    set_tests_properties(tst_RelayWin PROPERTIES
        ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${CMAKE_BINARY_DIR}/wine-relay" TIMEOUT 300 RESOURCE_LOCK wine-relay
        FIXTURES_REQUIRED wine_relay)

    # The emulator's device model, faults, log and pipe peers through the Windows paths; it shares
    # the relay test's prefix (and so one at a time).
    add_executable(tst_EmulatorWin ${PROJECT_SOURCE_DIR}/tests/win/tst_EmulatorWin.cpp)
    target_link_libraries(tst_EmulatorWin PRIVATE orvelin_emulator_lib)
    add_test(NAME tst_EmulatorWin COMMAND tst_EmulatorWin ${ORVELIN_RELAY_OUT})
    set_tests_properties(tst_EmulatorWin PROPERTIES
        ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${CMAKE_BINARY_DIR}/wine-relay" TIMEOUT 300 RESOURCE_LOCK wine-relay
        FIXTURES_REQUIRED wine_relay)
endif()
