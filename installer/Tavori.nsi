; Tavori's installer: a per-user install (no administrator rights), because the driver keeps its
; settings, calibrations and flash store beside the executable and so needs a folder the user can write.
;
; makensis -DVERSION=x.y.z -DPROGRAM64=<64-bit program folder> [-DPROGRAM32=<32-bit program folder>]
;          -DOUTFILE=<setup.exe> Tavori.nsi
; A program folder holds Tavori.exe, Lang\, guide\ and tools\. Without PROGRAM32 the installer
; refuses to run on 32-bit Windows.
;
; Silent use: Tavori-setup.exe /S [/NOLOGON] [/D=folder]   Uninstall.exe /S [/PURGE]
; /PURGE also removes Tavori.ini, Calibration.ini, CameraFlash.bin and VirtualCamera.ini, which are
; kept otherwise.
;
; The shipped installer is 32-bit so that it runs on every Windows and picks the program by the OS.
; -DTARGET=amd64-unicode builds the same installer as a 64-bit program, for the tests under a
; 64-bit-only Wine.

!ifdef TARGET
  Target ${TARGET}
!endif
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include WinMessages.nsh

!ifndef VERSION | PROGRAM64 | OUTFILE
  !error "VERSION, PROGRAM64 and OUTFILE must be defined"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavori"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MAIN_WINDOW "Tavori Driver window"
!define CMD_QUIT 2035

Name "Tavori ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tavori"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Tavori ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Tavori"
VIAddVersionKey /LANG=1033 "FileDescription" "Tavori ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" ""

!define MUI_ICON "../res/icons/Tavori.ico"
!define MUI_UNICON "../res/icons/Tavori.ico"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tavori.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\guide\index.html"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The installer speaks the languages the program ships in; Windows' display language picks one.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "Russian"
!insertmacro MUI_LANGUAGE "Japanese"
!include "Strings.nsh"

; Tavori holds its executable open while it runs: ask the running copy to quit, as its tray menu would.
!macro CLOSE_RUNNING_TAVORI un
Function ${un}CloseRunningTavori
  FindWindow $0 "#32770" "${MAIN_WINDOW}"
  ${If} $0 == 0
    Return
  ${EndIf}
  SendMessage $0 ${WM_COMMAND} ${CMD_QUIT} 0 /TIMEOUT=3000
  ${For} $1 1 50
    Sleep 100
    FindWindow $0 "#32770" "${MAIN_WINDOW}"
    ${If} $0 == 0
      Return
    ${EndIf}
  ${Next}
  MessageBox MB_OK|MB_ICONSTOP "$(StillRunning)" /SD IDOK
  Abort
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_TAVORI ""
!insertmacro CLOSE_RUNNING_TAVORI "un."

Section "!$(SecProgramName)" SecProgram
  SectionIn RO
  Call CloseRunningTavori
  SetOutPath "$INSTDIR"
  ; The program's own files only: Tavori.ini, Calibration.ini and CameraFlash.bin belong to the
  ; user and are never shipped, so an upgrade leaves them as they are.
  RMDir /r "$INSTDIR\Lang"
  RMDir /r "$INSTDIR\guide"
  !ifdef PROGRAM32
    ${If} ${RunningX64}
      File /r "${PROGRAM64}\*.*"
    ${Else}
      File /r "${PROGRAM32}\*.*"
    ${EndIf}
  !else
    File /r "${PROGRAM64}\*.*"
  !endif
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tavori"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Tavori"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tavori.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "$(SecStartMenuName)" SecStartMenu
  CreateShortCut "$SMPROGRAMS\Tavori.lnk" "$INSTDIR\Tavori.exe"
SectionEnd

Section "$(SecLogonName)" SecLogon
  WriteRegStr HKCU "${RUN_KEY}" "Tavori" '"$INSTDIR\Tavori.exe"'
SectionEnd

; An upgrade without the optional parts takes away what an earlier install put there.
Section "-Unselected"
  ${IfNot} ${SectionIsSelected} ${SecStartMenu}
    Delete "$SMPROGRAMS\Tavori.lnk"
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecLogon}
    DeleteRegValue HKCU "${RUN_KEY}" "Tavori"
  ${EndIf}
SectionEnd

Section "!un.$(SecProgramName)" SecUnProgram
  SectionIn RO
  Call un.CloseRunningTavori
  Delete "$INSTDIR\Tavori.exe"
  RMDir /r "$INSTDIR\Lang"
  RMDir /r "$INSTDIR\guide"
  RMDir /r "$INSTDIR\tools"
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$SMPROGRAMS\Tavori.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Tavori"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.$(SecPurgeName)" SecPurge
  Delete "$INSTDIR\Tavori.ini"
  Delete "$INSTDIR\Calibration.ini"
  Delete "$INSTDIR\CameraFlash.bin"
  Delete "$INSTDIR\VirtualCamera.ini"
SectionEnd

Section "-un.Folder"
  RMDir "$INSTDIR"  ; only when nothing of the user's is left in it
SectionEnd

; After the sections, whose index constants they use.
Function .onInit
  !ifndef PROGRAM32
    ${IfNot} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "$(No32Bit)" /SD IDOK
      Abort
    ${EndIf}
  !endif
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/NOLOGON" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecLogon}
  ${EndIf}
FunctionEnd

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PURGE" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPurge}
  ${EndIf}
FunctionEnd
