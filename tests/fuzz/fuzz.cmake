# libFuzzer targets; their corpora also run as ordinary tests.
#
# orvelin_add_fuzz_target(NAME SOURCES file... [LIBRARIES lib...])
#   NAME       the target's name; its seed corpus is tests/fuzz/corpus/NAME/
#   SOURCES    the file defining LLVMFuzzerTestOneInput (and optionally LLVMFuzzerInitialize), plus
#              any code under test that should be compiled with the fuzzer's coverage instrumentation
#   LIBRARIES  what else to link (every layer is always linked)
# Always builds fuzzcorpus_NAME and registers the CTest test fuzzcorpus_NAME, which runs the
# target over every file of its corpus, so the corpus runs under gcc too. With -DORVELIN_FUZZ=ON
# and clang it also builds the libFuzzer program fuzz_NAME:
#   build/tests/fuzz_NAME -max_total_time=30 NEW_DIR tests/fuzz/corpus/NAME
# (libFuzzer adds what it finds to the first folder; keep the committed seeds small).
set(ORVELIN_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

if(ORVELIN_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(WARNING "ORVELIN_FUZZ needs clang; only the corpus tests are built")
endif()

function(orvelin_add_fuzz_target name)
    cmake_parse_arguments(FUZZ "" "" "SOURCES;LIBRARIES" ${ARGN})
    set(corpus ${ORVELIN_FUZZ_DIR}/corpus/${name})

    add_executable(fuzzcorpus_${name} ${ORVELIN_FUZZ_DIR}/CorpusRunner.cpp ${FUZZ_SOURCES})
    target_include_directories(fuzzcorpus_${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(fuzzcorpus_${name} PRIVATE ${ORVELIN_LAYERS} ${FUZZ_LIBRARIES})
    add_test(NAME fuzzcorpus_${name} COMMAND fuzzcorpus_${name} ${corpus})
    # The font library's caches of a panel's texts are no leak of ours (tests/lsan.supp).
    set_tests_properties(fuzzcorpus_${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp" TIMEOUT 300)

    if(ORVELIN_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        add_executable(fuzz_${name} ${FUZZ_SOURCES})
        target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
        target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR})
        target_link_libraries(fuzz_${name} PRIVATE ${ORVELIN_LAYERS} ${FUZZ_LIBRARIES})
    endif()
endfunction()

# Status records from the ASIO driver, received by the pipe server and handled as the listener does.
orvelin_add_fuzz_target(asio_status SOURCES ${ORVELIN_FUZZ_DIR}/fuzz_asio_status.cpp
    ${PROJECT_SOURCE_DIR}/settings/AsioStatusRecord.cpp ${PROJECT_SOURCE_DIR}/settings/PipeServer.cpp
    ${PROJECT_SOURCE_DIR}/platform/PipePort_unix.cpp LIBRARIES orvelin_testsupport)
# A reply packet of the driver, through the Linux driver port on a socket pair.
orvelin_add_fuzz_target(driver_reply SOURCES ${ORVELIN_FUZZ_DIR}/fuzz_driver_reply.cpp
    ${PROJECT_SOURCE_DIR}/platform/DriverPort_unix.cpp)
# A panel restored from an INI file of any bytes, against the in-process emulated device.
orvelin_add_fuzz_target(panel_restore SOURCES ${ORVELIN_FUZZ_DIR}/fuzz_panel_restore.cpp
    ${PROJECT_SOURCE_DIR}/panels/PanelKit.cpp ${PROJECT_SOURCE_DIR}/storage/SettingsFile.cpp
    LIBRARIES orvelin_emulator_lib orvelin_testsupport)
# A UDP packet of any bytes through the OSC decoder, and what it takes back through the encoder.
orvelin_add_fuzz_target(osc_packet SOURCES ${ORVELIN_FUZZ_DIR}/fuzz_osc_packet.cpp ${PROJECT_SOURCE_DIR}/control/OscMessage.cpp)
