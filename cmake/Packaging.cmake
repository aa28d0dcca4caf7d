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
# install (/S) shows no pages and so takes that default on a first install, and keeps the earlier
# choice on an upgrade. The uninstaller removes the entry. The user's settings and log file are not
# the installer's and stay.
# The panel is nearly always running, in every session where a user is signed in: the installer
# and the uninstaller first ask every panel to quit through the one event they all wait on,
# "Global\OrvelinDriverQuit" (each quits as from its tray menu, settings written), and wait for the
# last; after 10 s they ask the user, or end the panels in silent mode. Then, while a file of the
# installation is still held by any process, they stop before they remove or write anything and
# name the program (Restart Manager); a silent run writes that to %TEMP%\OrvelinDriver-setup.log and
# exits with status 2. Nothing is ever left to be deleted at the next restart. An installer that
# ended a panel starts the new one again through the desktop shell's ShellExecute, so that it runs
# as the user, not elevated like the installer (cmake/Installer.nsh).
# Signing (scripts/sign-windows.sh, only with a key): the packages' programs and DLLs after they
# are installed for packing, and the uninstaller as NSIS writes it at build time.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/SignPackageFiles.cmake)
set(CPACK_NSIS_DEFINES [=[Target amd64-unicode
!uninstfinalize 'sh "@ORVELIN_SIGN_SCRIPT@" "%1"'
!include "@ORVELIN_INSTALLER_STEPS@"]=])
string(REPLACE "@ORVELIN_SIGN_SCRIPT@" "${PROJECT_SOURCE_DIR}/scripts/sign-windows.sh" CPACK_NSIS_DEFINES
    "${CPACK_NSIS_DEFINES}")
string(REPLACE "@ORVELIN_INSTALLER_STEPS@" "${CMAKE_CURRENT_LIST_DIR}/Installer.nsh" CPACK_NSIS_DEFINES
    "${CPACK_NSIS_DEFINES}")
set(CPACK_NSIS_INSTALLER_FINISH_TITLE_CODE [=[!define MUI_FINISHPAGE_SHOWREADME ""
  !define MUI_FINISHPAGE_SHOWREADME_TEXT "Start Orvelin Driver at log-in"
  !define MUI_FINISHPAGE_SHOWREADME_FUNCTION OrvelinStartAtLogIn
  !define MUI_FINISHPAGE_TEXT "Orvelin Driver has been installed. A panel that was running has been started again; otherwise Orvelin Driver starts at the next log-in or from the Start menu."]=])
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS [=[Call OrvelinBeforeInstall]=])
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[Call OrvelinAfterInstall]=])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[Call un.OrvelinBeforeUninstall
  DeleteRegValue HKLM "${ORVELIN_RUN_KEY}" "OrvelinDriver"]=])
set(CPACK_NSIS_PACKAGE_NAME "Orvelin Driver")
# Sharp at 150 % and 200 %, not scaled up by Windows.
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_DISPLAY_NAME "Orvelin Driver")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/icon.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/icon.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME OrvelinDriver.exe)
# The installed version is removed by the installer's own first step (OrvelinBeforeInstall).
# No licence text of its own: the installer shows no licence page.
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MENU_LINKS OrvelinDriver.exe "Orvelin Driver")
set(CPACK_VERBATIM_VARIABLES ON)

# The web remote: its libraries, and a firewall rule that lets phones on private networks (not
# public ones) reach the program. The installer runs elevated; a standard user could not answer
# the firewall's own prompt. The old version's uninstaller removes the rule during an upgrade and
# the new one adds it again.
if(ORVELIN_REMOTE)
    install(FILES $<TARGET_FILE:Qt6::HttpServer> $<TARGET_FILE:Qt6::WebSockets> DESTINATION .)
    get_filename_component(orvelin_qrencode_dir "${ORVELIN_QRENCODE_LIBRARY}" DIRECTORY)
    find_file(ORVELIN_QRENCODE_DLL libqrencode.dll PATHS ${orvelin_qrencode_dir} ${orvelin_qrencode_dir}/../bin
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    install(FILES ${ORVELIN_QRENCODE_DLL} DESTINATION .)
    string(APPEND CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  ExecWait '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="Orvelin Driver remote" program="$INSTDIR\OrvelinDriver.exe"'
  ExecWait '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="Orvelin Driver remote" dir=in action=allow program="$INSTDIR\OrvelinDriver.exe" protocol=TCP profile=private enable=yes']=])
    string(APPEND CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  ExecWait '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="Orvelin Driver remote" program="$INSTDIR\OrvelinDriver.exe"']=])
endif()

include(CPack)
