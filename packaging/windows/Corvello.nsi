; Corvello's setup program. It installs Corvello.exe under Program Files, the
; MIDI driver where 64-bit programs (System32) and 32-bit programs (SysWOW64)
; load it, claims the driver's slot in both lists of MIDI drivers, lets the
; remote's link through Windows Firewall on private networks, adds a Start
; menu shortcut, starts Corvello at the installing user's login and adds an
; entry to the installed programs. `/S` installs or uninstalls silently.
;
; The makefile passes VERSION, OUTFILE and the built files: CORVELLO_EXE,
; SETUP_HELPER (corvmidi-setup.exe), CORVMIDI64 and CORVMIDI32.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvello"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Corvello"
!define FIREWALL_RULE "Corvello"
!define WINDOW_CLASS "Corvello"

Name "Corvello"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Corvello"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Corvello"
VIAddVersionKey "FileDescription" "Corvello setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running Corvello holds its program file: it is asked to exit as its tray
; menu's "Exit" would, and given a few seconds to do so.
!macro DefineCloseCorvello un
Function ${un}CloseCorvello
  StrCpy $1 0
  ${Do}
    FindWindow $0 "${WINDOW_CLASS}" "Corvello"
    ${If} $0 = 0
    ${OrIf} $1 >= 25
      ${Break}
    ${EndIf}
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
    Sleep 200
    IntOp $1 $1 + 1
  ${Loop}
FunctionEnd
!macroend
!insertmacro DefineCloseCorvello ""
!insertmacro DefineCloseCorvello "un."

; netsh's exit code is only reported: without the rules Windows asks the user
; the first time a remote connects, which still works.
!macro Netsh arguments
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall ${arguments}'
  Pop $0
  ${If} $0 != 0
    DetailPrint `netsh advfirewall firewall ${arguments}: exit code $0`
  ${EndIf}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "Corvello needs 64-bit Windows." /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Corvello"
  ; The slots first, with the helper unpacked to a temporary folder: when
  ; every slot is taken nothing else is installed.
  InitPluginsDir
  File "/oname=$PLUGINSDIR\corvmidi-setup.exe" "${SETUP_HELPER}"
  nsExec::ExecToLog '"$PLUGINSDIR\corvmidi-setup.exe" register'
  Pop $0
  ${If} $0 != 0
    MessageBox MB_ICONSTOP "The MIDI driver could not be registered (corvmidi-setup exit code $0). \
      When every one of the ten MIDI driver slots in HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Drivers32 \
      is taken, remove a driver you no longer use and run this setup again." /SD IDOK
    SetErrorLevel 4
    Quit
  ${EndIf}

  Call CloseCorvello
  SetOutPath "$INSTDIR"
  File "/oname=Corvello.exe" "${CORVELLO_EXE}"
  File "/oname=corvmidi-setup.exe" "${SETUP_HELPER}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; A 64-bit setup program sees the real System32; SysWOW64 is the folder
  ; 32-bit programs know as their system folder.
  SetOutPath "$SYSDIR"
  File "/oname=corvmidi.dll" "${CORVMIDI64}"
  SetOutPath "$WINDIR\SysWOW64"
  File "/oname=corvmidi.dll" "${CORVMIDI32}"
  SetOutPath "$INSTDIR"

  ; One rule per protocol: the remote's link (TCP) and its meters (UDP).
  !insertmacro Netsh 'delete rule name="${FIREWALL_RULE}"'
  !insertmacro Netsh 'add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\Corvello.exe" protocol=TCP profile=private enable=yes'
  !insertmacro Netsh 'add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\Corvello.exe" protocol=UDP profile=private enable=yes'

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Corvello.lnk" "$INSTDIR\Corvello.exe"
  SetShellVarContext current
  WriteRegStr HKCU "${RUN_KEY}" "Corvello" '"$INSTDIR\Corvello.exe"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Corvello"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Corvello.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Call un.CloseCorvello
  ; Clears only the slots that hold corvmidi.dll; other drivers keep theirs.
  nsExec::ExecToLog '"$INSTDIR\corvmidi-setup.exe" unregister'
  Pop $0
  ${If} $0 != 0
    DetailPrint "corvmidi-setup unregister: exit code $0"
  ${EndIf}
  !insertmacro Netsh 'delete rule name="${FIREWALL_RULE}"'

  ; A DAW still running holds the driver: then it goes at the next restart.
  Delete /REBOOTOK "$SYSDIR\corvmidi.dll"
  Delete /REBOOTOK "$WINDIR\SysWOW64\corvmidi.dll"

  SetShellVarContext all
  Delete "$SMPROGRAMS\Corvello.lnk"
  SetShellVarContext current
  DeleteRegValue HKCU "${RUN_KEY}" "Corvello"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  RMDir /r "$LOCALAPPDATA\Corvello"

  Delete "$INSTDIR\Corvello.exe"
  Delete "$INSTDIR\corvmidi-setup.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
