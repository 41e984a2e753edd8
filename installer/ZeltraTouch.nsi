; Setup program of ZeltraTouch (64-bit Windows).
;
; Installs ZeltraTouch.exe, creates the program's settings key with initial
; values that ordinary users may change, a Start-menu entry, optionally a
; start at logon, the event log source, a folder for the metrics file that
; users may write files in, and an uninstaller that removes the files (and the
; key and that folder, when asked).
; Values already in the key are kept, so a reinstall loses no settings and
; no calibration.
;
; Build:  makensis -DZT_EXE=path/ZeltraTouch.exe -DZT_VERSION=1.0.0
;                  -DZT_OUTFILE=path/ZeltraTouch-setup.exe ZeltraTouch.nsi
;
; Silent: ZeltraTouch-setup.exe /S [/SETTINGS=FILE] [/PORT=COMn] [/AUTOSTART]
;                               [/D=C:\install\dir]
;         Uninstall.exe /S [/REMOVESETTINGS]
; Build options: -DZT_EXIT_CODES=path/exit_codes.h
; FILE may be relative to the folder the setup is started from, and may be
; quoted whole ("/SETTINGS=C:\fleet dir\kiosk.conf") or after the "=". The
; settings file is checked before anything is installed, and imported
; (ZeltraTouch.exe /import) once the files are in place, before the initial
; values; /PORT wins over the file's port. A running program is ended first
; (its file could not be replaced): asked with /quit, then by force, and
; started again at the end through the program's /startforuser: for the
; user logged on at the machine's console, in that user's session,
; unelevated. A silent uninstall keeps the settings unless /REMOVESETTINGS
; is given.
; Exit codes: those of the program's commands (ZT_EXIT_CODES, the program's
; exit_codes.h, read when the setup is built): 0 installed; 2 not run as an
; administrator, or stopped otherwise; 3 the settings file has a bad line;
; 4 it cannot be read; 5 the settings key cannot be written; 6 the running
; program refused the import; 8 /PORT is not a COM port; 10 the import left
; part of the file; 11 a file of the program cannot be installed; 12 the
; data folder cannot be made the setup's own; 1 cancelled. With 2, 3, 8, 12,
; or 4 at the check, nothing is installed; with 4 at the import, 5, 6 or 10
; the settings are as they were (with 10: but for the values the import
; names) and a first install leaves nothing behind; with 11 a first install
; leaves nothing behind, and an update starts the program it ended again.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "WordFunc.nsh"

!ifndef ZT_EXE
  !error "define ZT_EXE, the program to install"
!endif
!ifndef ZT_VERSION
  !define ZT_VERSION "1.0.0"
!endif
!ifndef ZT_OUTFILE
  !define ZT_OUTFILE "ZeltraTouch-${ZT_VERSION}-setup.exe"
!endif

!define PRODUCT "ZeltraTouch"
!define SETTINGS_KEY "Software\Corvantic\ZeltraTouch"
!define VENDOR_KEY "Software\Corvantic"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZeltraTouch"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define STARTMENU_DIR "$SMPROGRAMS\ZeltraTouch"
!define EVENTLOG_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\ZeltraTouch"
; With SetShellVarContext all, $APPDATA is %ProgramData%.
!define DATA_DIR "$APPDATA\ZeltraTouch"
!define METRICS_DIR "${DATA_DIR}\metrics"
!ifndef ZT_EXIT_CODES
  !error "define ZT_EXIT_CODES, the program's table of exit codes"
!endif
!searchparse /file "${ZT_EXIT_CODES}" "kExitStopped = " EXIT_STOPPED ";"
!searchparse /file "${ZT_EXIT_CODES}" "kExitBadPort = " EXIT_BAD_PORT ";"
!searchparse /file "${ZT_EXIT_CODES}" "kExitProgramFileFailed = " EXIT_PROGRAM_FILE_FAILED ";"
!searchparse /file "${ZT_EXIT_CODES}" "kExitFolderNotOurs = " EXIT_FOLDER_NOT_OURS ";"
!searchparse /file "${ZT_EXIT_CODES}" "kExitNotRunning = " EXIT_NOT_RUNNING ";"

