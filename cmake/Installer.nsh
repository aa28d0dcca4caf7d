; The installer's and the uninstaller's own steps, included into CPack's NSIS script
; (cmake/Packaging.cmake says where each is called).
!include LogicLib.nsh

!define ORVELIN_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define ORVELIN_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvelin Driver"
; Every panel of every session waits on this one; panels of earlier versions on a per-session one.
!define ORVELIN_QUIT_EVENT "Global\OrvelinDriverQuit"
!define ORVELIN_EARLIER_QUIT_EVENT "Local\OrvelinDriverQuit"
; Where a silent run says why it stopped (SYSTEM's is the Windows temporary folder).
!define ORVELIN_SETUP_LOG "$TEMP\OrvelinDriver-setup.log"
!define EVENT_MODIFY_STATE 0x0002
!define SYNCHRONIZE 0x00100000

Var OrvelinWasRunning
Var OrvelinAtLogIn

Function OrvelinStartAtLogIn
  WriteRegStr HKLM "${ORVELIN_RUN_KEY}" "OrvelinDriver" '"$INSTDIR\OrvelinDriver.exe"'
FunctionEnd

; $0 = 1 if a panel (of any session, or of an earlier version in this one) still holds its event.
!macro OrvelinPanelsLeft
  StrCpy $0 0
  System::Call 'kernel32::OpenEventW(i ${SYNCHRONIZE}, i 0, w "${ORVELIN_QUIT_EVENT}") p.r1'
  ${If} $1 == 0
    System::Call 'kernel32::OpenEventW(i ${SYNCHRONIZE}, i 0, w "${ORVELIN_EARLIER_QUIT_EVENT}") p.r1'
  ${EndIf}
  ${If} $1 != 0
    StrCpy $0 1
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
!macroend

; Signals the quit event NAME if a panel holds it; $OrvelinWasRunning = 1 then.
!macro OrvelinSignal NAME
  System::Call 'kernel32::OpenEventW(i ${EVENT_MODIFY_STATE}, i 0, w "${NAME}") p.r1'
  ${If} $1 != 0
    StrCpy $OrvelinWasRunning 1
    System::Call 'kernel32::SetEvent(p r1)'
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
!macroend

; The event stays signalled while a panel holds it (one that did not quit); a panel started
; afterwards must run.
!macro OrvelinResetQuit
  System::Call 'kernel32::OpenEventW(i ${EVENT_MODIFY_STATE}, i 0, w "${ORVELIN_QUIT_EVENT}") p.r1'
  ${If} $1 != 0
    System::Call 'kernel32::ResetEvent(p r1)'
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
!macroend

; In $R0 the first file of the installation held by another process, or "" when there is none:
; an exclusive open for reading and writing (which changes nothing) fails with a sharing or lock
; violation on a file open elsewhere and on a program or DLL loaded by a running process. The
; uninstaller itself runs from its file.
!macro OrvelinHeldIn FOLDER
  ${If} $R0 == ""
  ${AndIf} ${FileExists} "${FOLDER}\*.*"
    FindFirst $R1 $R2 "${FOLDER}\*.*"
    ${DoWhile} $R2 != ""
      ${IfNot} ${FileExists} "${FOLDER}\$R2\*.*"
      ${AndIf} $R2 != "Uninstall.exe"
        System::Call 'kernel32::CreateFileW(w "${FOLDER}\$R2", i 0xC0000000, i 0, p 0, i 3, i 0, p 0) p.R3 ?e'
        Pop $R4
        ${If} $R3 != -1
          System::Call 'kernel32::CloseHandle(p R3)'
        ${ElseIf} $R4 == 32
        ${OrIf} $R4 == 33
          StrCpy $R0 "${FOLDER}\$R2"
          ${Break}
        ${EndIf}
      ${EndIf}
      FindNext $R1 $R2
    ${Loop}
    FindClose $R1
  ${EndIf}
!macroend

!macro OrvelinRelease INTERFACE
  ${If} ${INTERFACE} != 0
    System::Call '${INTERFACE}->2()'
  ${EndIf}
!macroend

; Starts the panel as the user of this desktop, not elevated like the installer: through the
; desktop shell's own ShellExecute (IShellDispatch2 of the desktop's shell view), so that Explorer
; starts it. Without a desktop shell (a silent install as SYSTEM) nothing is started; the panel
; starts at the next log-in.
Function OrvelinStartAsUser
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  Push $9
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  StrCpy $1 0
  StrCpy $2 0
  StrCpy $3 0
  StrCpy $4 0
  StrCpy $5 0
  StrCpy $6 0
  StrCpy $7 0
  StrCpy $8 0
  StrCpy $9 0
  ; VARIANTs of 24 bytes: VT_I4 CSIDL_DESKTOP, and VT_EMPTY.
  System::Call '*(i 3, i 0, l 0, l 0) p.R1'
  System::Call '*(l 0, l 0, l 0) p.R2'
  System::Call 'oleaut32::SysAllocString(w "$INSTDIR\OrvelinDriver.exe") p.R3'
  System::Call 'ole32::CoInitialize(p 0)'
  ; CLSID_ShellWindows, IID_IShellWindows
  System::Call 'ole32::CoCreateInstance(g "{9BA05972-F6A8-11CF-A442-00A0C90A8F39}", p 0, i 0x17, g "{85CB6900-4D95-11CF-960C-0080C7F4EE85}", *p .r1) i.r0'
  StrCmp $0 0 0 orvelin_release
  ; FindWindowSW(SWC_DESKTOP, SWFO_NEEDDISPATCH)
  System::Call '$1->15(p R1, p R2, i 8, *i .R0, i 1, *p .r2) i.r0'
  StrCmp $0 0 0 orvelin_release
  StrCmp $2 0 orvelin_release
  ; IServiceProvider::QueryService(SID_STopLevelBrowser, IID_IShellBrowser)
  System::Call '$2->0(g "{6D5140C1-7436-11CE-8034-00AA006009FA}", *p .r3) i.r0'
  StrCmp $0 0 0 orvelin_release
  System::Call '$3->3(g "{4C96BE40-915C-11CF-99D3-00AA004AE837}", g "{000214E2-0000-0000-C000-000000000046}", *p .r4) i.r0'
  StrCmp $0 0 0 orvelin_release
  ; IShellBrowser::QueryActiveShellView, IShellView::GetItemObject(SVGIO_BACKGROUND, IID_IDispatch)
  System::Call '$4->15(*p .r5) i.r0'
  StrCmp $0 0 0 orvelin_release
  System::Call '$5->15(i 0, g "{00020400-0000-0000-C000-000000000046}", *p .r6) i.r0'
  StrCmp $0 0 0 orvelin_release
  ; IShellFolderViewDual::get_Application, then IShellDispatch2
  System::Call '$6->0(g "{E7A1AF80-4D96-11CF-960C-0080C7F4EE85}", *p .r7) i.r0'
  StrCmp $0 0 0 orvelin_release
  System::Call '$7->7(*p .r8) i.r0'
  StrCmp $0 0 0 orvelin_release
  System::Call '$8->0(g "{A4C6892C-3BA9-11D2-9DEA-00C04FB16162}", *p .r9) i.r0'
  StrCmp $0 0 0 orvelin_release
  ; IShellDispatch2::ShellExecute(file, args, folder, verb, show): the VARIANTs go by address.
  System::Call '$9->31(p R3, p R2, p R2, p R2, p R2) i.r0'
  orvelin_release:
  ${If} $0 == 0
    DetailPrint "Started Orvelin Driver again"
  ${Else}
    DetailPrint "Orvelin Driver was not started again (no desktop shell, $0): it starts at the next log-in"
  ${EndIf}
  !insertmacro OrvelinRelease $1
  !insertmacro OrvelinRelease $2
  !insertmacro OrvelinRelease $3
  !insertmacro OrvelinRelease $4
  !insertmacro OrvelinRelease $5
  !insertmacro OrvelinRelease $6
  !insertmacro OrvelinRelease $7
  !insertmacro OrvelinRelease $8
  !insertmacro OrvelinRelease $9
  System::Call 'oleaut32::SysFreeString(p R3)'
  System::Free $R1
  System::Free $R2
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
  Pop $9
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

