; The installer of Orvid and Orlet, built by tools/package with makensis:
;   makensis -DVERSION=X.Y.Z -DSTAGE=DIR -DOUTFILE=FILE -DICON=FILE.ico Setup.nsi
; STAGE holds the programs, README.txt, LICENSE.txt and programs.nsh, which tools/package
; writes from its list of programs (the macros INSTALL_PROGRAMS and REMOVE_PROGRAMS).
;
; A per-user install: no administrator rights, into the user's own programs folder, with
; Start-menu shortcuts and an entry in the user's list of installed programs. /S installs
; and uninstalls silently. The uninstaller asks before it removes the saved sites and
; settings; silently it keeps them.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "Orvid"
!define PUBLISHER "The Orvid developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The key of the programs' own settings and saved sites.
!define SETTINGS_KEY "Software\FTPClient"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!include "MUI2.nsh"
!include "${STAGE}\programs.nsh"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}, MIT licence"

!define MUI_FINISHPAGE_RUN "$INSTDIR\Orvid.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetShellVarContext current
FunctionEnd

Function un.onInit
    SetShellVarContext current
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File "${STAGE}\README.txt"
    File "${STAGE}\LICENSE.txt"
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    !insertmacro INSTALL_PROGRAMS
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\Uninstall.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Orvid.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    !insertmacro REMOVE_PROGRAMS
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\Uninstall.exe"
    ; Only if empty: the user may have put files of their own there.
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"

    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
        "Also remove your saved sites and settings?$\r$\n$\r$\nThey are kept in the registry under HKEY_CURRENT_USER\${SETTINGS_KEY}. Keep them if you will install ${PRODUCT} again." \
        /SD IDNO IDYES removeSettings
    Goto done
removeSettings:
    DeleteRegKey HKCU "${SETTINGS_KEY}"
done:
SectionEnd
