# Deployment of the Windows program and its packages: a portable ZIP and an NSIS installer.
#   cpack --config build-windows/CPackConfig.cmake   (or: ninja -C build-windows package)
if(NOT WIN32)
    return()
endif()

# The Qt libraries and plugins OrvelinDriver.exe and orvelinctl.exe load, and nothing else (Network
# carries the local control channel).
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> $<TARGET_FILE:Qt6::Network>
    DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
# Without it the .ico window icon does not load.
install(FILES $<TARGET_FILE:Qt6::QICOPlugin> DESTINATION imageformats)

# The Qt DLLs link the MinGW runtime dynamically; the program itself links it statically.
if(MINGW)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
            OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${dll_path}")
            find_file(dll_path ${dll} PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH)
        endif()
        if(EXISTS "${dll_path}")
            install(FILES ${dll_path} DESTINATION .)
        else()
            message(WARNING "MinGW runtime ${dll} not found; the deployed program will miss it")
        endif()
        unset(dll_path CACHE)
    endforeach()
endif()

# The Qt and runtime DLLs come with their symbols; the packages carry them stripped, like the
# program itself (CPACK_STRIP_FILES strips installed targets only).
if(MINGW AND CMAKE_STRIP)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            file(GLOB_RECURSE orvelin_dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
            foreach(dll IN LISTS orvelin_dlls)
                execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\")
            endforeach()
        endif()")
endif()
set(CPACK_STRIP_FILES ON)

set(CPACK_PACKAGE_NAME OrvelinDriver)
set(CPACK_PACKAGE_VENDOR Orvelin)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Orvelin Driver control panel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME OrvelinDriver-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Orvelin Driver")
set(CPACK_PACKAGE_EXECUTABLES OrvelinDriver "Orvelin Driver")
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackagingPerGenerator.cmake)

# A 64-bit installer: it writes the 64-bit registry view and Program Files.
# Start at log-in is a Run entry of the machine, offered as a ticked box on the last page; a silent
# install (/S) shows no pages and so takes that default. The uninstaller removes the entry. The
# user's settings and log file are not the installer's and stay.
set(CPACK_NSIS_DEFINES [=[Target amd64-unicode
!define ORVELIN_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
Function OrvelinStartAtLogIn
  WriteRegStr HKLM "${ORVELIN_RUN_KEY}" "OrvelinDriver" '"$INSTDIR\OrvelinDriver.exe"'
FunctionEnd]=])
set(CPACK_NSIS_INSTALLER_FINISH_TITLE_CODE [=[!define MUI_FINISHPAGE_SHOWREADME ""
  !define MUI_FINISHPAGE_SHOWREADME_TEXT "Start Orvelin Driver at log-in"
  !define MUI_FINISHPAGE_SHOWREADME_FUNCTION OrvelinStartAtLogIn]=])
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[IfSilent 0 +2
    Call OrvelinStartAtLogIn]=])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[DeleteRegValue HKLM "${ORVELIN_RUN_KEY}" "OrvelinDriver"]=])
set(CPACK_NSIS_PACKAGE_NAME "Orvelin Driver")
set(CPACK_NSIS_DISPLAY_NAME "Orvelin Driver")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/icon.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/icon.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME OrvelinDriver.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# No licence text of its own: the installer shows no licence page.
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MENU_LINKS OrvelinDriver.exe "Orvelin Driver")
set(CPACK_VERBATIM_VARIABLES ON)

include(CPack)