!macro OrvelinFunctions UN
Function ${UN}OrvelinFindHeld
  StrCpy $R0 ""
  !insertmacro OrvelinHeldIn "$INSTDIR"
  !insertmacro OrvelinHeldIn "$INSTDIR\platforms"
  !insertmacro OrvelinHeldIn "$INSTDIR\styles"
  !insertmacro OrvelinHeldIn "$INSTDIR\imageformats"
FunctionEnd

; In $R5 the program that holds the file $R0, as Restart Manager names it with its process id, or
; "" when it cannot tell.
Function ${UN}OrvelinHolder
  StrCpy $R5 ""
  System::Call 'rstrtmgr::RmStartSession(*i .R6, i 0, w .R7) i.R8'
  ${If} $R8 == 0
    ; An array of one string pointer.
    System::Call '*(w "$R0") p.R9'
    System::Call 'rstrtmgr::RmRegisterResources(i R6, i 1, p R9, i 0, p 0, i 0, p 0) i.R8'
    System::Free $R9
    ${If} $R8 == 0
      ; Room for 4 RM_PROCESS_INFO of 668 bytes: process id, start time, name (256 characters), ...
      System::Alloc 2672
      Pop $R9
      System::Call 'rstrtmgr::RmGetList(i R6, *i .R3, *i 4 .R8, p R9, *i .R4) i.R7'
      ${If} $R7 == 0
      ${AndIf} $R8 > 0
        System::Call '*$R9(i .R3, i, i, &w256 .R5)'
        StrCpy $R5 "$R5 (process $R3)"
      ${EndIf}
      System::Free $R9
    ${EndIf}
    System::Call 'rstrtmgr::RmEndSession(i R6)'
  ${EndIf}
