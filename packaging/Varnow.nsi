; The Varnow installer: per user, no administrator rights, Japanese (English
; where Windows is not Japanese). scripts/package.sh builds it with
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSTAGE=<folder> -DOUTFILE=<exe>
; where the stage folder holds Varnow.exe, Varnow.html and LICENSE.txt.
;
; Silent use: Varnow-x.y.z-setup.exe /S [/AUTOSTART=1|0] [/D=folder]
;             Uninstall.exe /S (keeps the settings)
; Exit code 2 when Varnow.exe is running and the user (or /S) cancels.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT "Varnow"
!define PUBLISHER "Brenholt"
!define PROGRAM "Varnow.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Where the program keeps its settings (maker key, then the executable's name).
!define SETTINGS_KEY "Software\${PUBLISHER}\${PRODUCT}"
!define AUTOSTART_LINK "$SMSTARTUP\${PRODUCT}.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade goes where the earlier copy is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PUBLISHER}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1041 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1041 "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1041 "LegalCopyright" "Copyright © 2026 ${PUBLISHER}"

!define MUI_ICON "../res/Varnow.ico"
!define MUI_UNICON "../res/Varnow.ico"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM}"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Varnow.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(OpenManualText)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for systems that match neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString WelcomeText ${LANG_JAPANESE} "$(^NameDA) をインストールします。$\r$\n$\r$\nVarnow は、フォルダーに置かれたジョブファイルをプリンターポートなどの出力先へ送る常駐ツールです。管理者権限は必要ありません。$\r$\n$\r$\nVarnow を起動している場合は、終了してから［次へ］を押してください。以前の設定はそのまま引き継がれます。"
LangString WelcomeText ${LANG_ENGLISH} "This installs $(^NameDA).$\r$\n$\r$\nVarnow relays job files from a folder to an output device such as a printer port. No administrator rights are needed.$\r$\n$\r$\nIf Varnow is running, exit it before you click Next. Your settings are kept."
LangString OpenManualText ${LANG_JAPANESE} "マニュアルを開く"
LangString OpenManualText ${LANG_ENGLISH} "Open the manual"
LangString ProgramSectionName ${LANG_JAPANESE} "Varnow（必須）"
LangString ProgramSectionName ${LANG_ENGLISH} "Varnow (required)"
LangString AutostartSectionName ${LANG_JAPANESE} "サインイン時に Varnow を起動する"
LangString AutostartSectionName ${LANG_ENGLISH} "Start Varnow when I sign in"
LangString ProgramSectionInfo ${LANG_JAPANESE} "プログラム、マニュアル、アンインストーラーをインストールし、スタートメニューにショートカットを作成します。"
LangString ProgramSectionInfo ${LANG_ENGLISH} "Installs the program, the manual and the uninstaller, with shortcuts in the Start menu."
LangString AutostartSectionInfo ${LANG_JAPANESE} "スタートアップ フォルダーにショートカットを置き、Windows にサインインすると Varnow が自動的に起動するようにします。"
LangString AutostartSectionInfo ${LANG_ENGLISH} "Puts a shortcut in your Startup folder so that Varnow starts when you sign in to Windows."
LangString ManualLinkName ${LANG_JAPANESE} "Varnow マニュアル"
LangString ManualLinkName ${LANG_ENGLISH} "Varnow Manual"
LangString UninstallLinkName ${LANG_JAPANESE} "Varnow のアンインストール"
LangString UninstallLinkName ${LANG_ENGLISH} "Uninstall Varnow"
LangString ProgramRunning ${LANG_JAPANESE} "Varnow が実行中です。$\r$\n$\r$\n通知領域の Varnow のアイコンを右クリックして［終了］を選び、すべての Varnow を終了してから［再試行］を押してください。$\r$\n［キャンセル］を押すと、何も変更せずに中止します。"
LangString ProgramRunning ${LANG_ENGLISH} "Varnow is running.$\r$\n$\r$\nExit every copy of Varnow (right-click its icon in the notification area and choose Exit), then click Retry.$\r$\nCancel stops here without changing anything."
LangString DeleteSettings ${LANG_JAPANESE} "Varnow の設定（検索位置、出力先など）も削除しますか？$\r$\n$\r$\n［いいえ］を選ぶと設定は残り、再インストールしたときにそのまま使われます。"
LangString DeleteSettings ${LANG_ENGLISH} "Delete the settings of Varnow too (search folder, output and so on)?$\r$\n$\r$\nChoose No to keep them for a later installation."

; Nothing may be replaced or removed while the program runs: Windows keeps a
; running program's file locked, and a partly replaced or partly removed copy
; helps nobody. Opening the file for writing fails exactly while it is locked.
; Silent runs cannot ask, so they give up with exit code 2.
!macro WaitUntilProgramExits
    ${Do}
        ${IfNot} ${FileExists} "$INSTDIR\${PROGRAM}"
            ${Break}
        ${EndIf}
        ClearErrors
        FileOpen $0 "$INSTDIR\${PROGRAM}" a
        ${IfNot} ${Errors}
            FileClose $0
            ${Break}
        ${EndIf}
        ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(ProgramRunning)" /SD IDCANCEL IDCANCEL`
            Abort
        ${EndIf}
    ${Loop}
!macroend

Section "!$(ProgramSectionName)" SecProgram
    SectionIn RO
    !insertmacro WaitUntilProgramExits
    ; Shortcuts made below start in this folder.
    SetOutPath "$INSTDIR"
    File "${STAGE}/${PROGRAM}"
    File "${STAGE}/Varnow.html"
    File "${STAGE}/LICENSE.txt"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    ; One folder of our own, so that the uninstaller can take it away whole
    ; whatever language named the shortcuts in it.
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(ManualLinkName).lnk" "$INSTDIR\Varnow.html"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(UninstallLinkName).lnk" "$INSTDIR\${UNINSTALLER}"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "$(AutostartSectionName)" SecAutostart
    SetOutPath "$INSTDIR"
    CreateShortcut "${AUTOSTART_LINK}" "$INSTDIR\${PROGRAM}"
SectionEnd

; Unticked on an upgrade, the choice takes the earlier start-up shortcut away.
Section "-AutostartOff"
    ${IfNot} ${SectionIsSelected} ${SecAutostart}
        Delete "${AUTOSTART_LINK}"
    ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "$(ProgramSectionInfo)"
    !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "$(AutostartSectionInfo)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Off on a first installation; an upgrade offers what the earlier one chose.
; /AUTOSTART=1 or /AUTOSTART=0 decides for a silent run.
Function .onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/AUTOSTART=" $R1
    ${If} ${Errors}
        ${If} ${FileExists} "${AUTOSTART_LINK}"
            !insertmacro SelectSection ${SecAutostart}
        ${EndIf}
    ${ElseIf} $R1 == "1"
        !insertmacro SelectSection ${SecAutostart}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    !insertmacro WaitUntilProgramExits
    Delete "$INSTDIR\${PROGRAM}"
    Delete "$INSTDIR\Varnow.html"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\${UNINSTALLER}"
    ; Only when empty: the folder may hold files of the user's own.
    RMDir "$INSTDIR"
    RMDir /r "$SMPROGRAMS\${PRODUCT}"
    Delete "${AUTOSTART_LINK}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"

    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$(DeleteSettings)" /SD IDNO IDNO settingsKept
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
settingsKept:
SectionEnd
