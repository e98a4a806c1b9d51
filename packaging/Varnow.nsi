; The Varnow installer: per user, no administrator rights, Japanese (English
; where Windows is not Japanese). scripts/package.sh builds it with
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSTAGE=<folder> -DOUTFILE=<exe>
; where the stage folder holds Varnow.exe, Varnow.html and LICENSE.txt.
;
; Silent use: Varnow-x.y.z-setup.exe /S [/AUTOSTART=1|0] [/FOLDER=folder] [/OUTPUT=output]
;                                      [/D=folder]
;             Uninstall.exe /S (keeps the settings)
; /FOLDER= and /OUTPUT= give the search folder and the output of a first
; installation; settings already stored are never changed.
; Exit code 2 when Varnow.exe is running and the user (or /S) cancels.
; -DTARGET=amd64-unicode builds a 64-bit installer, for test machines that
; cannot run 32-bit programs.

!ifdef TARGET
Target ${TARGET}
!endif
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include nsDialogs.nsh
!include WordFunc.nsh

!define PRODUCT "Varnow"
!define PUBLISHER "Brenholt"
!define PROGRAM "Varnow.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Where the program keeps its settings (maker key, then the executable's name).
!define SETTINGS_KEY "Software\${PUBLISHER}\${PRODUCT}"
; The section the program uses when started without an argument, as the
; installer's shortcuts start it.
!define DEFAULT_SECTION_KEY "${SETTINGS_KEY}\${PRODUCT}"
!define DEFAULT_FOLDER "C:\Varnow\Jobs"
!define DEFAULT_OUTPUT "LPT1"