FunctionEnd

; Stops the installer or the uninstaller, before it has removed or written anything, while a file
; of the installation is held open: never a delete at the next restart, which would leave the
; Start-menu, Run and uninstall entries without a program. Interactive: the user may close the
; program and retry. Silent: the reason goes to the setup log and the exit status is 2.
Function ${UN}OrvelinStopIfHeld
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  Push $R8
  Push $R9
  ; The system lets go of a program's files a moment after the process ends.
  StrCpy $R9 0
  ${Do}
    Call ${UN}OrvelinFindHeld
    ${If} $R0 == ""
      ${Break}
    ${EndIf}
    IntOp $R9 $R9 + 1
    ${If} $R9 < 20
      Sleep 250
      ${Continue}
    ${EndIf}
    Call ${UN}OrvelinHolder
    ${If} $R5 == ""
      StrCpy $R5 "another program"
    ${EndIf}
    StrCpy $R1 "$R0 is in use by $R5. Nothing has been changed."
    DetailPrint $R1
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R1$\r$\n$\r$\nClose $R5, then choose Retry." /SD IDCANCEL IDRETRY orvelin_retry
    ClearErrors
    FileOpen $R2 "${ORVELIN_SETUP_LOG}" a
    ${IfNot} ${Errors}
      FileSeek $R2 0 END
      FileWrite $R2 "Orvelin Driver setup stopped: $R1$\r$\n"
      FileClose $R2
    ${EndIf}
    ; The installation is as it was: a panel the installer ended runs again.
    !if "${UN}" == ""
      ${If} $OrvelinWasRunning == 1
        Call OrvelinStartAsUser
      ${EndIf}
    !endif
    SetErrorLevel 2
    Abort $R1
    orvelin_retry:
    StrCpy $R9 0
  ${Loop}
  Pop $R9
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd

