target_sources(orvelin_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PlatformLog.cpp)
if(NOT WIN32)
    # The runtime folder of the stand-in sockets, shared by the driver and pipe ports.
    target_sources(orvelin_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/RuntimeDir_unix.cpp)
endif()