Var SettingsFile
Var PortName
Var KeyWasThere  ; "1" when the settings key was there before this setup
Var SourceWasThere  ; "1" when the event source was registered before
Var ProgramWasThere  ; "1" when the program was installed in $INSTDIR before
Var ProgramWasEnded  ; "1" when this setup ended the running program

; HKEY_LOCAL_MACHINE as a 64-bit handle value (sign-extended 0x80000002).
!define HKLM_HANDLE -2147483646
!define KEY_WOW64_64KEY 0x0100
!define KEY_SET_VALUE 0x0002
!define FILE_ATTRIBUTE_REPARSE_POINT 0x0400
!define WRITE_DAC 0x00040000
!define DACL_SECURITY_INFORMATION 4
!define SDDL_REVISION_1 1
; SYSTEM and Administrators: full control. Users: read and set values
; (KEY_READ | KEY_SET_VALUE), so that the program saves settings and
; calibrations without elevation. Protected from inherited entries.
!define SETTINGS_SDDL "D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)(A;OICI;0x2001b;;;BU)"

Name "${PRODUCT}"
OutFile "${ZT_OUTFILE}"
InstallDir "$PROGRAMFILES64\Corvantic\ZeltraTouch"
RequestExecutionLevel admin
; A file that cannot be written stops the setup (silent or not) instead of
; being skipped.
AllowSkipFiles off
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${ZT_VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Corvantic"
VIAddVersionKey "LegalCopyright" "Copyright (C) Corvantic"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${ZT_VERSION}"
VIAddVersionKey "ProductVersion" "${ZT_VERSION}"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Leaves the error flag set when the settings value NAME does not exist as
; text or as a number.
!macro ReadSetting NAME
  ClearErrors
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "${NAME}"
  ${If} ${Errors}
    ClearErrors
    ReadRegDWORD $0 HKLM "${SETTINGS_KEY}" "${NAME}"
  ${EndIf}
!macroend

!macro InitialText NAME VALUE
  !insertmacro ReadSetting "${NAME}"
  ${If} ${Errors}
    WriteRegStr HKLM "${SETTINGS_KEY}" "${NAME}" "${VALUE}"
  ${EndIf}
!macroend

!macro InitialNumber NAME VALUE
  !insertmacro ReadSetting "${NAME}"
  ${If} ${Errors}
    WriteRegDWORD HKLM "${SETTINGS_KEY}" "${NAME}" ${VALUE}
  ${EndIf}
!macroend

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; The settings the program reads, where they are not there yet. The title
; is the one the program also uses when the value is missing. The click zone
; extent matches click zone 1. The double-click time and the calibration
; points stay unset: the program then keeps the system's double-click time
; and uses its default calibration.
Function WriteInitialSettings
  !insertmacro InitialText "Port" "COM1"
  !insertmacro InitialText "ZeltraTouch" "TactivoV1.12 "
  !insertmacro InitialNumber "First" 1
  !insertmacro InitialNumber "Right" 0
  !insertmacro InitialNumber "StartUpMode" 0
  !insertmacro InitialNumber "TouchMode" 0
  !insertmacro InitialNumber "DZONE" 1
  !insertmacro InitialNumber "DZoneX" 200
  !insertmacro InitialNumber "DZoneY" 200
  !insertmacro InitialNumber "Beep" 0
  !insertmacro InitialNumber "Freq" 600
  !insertmacro InitialNumber "Duration" 600
FunctionEnd

; Lets ordinary users write the settings key: replaces its access list.
Function OpenSettingsToUsers
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${SETTINGS_SDDL}", i ${SDDL_REVISION_1}, *p .r1, p 0) i .r0'
  ${If} $0 == 0
    DetailPrint "Could not build the access list of the settings key."
    Return
  ${EndIf}
  System::Call 'advapi32::RegOpenKeyExW(p ${HKLM_HANDLE}, w "${SETTINGS_KEY}", i 0, i ${WRITE_DAC}|${KEY_WOW64_64KEY}, *p .r2) i .r0'
  ${If} $0 == 0
    System::Call 'advapi32::RegSetKeySecurity(p r2, i ${DACL_SECURITY_INFORMATION}, p r1) i .r0'
    System::Call 'advapi32::RegCloseKey(p r2)'
  ${EndIf}
  ${If} $0 != 0
    DetailPrint "Could not let users change the settings key (error $0)."
  ${EndIf}
  System::Call 'kernel32::LocalFree(p r1)'
FunctionEnd

; Checks /SETTINGS and /PORT before anything is installed: the program
; checks the file (its /check), from the plug-ins folder. The file's name is
; made full here, against the folder the setup was started from, since the
; program runs in another.
Function CheckPresets
  ${GetParameters} $0
  ${WordReplace} $0 '"/SETTINGS=' '/SETTINGS="' "+" $0
  ClearErrors
  ${GetOptions} $0 "/SETTINGS=" $SettingsFile
  ${If} ${Errors}
    StrCpy $SettingsFile ""
  ${EndIf}
  ${If} $SettingsFile != ""
    System::Call 'kernel32::GetFullPathNameW(w "$SettingsFile", i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
    ${If} $2 <> 0
      StrCpy $SettingsFile $1
    ${EndIf}
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/PORT=" $PortName
  ${If} ${Errors}
    StrCpy $PortName ""
  ${EndIf}
  ${If} $PortName != ""
    StrCpy $1 $PortName 3
    StrCpy $2 $PortName "" 3
    IntOp $3 $2 + 0
    ${If} $1 != "COM"
    ${OrIf} "$3" != "$2"
    ${OrIf} $3 < 1
      SetErrorLevel ${EXIT_BAD_PORT}
      MessageBox MB_ICONSTOP "/PORT=$PortName is not a COM port." /SD IDOK
      Quit
    ${EndIf}
  ${EndIf}
  ${If} $SettingsFile != ""
  ${OrIf} $PortName != ""
    InitPluginsDir
    File "/oname=$PLUGINSDIR\ZeltraTouch.exe" "${ZT_EXE}"
  ${EndIf}
  ${If} $SettingsFile != ""
    StrCpy $0 "error"
    ExecWait '"$PLUGINSDIR\ZeltraTouch.exe" /check "$SettingsFile"' $0
    ${If} $0 != 0
      Call QuitCode
      MessageBox MB_ICONSTOP "The settings file $SettingsFile cannot be read or has a bad line \
          (ZeltraTouch.exe /check names it)." /SD IDOK
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; Whether the settings key and the event source are there already: what
; this setup made is what a failed import takes away again.
Function NoteWhatIsThere
  ClearErrors
  EnumRegValue $0 HKLM "${SETTINGS_KEY}" 0
  ${IfNot} ${Errors}
    StrCpy $KeyWasThere "1"
  ${EndIf}
  ClearErrors
  EnumRegValue $0 HKLM "${EVENTLOG_KEY}" 0
  ${IfNot} ${Errors}
    StrCpy $SourceWasThere "1"
  ${EndIf}
FunctionEnd

; The setup's exit code for the program's exit code $0: the same, or
; "stopped otherwise" when the program did not run at all.
Function QuitCode
  ${If} $0 == "error"
    SetErrorLevel ${EXIT_STOPPED}
  ${Else}
    SetErrorLevel $0
  ${EndIf}
FunctionEnd

; One import of a file through the program (all or nothing); on any exit
; code but 0 the setup stops with that code, the settings as they were.
!macro ImportOrQuit FILE WHAT
  StrCpy $0 "error"
  ExecWait '"$PLUGINSDIR\ZeltraTouch.exe" /import "${FILE}"' $0
  ${If} $0 != 0
    DetailPrint "${WHAT} not imported (exit code $0)."
    Call QuitCode
    MessageBox MB_ICONSTOP "${WHAT} could not be imported (ZeltraTouch.exe /import exit code $0)." /SD IDOK
    Call UndoInstall
    Quit
  ${EndIf}
  DetailPrint "${WHAT} imported."
!macroend

; The settings file, then the port, through the program's import.
Function ImportPresets
  ${If} $SettingsFile != ""
    !insertmacro ImportOrQuit "$SettingsFile" "The settings file $SettingsFile"
  ${EndIf}
  ${If} $PortName != ""
    FileOpen $1 "$PLUGINSDIR\port.conf" w
    FileWrite $1 "Port=$PortName$\r$\n"
    FileClose $1
    !insertmacro ImportOrQuit "$PLUGINSDIR\port.conf" "Port $PortName"
  ${EndIf}
FunctionEnd

; $R1 = "1" when $R0 is a junction or a link, or no folder at all, else "0":
; a folder that leads elsewhere is never opened to users nor emptied.
!macro IsLink UN
  Function ${UN}IsLink
    StrCpy $R1 "1"
    System::Call 'kernel32::GetFileAttributesW(w "$R0") i .r9'
    ${If} $9 != -1
      IntOp $9 $9 & ${FILE_ATTRIBUTE_REPARSE_POINT}
      ${If} $9 == 0
      ${AndIf} ${FileExists} "$R0\*.*"
        StrCpy $R1 "0"
      ${EndIf}
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro IsLink ""
!insertmacro IsLink "un."

; Runs $1 unless an earlier step failed ($R1 = "1"); a failure sets $R1.
!macro RunStep UN
  Function ${UN}RunStep
    ${If} $R1 == "0"
      nsExec::ExecToLog $1
      Pop $0
      ${If} $0 != 0
        DetailPrint "Failed ($0): $1"
        StrCpy $R1 "1"
      ${EndIf}
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro RunStep ""
!insertmacro RunStep "un."

; Folder $R0, made or taken over: owned by Administrators, its list replaced
; (users may read it only; whatever a user granted is gone), and no link, checked again once users can no
; longer change it. A user may have made it first (users may make folders
; in %ProgramData% and own what they make). $R1 = "0" when it is ours.
!macro TakeFolder UN
  Function ${UN}TakeFolder
    CreateDirectory "$R0"
    Call ${UN}IsLink
    StrCpy $1 '"$SYSDIR\takeown.exe" /F "$R0" /A'
    Call ${UN}RunStep
    ; Owned first: the owner may rewrite a list that shuts Administrators
    ; out. Then every entry a user added goes (/reset), then the inherited.
    StrCpy $1 '"$SYSDIR\icacls.exe" "$R0" /reset /L'
    Call ${UN}RunStep
    StrCpy $1 '"$SYSDIR\icacls.exe" "$R0" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)(F) \
        *S-1-5-32-544:(OI)(CI)(F) *S-1-5-32-545:(OI)(CI)(RX) /L'
    Call ${UN}RunStep
    ${If} $R1 == "0"
      Call ${UN}IsLink
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro TakeFolder ""
!insertmacro TakeFolder "un."

; The folder for the metrics file (Metrics=), ours alone: the program runs
; as the logged-on user and replaces its file atomically (writes NAME.new
; beside it, renames it over NAME). Both folders taken over, the metrics
; folder emptied (files only: a link is deleted, never followed; anything
; else left fails), then Users may add files to it (WD, not AD: no
; subfolders) and modify or delete the files in it (inherited by files only,
; no further); the owner of a file (OWNER RIGHTS) may not change its list.
; Nothing is ever granted on a folder the settings name: those are the
; operator's. $R1 = "0" when done.
!macro MakeMetricsFolder UN
  Function ${UN}MakeMetricsFolder
    StrCpy $R0 "${DATA_DIR}"
    Call ${UN}TakeFolder
    ${If} $R1 == "0"
      StrCpy $R0 "${METRICS_DIR}"
      Call ${UN}TakeFolder
    ${EndIf}
    ${If} $R1 == "0"
      Delete "${METRICS_DIR}\*.*"
      FindFirst $2 $3 "${METRICS_DIR}\*.*"
      ${DoWhile} $3 != ""
        ${If} $3 != "."
        ${AndIf} $3 != ".."
          DetailPrint "${METRICS_DIR}\$3 was not made by this setup."
          StrCpy $R1 "1"
        ${EndIf}
        FindNext $2 $3
      ${Loop}
      FindClose $2
    ${EndIf}
    StrCpy $1 '"$SYSDIR\icacls.exe" "${METRICS_DIR}" /grant *S-1-5-32-545:(WD) \
        *S-1-5-32-545:(OI)(IO)(NP)(M) *S-1-3-4:(OI)(IO)(NP)(M) /L'
    Call ${UN}RunStep
  FunctionEnd
!macroend
!insertmacro MakeMetricsFolder ""
!insertmacro MakeMetricsFolder "un."

; The setup stops before it changes anything else when the metrics folder
; cannot be made its own.
Function MakeMetricsFolderOrQuit
  Call MakeMetricsFolder
  ${If} $R1 != "0"
    SetErrorLevel ${EXIT_FOLDER_NOT_OURS}
    MessageBox MB_ICONSTOP "${METRICS_DIR} cannot be made the setup's own: it leads elsewhere or \
        its owner or access list cannot be set." /SD IDOK
    ${If} $ProgramWasEnded == "1"
      Call StartProgram
    ${EndIf}
    Quit
  ${EndIf}
FunctionEnd

; The settings key, empty, where it is not there yet: the import writes
; into an existing key.
Function MakeSettingsKey
  ${If} $KeyWasThere == "1"
    Return
  ${EndIf}
  System::Call 'advapi32::RegCreateKeyExW(p ${HKLM_HANDLE}, w "${SETTINGS_KEY}", i 0, p 0, i 0, \
      i ${KEY_SET_VALUE}|${KEY_WOW64_64KEY}, p 0, *p .r1, p 0) i .r0'
  ${If} $0 == 0
    System::Call 'advapi32::RegCloseKey(p r1)'
  ${EndIf}
FunctionEnd

; After a failed import (the settings are as they were): takes away the
; settings key and the event source where this setup made them, and the
; files of a first install; an update keeps its new files and starts the
; program again.
Function UndoInstall
  ${If} $KeyWasThere != "1"
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
  ${EndIf}
  ${If} $SourceWasThere != "1"
    DeleteRegKey HKLM "${EVENTLOG_KEY}"
  ${EndIf}
  ${If} $ProgramWasThere == "1"
    Call StartProgram
    Return
  ${EndIf}
  Call RemoveProgramFiles
FunctionEnd

; The files of a first install, as far as they were written, and the
; metrics folder while it is empty.
Function RemoveProgramFiles
  Delete "$INSTDIR\ZeltraTouch.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "${METRICS_DIR}"
  RMDir "${DATA_DIR}"
FunctionEnd

; $R0 = "1" once $INSTDIR\ZeltraTouch.exe can be written (no process runs
; it), waiting at most 10 s: an ended process holds its file a moment longer.
!macro WaitForProgramFile UN
  Function ${UN}WaitForProgramFile
    StrCpy $R0 "1"
    ${IfNot} ${FileExists} "$INSTDIR\ZeltraTouch.exe"
      Return
    ${EndIf}
    ${For} $1 1 100
      ClearErrors
      FileOpen $2 "$INSTDIR\ZeltraTouch.exe" a
      ${IfNot} ${Errors}
        FileClose $2
        Return
      ${EndIf}
      Sleep 100
    ${Next}
    StrCpy $R0 "0"
  FunctionEnd
!macroend
!insertmacro WaitForProgramFile ""
!insertmacro WaitForProgramFile "un."

; Ends the running program, as the setup and the uninstaller must: its file
; cannot be replaced while it runs, and an import would reach the running
; program instead of the key. First asked with /quit by $R0 (a program that
; knows it), so that it ends as its own exit does: its last metrics say the
; link is down and its last touch is stored. Only what still runs then (in
; another session, or not answering) is ended by force. $ProgramWasEnded =
; "1" when a program ran.
!macro EndProgram UN
  Function ${UN}EndProgram
    nsExec::Exec '"$R0" /quit'
    Pop $0
    DetailPrint "ZeltraTouch.exe /quit: exit code $0."
    ${If} $0 != ${EXIT_NOT_RUNNING}
      StrCpy $ProgramWasEnded "1"
    ${EndIf}
    Call ${UN}WaitForProgramFile
    nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM ZeltraTouch.exe'
    Pop $0
    ${If} $0 == 0
      StrCpy $ProgramWasEnded "1"
      Call ${UN}WaitForProgramFile
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro EndProgram ""
!insertmacro EndProgram "un."

; The setup runs elevated (.onInit checks it): a plain start would run the
; program elevated as the installing administrator, in the installing
; session (over remote desktop, a session away from the touch screen). The
; program starts itself for the user logged on at the machine's console, in
; that user's session, unelevated (unless it runs already, in any session);
; with nobody there, the start at logon serves.
Function StartProgram
  nsExec::ExecToLog '"$INSTDIR\ZeltraTouch.exe" /startforuser'
  Pop $0
  DetailPrint "Start for the logged-on user: exit code $0."
FunctionEnd

Section "ZeltraTouch (required)" SecProgram
  SectionIn RO
  ${If} ${FileExists} "$INSTDIR\ZeltraTouch.exe"
    StrCpy $ProgramWasThere "1"
  ${EndIf}
  InitPluginsDir
  File "/oname=$PLUGINSDIR\ZeltraTouch.exe" "${ZT_EXE}"
  StrCpy $R0 "$PLUGINSDIR\ZeltraTouch.exe"
  ; Ended first: a program still writing its metrics file would hold the
  ; folder the setup empties and takes over.
  Call EndProgram
  Call MakeMetricsFolderOrQuit
  ; A file that cannot be written aborts the setup with this code.
  SetErrorLevel ${EXIT_PROGRAM_FILE_FAILED}
  SetOutPath "$INSTDIR"
  File "/oname=ZeltraTouch.exe" "${ZT_EXE}"
  File "/oname=LICENSE.txt" "${ZT_LICENSE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  SetErrorLevel 0

  Call MakeSettingsKey
  Call ImportPresets
  Call WriteInitialSettings
  Call OpenSettingsToUsers
  WriteRegExpandStr HKLM "${EVENTLOG_KEY}" "EventMessageFile" "$INSTDIR\ZeltraTouch.exe"
  WriteRegDWORD HKLM "${EVENTLOG_KEY}" "TypesSupported" 7

  CreateDirectory "${STARTMENU_DIR}"
  CreateShortcut "${STARTMENU_DIR}\ZeltraTouch.lnk" "$INSTDIR\ZeltraTouch.exe"
  CreateShortcut "${STARTMENU_DIR}\Uninstall ZeltraTouch.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${ZT_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Corvantic"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ZeltraTouch.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Start at logon" SecAutostart
  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\ZeltraTouch.exe"'
SectionEnd

Section "-Start"
  Call StartProgram
SectionEnd

; A file that could not be written stopped the setup: a first install
; leaves nothing behind; the program an update ended runs again.
Function .onInstFailed
  ${If} $ProgramWasThere != "1"
    Call RemoveProgramFiles
  ${ElseIf} $ProgramWasEnded == "1"
    Call StartProgram
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 64
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    SetErrorLevel ${EXIT_STOPPED}
    MessageBox MB_ICONSTOP "The setup must be run as an administrator." /SD IDOK
    Quit
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
  Call CheckPresets
  Call NoteWhatIsThere
FunctionEnd

; The metrics folder is made ours again, which empties it: a metrics file
; left behind would report the unit's last state for ever. With the settings
; it goes too. Nothing is deleted in a folder that is not ours.
Function un.RemoveMetrics
  System::Call 'kernel32::GetFileAttributesW(w "${DATA_DIR}") i .r0'
  ${If} $0 == -1
    Return
  ${EndIf}
  Call un.MakeMetricsFolder
  ${If} $R1 != "0"
    DetailPrint "${METRICS_DIR} is not the setup's own: nothing deleted in it."
    SetErrorLevel ${EXIT_FOLDER_NOT_OURS}
  ${ElseIf} $R2 == "1"
    RMDir "${METRICS_DIR}"
    RMDir "${DATA_DIR}"
  ${EndIf}
FunctionEnd

; The settings (port, calibration) go when the user says so, or with
; /REMOVESETTINGS; a silent uninstall keeps them otherwise.
Section "Uninstall"
  StrCpy $R0 "$INSTDIR\ZeltraTouch.exe"
  Call un.EndProgram
  StrCpy $R2 "0"
  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  IfErrors 0 removeSettings
  IfSilent keepSettings
  MessageBox MB_YESNO|MB_ICONQUESTION "Remove the settings and the calibration too?" IDNO keepSettings
  removeSettings:
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
    StrCpy $R2 "1"
  keepSettings:
  Call un.RemoveMetrics
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${EVENTLOG_KEY}"

  Delete "${STARTMENU_DIR}\ZeltraTouch.lnk"
  Delete "${STARTMENU_DIR}\Uninstall ZeltraTouch.lnk"
  RMDir "${STARTMENU_DIR}"

  Delete "$INSTDIR\ZeltraTouch.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Corvantic"
SectionEnd