; Asks every running panel to quit, through its own teardown (settings written), and waits for
; the last one. After 10 s: interactive, the user may quit it and retry, or stop; silent, the
; panels that are left are ended.
Function ${UN}OrvelinEndPanel
  Push $0
  Push $1
  Push $2
  StrCpy $OrvelinWasRunning 0
  !insertmacro OrvelinSignal "${ORVELIN_QUIT_EVENT}"
  !insertmacro OrvelinSignal "${ORVELIN_EARLIER_QUIT_EVENT}"
  ${If} $OrvelinWasRunning == 1
    DetailPrint "Asking every running Orvelin Driver to quit"
    StrCpy $2 0
    ${Do}
      Sleep 250
      ; Each panel's event handle goes with its process: none left, all have ended.
      !insertmacro OrvelinPanelsLeft
      ${If} $0 == 0
        ${Break}
      ${EndIf}
      IntOp $2 $2 + 1
      ${If} $2 >= 40
        ${If} ${Silent}
          DetailPrint "Orvelin Driver did not quit within 10 s: ending it"
          ExecWait '"$SYSDIR\taskkill.exe" /f /im OrvelinDriver.exe'
          ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Orvelin Driver is still running. Quit it from its tray menu, then choose Retry." IDRETRY orvelin_retry
        !insertmacro OrvelinResetQuit
        SetErrorLevel 2
        Abort "Orvelin Driver is still running."
        orvelin_retry:
        StrCpy $2 0
      ${EndIf}
    ${Loop}
    !insertmacro OrvelinResetQuit
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro OrvelinFunctions ""
!insertmacro OrvelinFunctions "un."

; Before the files are copied: end the panels, stop while a file is still held, note the earlier
; start-at-log-in choice (ticked on a first install), and run the installed version's uninstaller in
; place, telling it an upgrade runs.
Function OrvelinBeforeInstall
  Push $0
  Push $1
  Push $2
  Call OrvelinEndPanel
  Call OrvelinStopIfHeld
  StrCpy $OrvelinAtLogIn 1
  ReadRegStr $0 HKLM "${ORVELIN_UNINSTALL_KEY}" "UninstallString"
  ${If} $0 != ""
    StrCpy $OrvelinAtLogIn 0
    ReadRegStr $1 HKLM "${ORVELIN_RUN_KEY}" "OrvelinDriver"
    ${If} $1 != ""
      StrCpy $OrvelinAtLogIn 1
    ${EndIf}
    ; "C:\...\Uninstall.exe" without its quotes, and its folder.
    StrCpy $1 $0 1
    ${If} $1 == '"'
      StrCpy $0 $0 -1 1
    ${EndIf}
    StrCpy $1 $0 -14
    ${If} ${FileExists} $0
      System::Call 'kernel32::SetEnvironmentVariableW(w "ORVELIN_UPGRADE", w "1")'
      DetailPrint "Removing the installed version"
      ExecWait '"$0" /S _?=$1' $2
      System::Call 'kernel32::SetEnvironmentVariableW(w "ORVELIN_UPGRADE", p 0)'
      ${If} $2 != 0
        SetErrorLevel 2
        Abort "The installed version could not be removed (status $2)."
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; After the files: the Run entry in silent mode as chosen before, and the panel again if it ran.
Function OrvelinAfterInstall
  ${If} ${Silent}
  ${AndIf} $OrvelinAtLogIn == 1
    Call OrvelinStartAtLogIn
  ${EndIf}
  ${If} $OrvelinWasRunning == 1
    Call OrvelinStartAsUser
  ${EndIf}
FunctionEnd

; Before the uninstaller's own deletes (a plain delete each: nothing is held by now).
Function un.OrvelinBeforeUninstall
  Push $0
  ReadEnvStr $0 ORVELIN_UPGRADE
  ${If} $0 != 1
    Call un.OrvelinEndPanel
  ${EndIf}
  Call un.OrvelinStopIfHeld
  Delete "$INSTDIR\OrvelinDriver.exe"
  Delete "$INSTDIR\orvelinctl.exe"
  Delete "$INSTDIR\orvelinctlw.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\*.qm"
  Delete "$INSTDIR\platforms\*.dll"
  Delete "$INSTDIR\styles\*.dll"
  Delete "$INSTDIR\imageformats\*.dll"
  RMDir "$INSTDIR\platforms"
  RMDir "$INSTDIR\styles"
  RMDir "$INSTDIR\imageformats"
  Pop $0
FunctionEnd
