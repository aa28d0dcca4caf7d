target_sources(orvelin_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PlatformLog.cpp)
if(WIN32)
    target_sources(orvelin_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/DriverPort_win.cpp)
    target_link_libraries(orvelin_platform PUBLIC setupapi user32)
else()
    # The runtime folder of the stand-in sockets is shared by the driver and pipe ports.
    target_sources(orvelin_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/RuntimeDir_unix.cpp
        ${CMAKE_CURRENT_LIST_DIR}/DriverPort_unix.cpp)
endif()
