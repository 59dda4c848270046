; Installer of Telvaro for 64-bit Windows. Built by the "installer" target of the Windows build:
; makensis -DVERSION=... -DSTAGE=<installed tree> -DICON=<telvaro.ico> -DOUTFILE=<setup.exe>
; Installs into C:\Program Files\Telvaro, adds a Start-menu entry and an uninstall entry. Silent
; install and uninstall with /S. The setup files under Public Documents\MERVANE belong to the user
; and to other programs: neither the installer nor the uninstaller touches them.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Telvaro"

Name "Telvaro ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\Telvaro"
ShowInstDetails nevershow
ShowUninstDetails nevershow

LoadLanguageFile "${NSISDIR}\Contrib\Language files\German.nlf"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Telvaro"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "$SMPROGRAMS\Telvaro"
    CreateShortcut "$SMPROGRAMS\Telvaro\Telvaro.lnk" "$INSTDIR\bin\telvaro.exe" "" "$INSTDIR\bin\telvaro.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Telvaro ${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Telvaro Entwicklung"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bin\telvaro.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Telvaro\Telvaro.lnk"
    RMDir "$SMPROGRAMS\Telvaro"
    ; Only what the installer put here.
    RMDir /r "$INSTDIR\bin"
    RMDir /r "$INSTDIR\plugins"
    RMDir /r "$INSTDIR\translations"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
