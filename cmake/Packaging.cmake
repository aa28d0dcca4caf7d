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
# The panel is nearly always running: the installer and the uninstaller first ask it to quit
# through its own named event (it quits as from its tray menu, settings written) and wait for it;
# after 10 s they ask the user, or end it in silent mode. An installer that ended a panel starts the
# new one again through the desktop shell (explorer.exe), so that it runs as the user, not elevated
# like the installer. Files still held (another session's panel) go at the next restart.
# Signing (scripts/sign-windows.sh, only with a certificate): the packages' programs and DLLs
# after they are installed for packing, and the uninstaller as NSIS writes it at build time.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/SignPackageFiles.cmake)
set(CPACK_NSIS_DEFINES [=[Target amd64-unicode
!uninstfinalize 'sh "@ORVELIN_SIGN_SCRIPT@" "%1"'
!define ORVELIN_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define ORVELIN_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvelin Driver"
Var OrvelinWasRunning
Var OrvelinAtLogIn
Var OrvelinRebootNoted
Function OrvelinStartAtLogIn
  WriteRegStr HKLM "${ORVELIN_RUN_KEY}" "OrvelinDriver" '"$INSTDIR\OrvelinDriver.exe"'
FunctionEnd
!macro OrvelinEndPanelFunction UN
Function ${UN}OrvelinEndPanel
  Push $0
  Push $1
  StrCpy $OrvelinWasRunning 0
  ; EVENT_MODIFY_STATE
  System::Call 'kernel32::OpenEventW(i 0x0002, i 0, w "Local\OrvelinDriverQuit") p.r0'
  IntPtrCmp $0 0 orvelin_done
  StrCpy $OrvelinWasRunning 1
  DetailPrint "Asking the running Orvelin Driver to quit"
  System::Call 'kernel32::SetEvent(p r0)'
  System::Call 'kernel32::CloseHandle(p r0)'
  StrCpy $1 0
  orvelin_wait:
    Sleep 250
    IntOp $1 $1 + 1
    ; SYNCHRONIZE: the event goes with the panel's last handle, at its end.
    System::Call 'kernel32::OpenEventW(i 0x00100000, i 0, w "Local\OrvelinDriverQuit") p.r0'
    IntPtrCmp $0 0 orvelin_gone
    System::Call 'kernel32::CloseHandle(p r0)'
    IntCmp $1 40 0 orvelin_wait 0
    IfSilent orvelin_kill
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Orvelin Driver is still running. Quit it from its tray menu, then choose Retry." IDRETRY orvelin_retry
    Abort "Orvelin Driver is still running."
  orvelin_retry:
    StrCpy $1 0
    Goto orvelin_wait
  orvelin_kill:
    DetailPrint "Orvelin Driver did not quit within 10 s: ending it"
    ExecWait '"$SYSDIR\taskkill.exe" /f /im OrvelinDriver.exe'
  orvelin_gone:
  ; The system lets go of the program file a moment after the process.
  StrCpy $1 0
  orvelin_file:
    IfFileExists "$INSTDIR\OrvelinDriver.exe" 0 orvelin_done
    ClearErrors
    FileOpen $0 "$INSTDIR\OrvelinDriver.exe" a
    IfErrors 0 orvelin_free
    Sleep 250
    IntOp $1 $1 + 1
    IntCmp $1 20 orvelin_done orvelin_file orvelin_done
  orvelin_free:
    FileClose $0
  orvelin_done:
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro OrvelinEndPanelFunction ""
!insertmacro OrvelinEndPanelFunction "un."
; Before the files are copied: end the panel, note the earlier start-at-log-in choice (ticked on a
; first install), and run the installed version's uninstaller in place, telling it an upgrade runs.
Function OrvelinBeforeInstall
  Push $0
  Push $1
  Call OrvelinEndPanel
  StrCpy $OrvelinAtLogIn 1
  ReadRegStr $0 HKLM "${ORVELIN_UNINSTALL_KEY}" "UninstallString"
  StrCmp $0 "" orvelin_fresh
  StrCpy $OrvelinAtLogIn 0
  ReadRegStr $1 HKLM "${ORVELIN_RUN_KEY}" "OrvelinDriver"
  StrCmp $1 "" +2
    StrCpy $OrvelinAtLogIn 1
  ; "C:\...\Uninstall.exe" without its quotes, and its folder.
  StrCpy $1 $0 1
  StrCmp $1 '"' 0 +2
    StrCpy $0 $0 -1 1
  StrCpy $1 $0 -14
  IfFileExists $0 0 orvelin_fresh
  System::Call 'kernel32::SetEnvironmentVariableW(w "ORVELIN_UPGRADE", w "1")'
  DetailPrint "Removing the installed version"
  ExecWait '"$0" /S _?=$1'
  System::Call 'kernel32::SetEnvironmentVariableW(w "ORVELIN_UPGRADE", p 0)'
  orvelin_fresh:
  Pop $1
  Pop $0
FunctionEnd
; After the files: the Run entry in silent mode as chosen before, and the panel again if it ran.
Function OrvelinAfterInstall
  IfSilent 0 +3
    StrCmp $OrvelinAtLogIn 1 0 +2
      Call OrvelinStartAtLogIn
  StrCmp $OrvelinWasRunning 1 0 +3
    DetailPrint "Starting Orvelin Driver again"
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\OrvelinDriver.exe"'
FunctionEnd
Function un.OrvelinBeforeUninstall
  Push $0
  ReadEnvStr $0 ORVELIN_UPGRADE
  StrCmp $0 1 +2
    Call un.OrvelinEndPanel
  ; Whatever is still held is removed at the next restart.
  Delete /REBOOTOK "$INSTDIR\OrvelinDriver.exe"
  Delete /REBOOTOK "$INSTDIR\orvelinctl.exe"
  Delete /REBOOTOK "$INSTDIR\orvelinctlw.exe"
  Delete /REBOOTOK "$INSTDIR\*.dll"
  Delete /REBOOTOK "$INSTDIR\*.qm"
  Delete /REBOOTOK "$INSTDIR\platforms\*.dll"
  Delete /REBOOTOK "$INSTDIR\styles\*.dll"
  Delete /REBOOTOK "$INSTDIR\imageformats\*.dll"
  RMDir /REBOOTOK "$INSTDIR\platforms"
  RMDir /REBOOTOK "$INSTDIR\styles"
  RMDir /REBOOTOK "$INSTDIR\imageformats"
  Pop $0
FunctionEnd
Function un.OrvelinAfterUninstall
  Push $0
  StrCmp $OrvelinRebootNoted 1 orvelin_noted
  StrCpy $OrvelinRebootNoted 1
  ReadEnvStr $0 ORVELIN_UPGRADE
  StrCmp $0 1 orvelin_noted
  RMDir /REBOOTOK "$INSTDIR"
  IfRebootFlag 0 orvelin_noted
    DetailPrint "Some files are still in use; they are removed when Windows restarts."
    MessageBox MB_OK|MB_ICONINFORMATION "Some files of Orvelin Driver are still in use; they are removed when Windows restarts." /SD IDOK
  orvelin_noted:
  Pop $0
FunctionEnd]=])
string(REPLACE "@ORVELIN_SIGN_SCRIPT@" "${PROJECT_SOURCE_DIR}/scripts/sign-windows.sh" CPACK_NSIS_DEFINES
    "${CPACK_NSIS_DEFINES}")
set(CPACK_NSIS_INSTALLER_FINISH_TITLE_CODE [=[!define MUI_FINISHPAGE_SHOWREADME ""
  !define MUI_FINISHPAGE_SHOWREADME_TEXT "Start Orvelin Driver at log-in"
  !define MUI_FINISHPAGE_SHOWREADME_FUNCTION OrvelinStartAtLogIn
  !define MUI_FINISHPAGE_TEXT "Orvelin Driver has been installed. A panel that was running has been started again; otherwise Orvelin Driver starts at the next log-in or from the Start menu."]=])
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS [=[Call OrvelinBeforeInstall]=])
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[Call OrvelinAfterInstall]=])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[Call un.OrvelinBeforeUninstall
  DeleteRegValue HKLM "${ORVELIN_RUN_KEY}" "OrvelinDriver"]=])
set(CPACK_NSIS_DELETE_ICONS_EXTRA [=[Call un.OrvelinAfterUninstall]=])
set(CPACK_NSIS_PACKAGE_NAME "Orvelin Driver")
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
