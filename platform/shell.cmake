# Shell helpers: the system's sound settings, the command processor of the shell restart and the
# termination requests of the process.
if(WIN32)
    target_sources(orvelin_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/SoundPanel_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/SystemShell_win.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ProcessSignals_win.cpp)
    target_link_libraries(orvelin_platform PUBLIC shell32)
else()
    target_sources(orvelin_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/SoundPanel_unix.cpp
        ${CMAKE_CURRENT_LIST_DIR}/SystemShell_unix.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ProcessSignals_unix.cpp)
endif()
