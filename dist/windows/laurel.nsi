; The Windows installer of laurel, made by tools/windows/package with makensis:
;   makensis -INPUTCHARSET UTF8 -DVERSION=... -DSOURCE=<program folder> -DOUTFILE=<installer>
;            -DFILES=<files.nsh> -DUNFILES=<unfiles.nsh> laurel.nsi
; SOURCE is the whole program folder; FILES and UNFILES name what it holds, so that the uninstaller
; removes only what was installed. Every user's database and data source stay.

; A 64-bit installer, as the program is: it runs on every Windows the program runs on, and sees the
; registry and Program Files as the program does.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!include "MUI2.nsh"

!define PRODUCT "省科学技术奖推荐系统"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\laurel"
!define DRIVER "SQLite3 ODBC Driver"
!define DRIVER_KEY "SOFTWARE\ODBC\ODBCINST.INI\${DRIVER}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\laurel"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "laurel ${VERSION}"

!define MUI_ICON "${SOURCE}/laurel.ico"
!define MUI_UNICON "${SOURCE}/laurel.ico"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; Removes the registration "${DRIVER}" when its driver is this folder's copy, which only an earlier
; installer of this program wrote; another program's stays as it is.
!macro DropOwnDriverName un
Function ${un}DropOwnDriverName
    ReadRegStr $0 HKLM "${DRIVER_KEY}" "Driver"
    StrCmp $0 "$INSTDIR\sqlite3odbc.dll" 0 done
    DeleteRegKey HKLM "${DRIVER_KEY}"
    DeleteRegValue HKLM "SOFTWARE\ODBC\ODBCINST.INI\ODBC Drivers" "${DRIVER}"
done:
FunctionEnd
!macroend
!insertmacro DropOwnDriverName ""
!insertmacro DropOwnDriverName "un."

Section "laurel"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tallowmere.exe" "" "$INSTDIR\tallowmere.exe" 0

    ; The SQLite ODBC driver that comes with the program is registered under no name: each user's
    ; data source "laurel" names its file, so that a driver of the same name that another program
    ; registered stays that program's. An earlier version registered it as "${DRIVER}"; that
    ; registration goes where it names this folder's copy, and only there.
    Call DropOwnDriverName

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tallowmere.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ; What was installed goes, and the folders once empty; anything else stays. Each user's
    ; database under %LOCALAPPDATA%\laurel and the data source that names it stay.
    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    Call un.DropOwnDriverName
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
