; The installer of Nimbrel for Windows: a per-user installation without
; administrator rights, in English or Japanese by the user's language.
;
; Built by packaging/windows/CMakeLists.txt, which defines
;   NIMBREL_VERSION    the version of CMakeLists.txt, as 1.2.3
;   NIMBREL_FILES      the generated list of the shipped files (files.nsh),
;                      with the macros NimbrelInstallFiles and
;                      NimbrelUninstallFiles
;   NIMBREL_LICENSE    the licence shown on the licence page
;   NIMBREL_ICON       the program's icon
;   NIMBREL_OUTFILE    the installer to write
;
; Silent use, for administrators: setup.exe /S [/D=FOLDER] installs with the
; defaults (the screen saver made the current one); uninstall.exe /S removes.

Unicode true
Target amd64-unicode
!pragma warning error all

!include MUI2.nsh
!include LogicLib.nsh
!include "${NIMBREL_FILES}"

!define SETTINGS_KEY "Software\Orv\Nimbrel\Settings"
!define DESKTOP_KEY "Control Panel\Desktop"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Nimbrel"
!define START_MENU "$SMPROGRAMS\Nimbrel"
; Scene files, opened by the explorer: the user's own classes, which Windows
; merges over the machine's.
!define CLASSES "Software\Classes"
!define PROGID "Nimbrel.Scene"
!define USER_CHOICE "Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.mrp\UserChoice"
!define OPEN_COMMAND '"$INSTDIR\nimbrel-explore.exe" "%1"'
!define SHCNE_ASSOCCHANGED 0x08000000
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_UPDATEINIFILE_SENDCHANGE 3

Name "Nimbrel"
OutFile "${NIMBREL_OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Nimbrel"
; An upgrade goes where the installed version is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
ManifestDPIAware true
BrandingText "Nimbrel ${NIMBREL_VERSION}"

VIProductVersion "${NIMBREL_VERSION}.0"
VIFileVersion "${NIMBREL_VERSION}.0"

!define MUI_ICON "${NIMBREL_ICON}"
!define MUI_UNICON "${NIMBREL_ICON}"
!define MUI_ABORTWARNING
; The descriptions below the list, which then shows the options' names whole.
!define MUI_COMPONENTSPAGE_SMALLDESC

!insertmacro MUI_PAGE_LICENSE "${NIMBREL_LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for a user whose language is neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

VIAddVersionKey /LANG=0 "ProductName" "Nimbrel"
VIAddVersionKey /LANG=0 "CompanyName" "Orv"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (C) 2026 Orv"
VIAddVersionKey /LANG=0 "FileDescription" "Nimbrel setup"
VIAddVersionKey /LANG=0 "FileVersion" "${NIMBREL_VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${NIMBREL_VERSION}"

LangString NameProgram ${LANG_ENGLISH} "Nimbrel"
LangString NameProgram ${LANG_JAPANESE} "Nimbrel"
LangString DescProgram ${LANG_ENGLISH} "The screen saver, the explorer, the sample scenes and palettes, and shortcuts in the Start menu."
LangString DescProgram ${LANG_JAPANESE} "スクリーンセーバー本体、エクスプローラー、サンプルのシーンとパレット、スタートメニューのショートカット。"
LangString NameScenes ${LANG_ENGLISH} "Open scene files (.mrp) in the explorer"
LangString NameScenes ${LANG_JAPANESE} "シーンのファイル (.mrp) をエクスプローラーで開く"
LangString DescScenes ${LANG_ENGLISH} "A double click on a scene file opens it in the Nimbrel explorer, unless another program opens scene files already."
LangString DescScenes ${LANG_JAPANESE} "シーンのファイルをダブルクリックすると Nimbrel エクスプローラーで開きます。ほかのプログラムが開くことになっていれば変えません。"
LangString NameSaver ${LANG_ENGLISH} "Make Nimbrel the current screen saver"
LangString NameSaver ${LANG_JAPANESE} "Nimbrel を現在のスクリーンセーバーにする"
LangString DescSaver ${LANG_ENGLISH} "Windows shows Nimbrel when the computer is idle."
LangString DescSaver ${LANG_JAPANESE} "コンピューターを使っていないとき、Windows が Nimbrel を表示します。"
LangString NameJourney ${LANG_ENGLISH} "Zoom into every scene"
LangString NameJourney ${LANG_JAPANESE} "場面ごとにズームする"
LangString DescJourney ${LANG_ENGLISH} "Every picture is reached by a smooth zoom from the whole set (unless a choice is stored already)."
LangString DescJourney ${LANG_JAPANESE} "どの絵も全体図からなめらかにズームして現れます（設定が既にあるときはそのまま）。"

