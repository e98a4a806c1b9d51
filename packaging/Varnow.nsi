; The Varnow installer: per user, no administrator rights, Japanese (English
; where Windows is not Japanese). scripts/package.sh builds it with
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSTAGE=<folder> -DOUTFILE=<exe>
; where the stage folder holds 64bit\Varnow.exe, 32bit\Varnow.exe (each with
; its Varnow.html) and LICENSE.txt. The installer carries both programs and
; installs the one that matches Windows: x86_64 on 64-bit Windows, i686 on
; 32-bit Windows, in the same folder and with the same settings.
;
; Silent use: Varnow-x.y.z-setup.exe /S [/AUTOSTART=1|0] [/FOLDER=folder] [/OUTPUT=output]
;                                      [/D=folder]
;             Uninstall.exe /S (keeps the settings)
; /FOLDER= and /OUTPUT= give the search folder and the output while Varnow is
; not installed yet (they win over settings stored by the zip's program); an
; upgrade over an installed copy never changes the settings.
; Exit code 2 when Varnow.exe is running and the user (or /S) cancels.
; -DTARGET=amd64-unicode builds the same installer as a 64-bit program, for
; test machines that cannot run 32-bit programs.

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
!include x64.nsh

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
; Set when Varnow is installed already: an upgrade keeps every setting.
Var Installed
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
!define MUI_COMPONENTSPAGE_TEXT_TOP "$(ComponentsTop)"
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

!define MUI_CUSTOMFUNCTION_UNGUIINIT un.WidenNextButton
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.ConfirmPageShow
!define MUI_PAGE_HEADER_SUBTEXT "$(UnConfirmSubtitle)"
!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(UnConfirmTop)"
!define MUI_UNCONFIRMPAGE_TEXT_LOCATION "$(UnConfirmLocation)"
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT "$(UnStoppedSubtitle)"
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for systems that match neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString WelcomeText ${LANG_JAPANESE} "$(^NameDA) をインストールします。$\r$\n$\r$\nVarnow は、フォルダーに置かれたジョブファイルを、$\r$\nプリンターのポートなどへ出力する常駐ツールです。$\r$\n管理者権限は必要ありません。$\r$\n$\r$\nVarnow を起動している場合は、$\r$\n終了してから［次へ］を押してください。$\r$\n以前の設定はそのまま引き継がれます。"
LangString WelcomeText ${LANG_ENGLISH} "This installs $(^NameDA).$\r$\n$\r$\nVarnow relays job files from a folder to an output device such as a printer port. No administrator rights are needed.$\r$\n$\r$\nIf Varnow is running, exit it before you click Next. Your settings are kept."
LangString OpenManualText ${LANG_JAPANESE} "マニュアルを開く"
LangString OpenManualText ${LANG_ENGLISH} "Open the manual"
LangString ProgramSectionName ${LANG_JAPANESE} "Varnow（必須）"
LangString ProgramSectionName ${LANG_ENGLISH} "Varnow (required)"
LangString AutostartSectionName ${LANG_JAPANESE} "サインイン時に Varnow を起動する"
LangString AutostartSectionName ${LANG_ENGLISH} "Start Varnow when I sign in"
LangString ProgramSectionInfo ${LANG_JAPANESE} "プログラムとマニュアルをインストールし、$\r$\nスタート メニューに登録します。"
LangString ProgramSectionInfo ${LANG_ENGLISH} "Installs the program and the manual,$\r$\nwith shortcuts in the Start menu."
LangString AutostartSectionInfo ${LANG_JAPANESE} "スタートアップ フォルダーにショートカットを置き、$\r$\nサインインすると Varnow が起動するようにします。"
LangString AutostartSectionInfo ${LANG_ENGLISH} "Puts a shortcut in your Startup folder so that$\r$\nVarnow starts when you sign in to Windows."
LangString ManualLinkName ${LANG_JAPANESE} "Varnow マニュアル"
LangString ManualLinkName ${LANG_ENGLISH} "Varnow Manual"
LangString UninstallLinkName ${LANG_JAPANESE} "Varnow のアンインストール"
LangString UninstallLinkName ${LANG_ENGLISH} "Uninstall Varnow"
LangString ProgramRunning ${LANG_JAPANESE} "Varnow が実行中です。$\r$\n$\r$\n通知領域の Varnow のアイコンを右クリックし、$\r$\n［終了］を選んでください。$\r$\nすべての Varnow を終了したら、$\r$\n［再試行］を押してください。$\r$\n$\r$\n［キャンセル］を押すと、何も変更せずに中止します。"
LangString ProgramRunning ${LANG_ENGLISH} "Varnow is running.$\r$\n$\r$\nExit every copy of Varnow (right-click its icon$\r$\nin the notification area and choose Exit),$\r$\nthen click Retry.$\r$\n$\r$\nCancel stops here without changing anything."
LangString DeleteSettings ${LANG_JAPANESE} "Varnow の設定も削除しますか？$\r$\n$\r$\n［はい］を押すと、検索位置、出力先などの設定を、$\r$\n複数起動している Varnow の分も含めて削除します。$\r$\n削除できなかったジョブの情報も消えるので、$\r$\nそのジョブが残っていると、もう一度出力されます。$\r$\n$\r$\n［いいえ］を押すと設定は残り、$\r$\n再インストールしたときにそのまま使われます。$\r$\n$\r$\nどちらの場合も、次のものは削除しません。$\r$\n・検索位置のフォルダーと、その中のファイル$\r$\n・記録のフォルダー$\r$\n$LOCALAPPDATA\Brenholt\Varnow\Records"
LangString DeleteSettings ${LANG_ENGLISH} "Delete the settings of Varnow too?$\r$\n$\r$\nYes deletes the settings (search folder, output$\r$\nand so on) of every copy of Varnow you start.$\r$\nJobs that could not be deleted are forgotten too:$\r$\nthose still there will be output again.$\r$\n$\r$\nNo keeps the settings for a later installation.$\r$\n$\r$\nEither way, these stay:$\r$\n- the search folder and the files in it$\r$\n- the records, in$\r$\n$LOCALAPPDATA\Brenholt\Varnow\Records"
LangString StoppedSubtitle ${LANG_JAPANESE} "Varnow が実行中のため、インストールを中止しました。"
LangString StoppedSubtitle ${LANG_ENGLISH} "Stopped because Varnow is running."
LangString UnStoppedSubtitle ${LANG_JAPANESE} "Varnow が実行中のため、アンインストールを中止しました。"
LangString UnStoppedSubtitle ${LANG_ENGLISH} "Stopped because Varnow is running."
LangString StoppedDetail ${LANG_JAPANESE} "Varnow が実行中のため中止しました。何も変更していません。"
LangString StoppedDetail ${LANG_ENGLISH} "Stopped because Varnow is running. Nothing was changed."
LangString SettingsTitle ${LANG_JAPANESE} "検索位置と出力先"
LangString SettingsTitle ${LANG_ENGLISH} "Search folder and output"
LangString SettingsSubtitle ${LANG_JAPANESE} "ジョブファイルを探すフォルダーと、出力先を指定してください。"
LangString SettingsSubtitle ${LANG_ENGLISH} "Choose where Varnow looks for job files and where it outputs them."
LangString FolderLabel ${LANG_JAPANESE} "検索位置（ジョブファイルが置かれるフォルダー。ないときは作成します）:"
LangString FolderLabel ${LANG_ENGLISH} "Search folder (where job files are put; created if missing):"
LangString OutputLabel ${LANG_JAPANESE} "出力先（ポート名、プリンター名、またはファイルのパス）:"
LangString OutputLabel ${LANG_ENGLISH} "Output (a port, a printer's name or a file's path):"
LangString SettingsNote ${LANG_JAPANESE} "どちらも、あとから Varnow の画面で変更できます。"
LangString SettingsNote ${LANG_ENGLISH} "You can change both later in the Varnow window."
LangString BrowseButton ${LANG_JAPANESE} "参照(&R)..."
LangString BrowseButton ${LANG_ENGLISH} "B&rowse..."
LangString SettingsMissing ${LANG_JAPANESE} "検索位置と出力先を入力してください。"
LangString SettingsMissing ${LANG_ENGLISH} "Enter the search folder and the output."
LangString DirectorySubtitle ${LANG_JAPANESE} "Varnow をインストールするフォルダーを選んでください。"
LangString DirectorySubtitle ${LANG_ENGLISH} "Choose the folder in which to install Varnow."
LangString DirectoryTop ${LANG_JAPANESE} "次のフォルダーに Varnow をインストールします。$\r$\n別のフォルダーにするには［参照］を押して選んでください。"
LangString DirectoryTop ${LANG_ENGLISH} "Varnow will be installed in the following folder.$\r$\nTo choose another folder, click Browse."
LangString DirectoryDestination ${LANG_JAPANESE} "インストール先のフォルダー"
LangString DirectoryDestination ${LANG_ENGLISH} "Destination folder"
LangString ComponentsTop ${LANG_JAPANESE} "インストールする項目を選んでください。$\r$\n［次へ］を押すと進みます。"
LangString ComponentsTop ${LANG_ENGLISH} "Choose what to install, then click Next."
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
LangString ^OutputFolder ${LANG_JAPANESE} "展開先フォルダー: "
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
    ; An upgrade of a 32-bit copy on 64-bit Windows puts the 64-bit program in
    ; its place; both read the same settings.
    ${If} ${RunningX64}
        File "${STAGE}/64bit/${PROGRAM}"
    ${Else}
        File "${STAGE}/32bit/${PROGRAM}"
    ${EndIf}
    File "${STAGE}/64bit/Varnow.html"
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

; What the user confirmed, while Varnow was not installed yet; an upgrade
; keeps what the user set.
Section "-Settings"
    ${IfThen} $Installed == 1 ${|} Return ${|}
    CreateDirectory "$FolderChoice"
    WriteRegStr HKCU "${DEFAULT_SECTION_KEY}" "Findpos" "$FolderChoice"
    WriteRegStr HKCU "${DEFAULT_SECTION_KEY}" "Output" "$OutputChoice"
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
; print to LPT1 unasked. Settings stored by the zip's program hold its own
; folder. So until Varnow is installed the page asks for both, showing what
; is stored.
Function SettingsPageShow
    ${IfThen} $Installed == 1 ${|} Abort ${|}
    !insertmacro MUI_HEADER_TEXT "$(SettingsTitle)" "$(SettingsSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 12u "$(FolderLabel)"
    Pop $0
    ${NSD_CreateText} 0 14u 226u 13u "$FolderChoice"
    Pop $FolderField
    ${NSD_CreateButton} 232u 13u 68u 15u "$(BrowseButton)"
    Pop $0
    ${NSD_OnClick} $0 SettingsPageBrowse
    ${NSD_CreateLabel} 0 40u 100% 12u "$(OutputLabel)"
    Pop $0
    ${NSD_CreateComboBox} 0 54u 226u 80u "$OutputChoice"
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

; What the settings page first shows: the command line's value, else the
; stored one, else the default.
!macro ChooseSetting VAR NAME OPTION DEFAULT
    ClearErrors
    ${GetOptions} $R0 "${OPTION}" ${VAR}
    ${If} ${Errors}
    ${OrIf} ${VAR} == ""
        ReadRegStr ${VAR} HKCU "${DEFAULT_SECTION_KEY}" "${NAME}"
    ${EndIf}
    ${IfThen} ${VAR} == "" ${|} StrCpy ${VAR} "${DEFAULT}" ${|}
!macroend

; Off on a first installation; an upgrade offers what the earlier one chose.
; /AUTOSTART=1 or /AUTOSTART=0 decides for a silent run.
Function .onInit
    StrCpy $Installed 0
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\${PROGRAM}"
        StrCpy $Installed 1
    ${EndIf}
    ${GetParameters} $R0
    !insertmacro ChooseSetting $FolderChoice "Findpos" "/FOLDER=" "${DEFAULT_FOLDER}"
    !insertmacro ChooseSetting $OutputChoice "Output" "/OUTPUT=" "${DEFAULT_OUTPUT}"
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
; a trailing "\", which the confirmation page shows unless told otherwise.
Function un.ConfirmPageShow
    StrCpy $0 $INSTDIR "" -1
    ${If} $0 == "\"
        StrCpy $INSTDIR $INSTDIR -1
    ${EndIf}
    FindWindow $0 "#32770" "" $HWNDPARENT
    GetDlgItem $0 $0 1000
    SendMessage $0 ${WM_SETTEXT} 0 "STR:$INSTDIR"
FunctionEnd

; The stock button is too narrow for アンインストール(&U): it grows to the
; left by half its width, and the Back button moves along.
Function un.WidenNextButton
    GetDlgItem $0 $HWNDPARENT 1
    GetDlgItem $1 $HWNDPARENT 3
    System::Call "*(i,i,i,i)p.r2"
    System::Call "user32::GetWindowRect(p r0, p r2)"
    System::Call "user32::MapWindowPoints(p 0, p $HWNDPARENT, p r2, i 2)"
    System::Call "*$2(i.r3, i.r4, i.r5, i.r6)"
    IntOp $7 $5 - $3
    IntOp $7 $7 / 2
    IntOp $8 $3 - $7
    IntOp $9 $5 - $8
    IntOp $6 $6 - $4
    System::Call "user32::SetWindowPos(p r0, p 0, i r8, i r4, i r9, i r6, i 0x14)"
    System::Call "user32::GetWindowRect(p r1, p r2)"
    System::Call "user32::MapWindowPoints(p 0, p $HWNDPARENT, p r2, i 2)"
    System::Call "*$2(i.r3, i.r4)"
    IntOp $3 $3 - $7
    System::Call "user32::SetWindowPos(p r1, p 0, i r3, i r4, i 0, i 0, i 0x15)"
    System::Free $2
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