; What a first installation stores, and the settings page's fields.
Var FolderChoice
Var OutputChoice
Var FolderField
Var OutputField
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
!define MUI_PAGE_HEADER_SUBTEXT "$(DirectorySubtitle)"
!define MUI_DIRECTORYPAGE_TEXT_TOP "$(DirectoryTop)"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "$(DirectoryDestination)"
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST "$(ComponentsList)"
!insertmacro MUI_PAGE_COMPONENTS
Page custom SettingsPageShow SettingsPageLeave
!define MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT "$(StoppedSubtitle)"
!insertmacro MUI_PAGE_INSTFILES
!undef MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM}"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Varnow.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "$(OpenManualText)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_HEADER_SUBTEXT "$(UnConfirmSubtitle)"
!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(UnConfirmTop)"
!define MUI_UNCONFIRMPAGE_TEXT_LOCATION "$(UnConfirmLocation)"
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT "$(UnStoppedSubtitle)"
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
LangString ProgramRunning ${LANG_JAPANESE} "Varnow が実行中です。$\r$\n$\r$\n通知領域の Varnow のアイコンを右クリックして［終了］を選び、$\r$\nすべての Varnow を終了してから［再試行］を押してください。$\r$\n［キャンセル］を押すと、何も変更せずに中止します。"
LangString ProgramRunning ${LANG_ENGLISH} "Varnow is running.$\r$\n$\r$\nExit every copy of Varnow (right-click its icon in the notification area and choose Exit), then click Retry.$\r$\nCancel stops here without changing anything."
LangString DeleteSettings ${LANG_JAPANESE} "Varnow の設定も削除しますか？$\r$\n$\r$\n［はい］を選ぶと、すべてのセクションの設定（検索位置、出力先など）と、$\r$\n削除できなかったジョブの情報を削除します。$\r$\n［いいえ］を選ぶと設定は残り、再インストールしたときにそのまま使われます。$\r$\n$\r$\nどちらの場合も、記録は次のフォルダーに残ります。$\r$\n$LOCALAPPDATA\Brenholt\Varnow\Records"
LangString DeleteSettings ${LANG_ENGLISH} "Delete the settings of Varnow too?$\r$\n$\r$\nYes deletes the settings of every section (search folder, output and so on)$\r$\nand the list of jobs that could not be deleted.$\r$\nNo keeps them for a later installation.$\r$\n$\r$\nEither way, the records stay in$\r$\n$LOCALAPPDATA\Brenholt\Varnow\Records"
LangString StoppedSubtitle ${LANG_JAPANESE} "Varnow が実行中のため、インストールを中止しました。"
LangString StoppedSubtitle ${LANG_ENGLISH} "Stopped because Varnow is running."
LangString UnStoppedSubtitle ${LANG_JAPANESE} "Varnow が実行中のため、アンインストールを中止しました。"
LangString UnStoppedSubtitle ${LANG_ENGLISH} "Stopped because Varnow is running."
LangString StoppedDetail ${LANG_JAPANESE} "Varnow が実行中のため中止しました。何も変更していません。"
LangString StoppedDetail ${LANG_ENGLISH} "Stopped because Varnow is running. Nothing was changed."
LangString SettingsTitle ${LANG_JAPANESE} "検索位置と出力先"
LangString SettingsTitle ${LANG_ENGLISH} "Search folder and output"
LangString SettingsSubtitle ${LANG_JAPANESE} "ジョブファイルを探すフォルダーと、送り先を指定してください。"
LangString SettingsSubtitle ${LANG_ENGLISH} "Choose where Varnow looks for job files and where it sends them."
LangString FolderLabel ${LANG_JAPANESE} "検索位置（ジョブファイルが置かれるフォルダー。ないときは作成します）:"
LangString FolderLabel ${LANG_ENGLISH} "Search folder (where job files are put; created if missing):"
LangString OutputLabel ${LANG_JAPANESE} "出力先（ポート名、プリンター名、またはファイルのパス）:"
LangString OutputLabel ${LANG_ENGLISH} "Output (a port, a printer's name or a file's path):"
LangString SettingsNote ${LANG_JAPANESE} "どちらも、あとから Varnow の画面で変更できます。"
LangString SettingsNote ${LANG_ENGLISH} "You can change both later in the Varnow window."
LangString BrowseButton ${LANG_JAPANESE} "参照..."
LangString BrowseButton ${LANG_ENGLISH} "Browse..."
LangString SettingsMissing ${LANG_JAPANESE} "検索位置と出力先を入力してください。"
LangString SettingsMissing ${LANG_ENGLISH} "Enter the search folder and the output."
LangString DirectorySubtitle ${LANG_JAPANESE} "Varnow をインストールするフォルダーを選んでください。"
LangString DirectorySubtitle ${LANG_ENGLISH} "Choose the folder in which to install Varnow."
LangString DirectoryTop ${LANG_JAPANESE} "次のフォルダーに Varnow をインストールします。$\r$\n別のフォルダーにするには［参照］を押して選んでください。"
LangString DirectoryTop ${LANG_ENGLISH} "Varnow will be installed in the following folder.$\r$\nTo choose another folder, click Browse."
LangString DirectoryDestination ${LANG_JAPANESE} "インストール先のフォルダー"
LangString DirectoryDestination ${LANG_ENGLISH} "Destination folder"
LangString ComponentsList ${LANG_JAPANESE} "インストールする項目:"
LangString ComponentsList ${LANG_ENGLISH} "Select what to install:"
LangString FinishText ${LANG_JAPANESE} "Varnow をこのコンピューターにインストールしました。$\r$\n$\r$\n［完了］を押すとセットアップを閉じます。"
LangString FinishText ${LANG_ENGLISH} "Varnow has been installed on this computer.$\r$\n$\r$\nClick Finish to close Setup."
LangString UnConfirmSubtitle ${LANG_JAPANESE} "Varnow をこのコンピューターから削除します。"
LangString UnConfirmSubtitle ${LANG_ENGLISH} "Remove Varnow from this computer."
LangString UnConfirmTop ${LANG_JAPANESE} "次のフォルダーから Varnow を削除します。$\r$\n［アンインストール］を押すと始まります。"
LangString UnConfirmTop ${LANG_ENGLISH} "Varnow will be removed from the following folder.$\r$\nClick Uninstall to start."
LangString UnConfirmLocation ${LANG_JAPANESE} "フォルダー:"
LangString UnConfirmLocation ${LANG_ENGLISH} "Folder:"
; The stock Japanese texts write half-width katakana and 「フォルダ」; this
; program's texts say 「フォルダー」.
LangString ^UninstallBtn ${LANG_JAPANESE} "アンインストール(&U)"
LangString ^CreateFolder ${LANG_JAPANESE} "フォルダー作成: "
LangString ^OutputFolder ${LANG_JAPANESE} "出力先フォルダー: "
LangString ^RemoveFolder ${LANG_JAPANESE} "フォルダー削除: "

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
            DetailPrint "$(StoppedDetail)"
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

; Only values that are not there yet: an upgrade keeps what the user set.
; The folder is made even when the value stays, so that it exists.
Section "-Settings"
    ClearErrors
    ReadRegStr $0 HKCU "${DEFAULT_SECTION_KEY}" "Findpos"
    ${If} ${Errors}
        CreateDirectory "$FolderChoice"
        WriteRegStr HKCU "${DEFAULT_SECTION_KEY}" "Findpos" "$FolderChoice"
    ${EndIf}
    ClearErrors
    ReadRegStr $0 HKCU "${DEFAULT_SECTION_KEY}" "Output"
    ${If} ${Errors}
        WriteRegStr HKCU "${DEFAULT_SECTION_KEY}" "Output" "$OutputChoice"
    ${EndIf}
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

