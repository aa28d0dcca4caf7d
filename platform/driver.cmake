target_sources(orvelin_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PlatformLog.cpp)
