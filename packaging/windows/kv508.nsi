; The Windows installer: makensis -DVERSION=1.0.0 -DSTAGE=DIR -DOUTFILE=FILE kv508.nsi
; (packaging/windows/make-installer does this). STAGE holds the stripped
; programs, the icon, the texts and the command prompt's script.
;
; Per user, without administrator rights, into %LOCALAPPDATA%\Programs\kv508;
; for all users into Program Files when started elevated (/CURRENTUSER keeps
; it per user even then). An older version is replaced where it is. /S is
; silent. The uninstaller keeps the user's records and settings
; (%APPDATA%\kv508) unless asked: its page has a box for them, /PURGE silently.
; A 64-bit installer: the programs are 64-bit, and so it runs under a wine64 alone.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef VERSION | STAGE | OUTFILE
  !error "makensis -DVERSION=... -DSTAGE=... -DOUTFILE=... kv508.nsi"
!endif

!define PRODUCT "KV508 I"
!define PUBLISHER "The KV508 tool developers"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\kv508"
!define SETTINGS_DIR "$APPDATA\kv508"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "KV508 I configuration tool"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "KV508 I configuration tool setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}. GPL-3.0-or-later."

!define MUI_ICON "${STAGE}\kv508.ico"
!define MUI_UNICON "${STAGE}\kv508.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\kv508.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
; The tool's GPL and, above it, what Qt's LGPL asks of a static program.
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE-page.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var AllUsers

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  ; Elevated means for everyone; a plain user installs for themself.
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${EndIf}
  ; /D= from the command line arrives in $INSTDIR before this.
  StrCpy $R9 $INSTDIR
  ${If} $AllUsers == 1
    SetShellVarContext all
    StrCpy $INSTDIR "$PROGRAMFILES64\kv508"
  ${Else}
    SetShellVarContext current
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\kv508"
  ${EndIf}
  ; An older version is upgraded where it is.
  ReadRegStr $R2 SHCTX "${UNINST_KEY}" "InstallLocation"
  ${If} $R2 != ""
    StrCpy $INSTDIR $R2
  ${EndIf}
  ${If} $R9 != ""
    StrCpy $INSTDIR $R9
  ${EndIf}
FunctionEnd

Section "Programs" SecPrograms
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\kv508.exe"
  File "${STAGE}\kv508ctl.exe"
  File "${STAGE}\kv508ctl-records.exe"
  File "${STAGE}\kv508-prompt.cmd"
  File "${STAGE}\kv508.ico"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\LICENSE-Qt-LGPL-3.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\KV508"
  CreateShortCut "$SMPROGRAMS\KV508\KV508 I.lnk" "$INSTDIR\kv508.exe" "" "$INSTDIR\kv508.exe" 0 \
    SW_SHOWNORMAL "" "Configure and calibrate the KV508 I transmitter"
  ; A Command Prompt with kv508ctl.exe on its PATH, in the user's folder.
  CreateShortCut "$SMPROGRAMS\KV508\KV508 command prompt.lnk" "$SYSDIR\cmd.exe" \
    '/k "$INSTDIR\kv508-prompt.cmd"' "$INSTDIR\kv508ctl.exe" 0 SW_SHOWNORMAL "" "kv508ctl.exe in a Command Prompt"
  CreateShortCut "$SMPROGRAMS\KV508\Uninstall KV508 I.lnk" "$INSTDIR\uninstall.exe"

  ; Windows' installed-apps list: version, publisher, size, the uninstaller.
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "${PRODUCT} configuration tool"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\kv508.exe,0"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr SHCTX "${UNINST_KEY}" "URLInfoAbout" "https://github.com/kv508/kv508"
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" "$0"
SectionEnd


Section "un.Programs" SecUnPrograms
  SectionIn RO
  Delete "$INSTDIR\kv508.exe"
  Delete "$INSTDIR\kv508ctl.exe"
  Delete "$INSTDIR\kv508ctl-records.exe"
  Delete "$INSTDIR\kv508-prompt.cmd"
  Delete "$INSTDIR\kv508.ico"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\LICENSE-Qt-LGPL-3.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\KV508\KV508 I.lnk"
  Delete "$SMPROGRAMS\KV508\KV508 command prompt.lnk"
  Delete "$SMPROGRAMS\KV508\Uninstall KV508 I.lnk"
  RMDir "$SMPROGRAMS\KV508"
  DeleteRegKey SHCTX "${UNINST_KEY}"
SectionEnd

; Calibration records and settings are the user's: kept unless chosen here.
Section /o "un.My calibration records and settings" SecPurge
  SetShellVarContext current
  RMDir /r "${SETTINGS_DIR}"
SectionEnd

Function un.onInit
  SetRegView 64
  ; Installed for everyone when the machine-wide entry names this folder.
  ReadRegStr $R0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $R0 == $INSTDIR
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${GetParameters} $R1
  ClearErrors
  ${GetOptions} $R1 "/PURGE" $R2
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPurge}
  ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUnPrograms} "kv508.exe, kv508ctl.exe and the Start-menu entries."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPurge} "Also delete ${SETTINGS_DIR}: the calibration records, their certificates' data and the tool's settings. They cannot be recovered."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