; Without a stored search folder the program would search its start folder,
; which for the shortcuts is the install folder; without an output it would
; print to LPT1 unasked. The page asks for both, and only then.
Function SettingsPageShow
    ClearErrors
    ReadRegStr $0 HKCU "${DEFAULT_SECTION_KEY}" "Findpos"
    ReadRegStr $0 HKCU "${DEFAULT_SECTION_KEY}" "Output"
    ${IfNot} ${Errors}
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "$(SettingsTitle)" "$(SettingsSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 12u "$(FolderLabel)"
    Pop $0
    ${NSD_CreateText} 0 14u 236u 13u "$FolderChoice"
    Pop $FolderField
    ${NSD_CreateButton} 242u 13u 58u 15u "$(BrowseButton)"
    Pop $0
    ${NSD_OnClick} $0 SettingsPageBrowse
    ${NSD_CreateLabel} 0 40u 100% 12u "$(OutputLabel)"
    Pop $0
    ${NSD_CreateComboBox} 0 54u 236u 80u "$OutputChoice"
    Pop $OutputField
    Call AddInstalledPrinters
    ${NSD_CB_AddString} $OutputField "LPT1"
    ${NSD_CB_AddString} $OutputField "LPT2"
    ${NSD_CB_AddString} $OutputField "LPT3"
    ${NSD_SetText} $OutputField "$OutputChoice"
    ${NSD_CreateLabel} 0 84u 100% 12u "$(SettingsNote)"
    Pop $0
    nsDialogs::Show
FunctionEnd

Function SettingsPageBrowse
    ${NSD_GetText} $FolderField $0
    nsDialogs::SelectFolderDialog "$(FolderLabel)" "$0"
    Pop $0
    ${If} $0 != error
        ${NSD_SetText} $FolderField $0
    ${EndIf}
FunctionEnd

Function SettingsPageLeave
    ${NSD_GetText} $FolderField $FolderChoice
    ${NSD_GetText} $OutputField $OutputChoice
    ${If} $FolderChoice == ""
    ${OrIf} $OutputChoice == ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(SettingsMissing)"
        Abort
    ${EndIf}
FunctionEnd

; The printers EnumPrinters reports: the local ones are kept under the first
; key, the connections under the second as ",,server,printer", which the
; program's output names "\\server\printer".
Function AddInstalledPrinters
    StrCpy $1 0
    ${Do}
        EnumRegKey $0 HKLM "SYSTEM\CurrentControlSet\Control\Print\Printers" $1
        ${IfThen} $0 == "" ${|} ${Break} ${|}
        ${NSD_CB_AddString} $OutputField $0
        IntOp $1 $1 + 1
    ${Loop}
    StrCpy $1 0
    ${Do}
        EnumRegKey $0 HKCU "Printers\Connections" $1
        ${IfThen} $0 == "" ${|} ${Break} ${|}
        ${WordReplace} $0 "," "\" "+" $0
        ${NSD_CB_AddString} $OutputField $0
        IntOp $1 $1 + 1
    ${Loop}
FunctionEnd

; Off on a first installation; an upgrade offers what the earlier one chose.
; /AUTOSTART=1 or /AUTOSTART=0 decides for a silent run.
Function .onInit
    ${GetParameters} $R0
    StrCpy $FolderChoice "${DEFAULT_FOLDER}"
    ClearErrors
    ${GetOptions} $R0 "/FOLDER=" $R1
    ${IfNot} ${Errors}
    ${AndIf} $R1 != ""
        StrCpy $FolderChoice $R1
    ${EndIf}
    StrCpy $OutputChoice "${DEFAULT_OUTPUT}"
    ClearErrors
    ${GetOptions} $R0 "/OUTPUT=" $R1
    ${IfNot} ${Errors}
    ${AndIf} $R1 != ""
        StrCpy $OutputChoice $R1
    ${EndIf}
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

; The uninstaller that runs from its temporary copy is handed its folder with
; a trailing "\", which the confirmation page would show.
Function un.onInit
    StrCpy $0 $INSTDIR "" -1
    ${If} $0 == "\"
        StrCpy $INSTDIR $INSTDIR -1
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