Section "!$(NameProgram)" SecProgram
  SectionIn RO
  !insertmacro NimbrelInstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The gallery, unless the user has chosen scenes or palettes: an empty
  ; value is what a start without settings leaves behind.
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "MrpFile"
  ${If} $0 == ""
    WriteRegStr HKCU "${SETTINGS_KEY}" "MrpFile" "$INSTDIR\gallery\scenes.mrp"
  ${EndIf}
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "McfFolder"
  ${If} $0 == ""
    WriteRegStr HKCU "${SETTINGS_KEY}" "McfFolder" "$INSTDIR\gallery\palettes"
  ${EndIf}

  ; The shortcuts start in the installation folder.
  SetOutPath "$INSTDIR"
  CreateDirectory "${START_MENU}"
  CreateShortcut "${START_MENU}\Nimbrel settings.lnk" "$INSTDIR\Nimbrel.scr" "/c"
  CreateShortcut "${START_MENU}\Nimbrel preview.lnk" "$INSTDIR\Nimbrel.scr" "/s"
  CreateShortcut "${START_MENU}\Nimbrel explorer.lnk" "$INSTDIR\nimbrel-explore.exe"
  CreateShortcut "${START_MENU}\Uninstall Nimbrel.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Nimbrel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${NIMBREL_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Orv"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Nimbrel.scr,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ; The size of the shipped files in KiB, not of whatever else the folder holds.
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; As Windows' own "Install" command on a screen saver does: the short path,
; and the screen saver switched on for the running session too.
Section "$(NameSaver)" SecSaver
  GetFullPathName /SHORT $0 "$INSTDIR\Nimbrel.scr"
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $0
  System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_UPDATEINIFILE_SENDCHANGE})'
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
SectionEnd

; Scene files open in the explorer, for this user, unless another program
; has them: the extension names another class, or the user chose another
; program for it. An earlier installation's class is ours to renew.
Section "$(NameScenes)" SecScenes
  ; The user's class, else the machine's: what Windows merges into HKCR.
  ReadRegStr $0 HKCU "${CLASSES}\.mrp" ""
  ${If} $0 == ""
    ReadRegStr $0 HKLM "${CLASSES}\.mrp" ""
  ${EndIf}
  ReadRegStr $1 HKCU "${USER_CHOICE}" "ProgId"
  StrCpy $2 1
  ${If} $0 != ""
  ${AndIf} $0 != "${PROGID}"
    StrCpy $2 0
  ${EndIf}
  ${If} $1 != ""
  ${AndIf} $1 != "${PROGID}"
    StrCpy $2 0
  ${EndIf}
  ${If} $2 == 1
    WriteRegStr HKCU "${CLASSES}\.mrp" "" "${PROGID}"
    WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "Nimbrel scene file"
    WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\nimbrel-explore.exe,0"
    WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '${OPEN_COMMAND}'
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
  ${EndIf}
SectionEnd

; Journeys on for a user who has made no choice yet; a stored one stays.
Section "$(NameJourney)" SecJourney
  ClearErrors
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "Journey"
  ${If} ${Errors}
    WriteRegStr HKCU "${SETTINGS_KEY}" "Journey" "1"
  ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DescProgram)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecSaver} $(DescSaver)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecScenes} $(DescScenes)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecJourney} $(DescJourney)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Removes what the installer put there and nothing else: files the user added
; keep their folder; the settings stay for a later installation.
Section "Uninstall"
  ; While our file is there to have a short path: the screen saver is cleared
  ; only when it is still ours.
  GetFullPathName /SHORT $1 "$INSTDIR\Nimbrel.scr"
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  StrCpy $2 0
  ${If} $0 == "$INSTDIR\Nimbrel.scr"
    StrCpy $2 1
  ${ElseIf} $1 != ""
  ${AndIf} $0 == $1
    StrCpy $2 1
  ${EndIf}
  ${If} $2 == 1
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${EndIf}

  ; Scene files stop opening in this explorer: the extension only when it
  ; still names our class, the class only when it still opens this one.
  ReadRegStr $0 HKCU "${CLASSES}\.mrp" ""
  ${If} $0 == "${PROGID}"
    DeleteRegValue HKCU "${CLASSES}\.mrp" ""
    DeleteRegKey /ifempty HKCU "${CLASSES}\.mrp"
  ${EndIf}
  ReadRegStr $0 HKCU "${CLASSES}\${PROGID}\shell\open\command" ""
  ${If} $0 == '${OPEN_COMMAND}'
    DeleteRegKey HKCU "${CLASSES}\${PROGID}"
  ${EndIf}
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

  !insertmacro NimbrelUninstallFiles
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${START_MENU}\Nimbrel settings.lnk"
  Delete "${START_MENU}\Nimbrel preview.lnk"
  Delete "${START_MENU}\Nimbrel explorer.lnk"
  Delete "${START_MENU}\Uninstall Nimbrel.lnk"
  RMDir "${START_MENU}"

  ; Last: the entry's absence tells that the uninstallation has finished.
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
