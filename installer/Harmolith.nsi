; The Windows setup of Harmolith: the synth, its language files, the MIDI driver for 64-bit and
; 32-bit programs, a configuration that plays out of the box, Start-menu entries and an
; uninstaller. Built by the win64 build (target harmolith-setup) with Debian's makensis:
;   makensis -DVERSION=.. -DSOURCE_DIR=.. -DHARMOLITH_EXE=.. -DDRIVER64=.. -DDRIVER32=..
;            -DSOUNDFONT=.. -DSOUNDFONT_LICENSE=.. -DOUTFILE=.. Harmolith.nsi
; Silent: "setup.exe /S" installs with the defaults (with the SoundFont, without autostart);
; "Uninstall.exe /S" removes everything, the user's configuration included.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "nsDialogs.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"
!include "StrFunc.nsh"
${StrStr}

!define PRODUCT "Harmolith"
!define PUBLISHER "Tarnwick"
!define REG_KEY "SOFTWARE\Tarnwick Harmolith"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Harmolith"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define DRIVERS32 "SOFTWARE\Microsoft\Windows NT\CurrentVersion\Drivers32"
!define TRAY_CLASS "MSGWND"
!define TRAY_TITLE "Harmolith Systray Window"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${REG_KEY}" "path"
BrandingText "${PUBLISHER} ${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${SOURCE_DIR}\res\icons\Harmolith.ico"
!define MUI_UNICON "${SOURCE_DIR}\res\icons\Harmolith.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_UNFINISHPAGE_NOAUTOCLOSE

Var SoundFont         ; the SoundFont the configuration names
Var SoundFontPicker   ; the path field of the SoundFont page
Var DeleteSettings    ; the uninstaller removes the user's configuration

!define MUI_WELCOMEPAGE_TEXT "This will install ${PRODUCT} ${VERSION}, a software MIDI synthesizer, on your computer.$\r$\n$\r$\nAfterwards every MIDI program can play through the ports $\"Harmolith #1$\" and up.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipUnlessBundledFont
!define MUI_PAGE_HEADER_TEXT "SoundFont licence"
!define MUI_PAGE_HEADER_SUBTEXT "TimGM6mb, the General MIDI SoundFont installed with ${PRODUCT}"
!define MUI_LICENSEPAGE_TEXT_TOP "TimGM6mb (6 MB, 128 instruments and the drum kits) is free software under the GNU GPL version 2:"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Click Next to continue."
!define MUI_LICENSEPAGE_BUTTON "&Next >"
!insertmacro MUI_PAGE_LICENSE "${SOUNDFONT_LICENSE}"
Page custom SoundFontPage SoundFontPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Harmolith.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--configurator"
!define MUI_FINISHPAGE_RUN_TEXT "Open the ${PRODUCT} configurator"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Section "Synthesizer and MIDI driver" SecCore
    SectionIn RO
    SetRegView 64
    SetShellVarContext all
    Call StopSynth

    SetOutPath "$INSTDIR"
    File "/oname=Harmolith.exe" "${HARMOLITH_EXE}"
    SetOutPath "$INSTDIR\lang"
    File "${SOURCE_DIR}\lang\*.lang"
    CreateDirectory "$INSTDIR\encoders"

    ; The driver, once for 64-bit programs and once for 32-bit ones. This setup runs as a 64-bit
    ; process, so $SYSDIR is the real System32.
    SetOutPath "$SYSDIR"
    File "/oname=Harmolith.dll" "${DRIVER64}"
    SetOutPath "$WINDIR\SysWOW64"
    File "/oname=Harmolith.dll" "${DRIVER32}"

    WriteRegStr HKLM "${REG_KEY}" "path" "$INSTDIR"
SectionEnd

Section "TimGM6mb SoundFont" SecSoundFont
    SetOutPath "$INSTDIR\soundfonts"
    File "/oname=TimGM6mb.sf2" "${SOUNDFONT}"
    File "/oname=TimGM6mb-copyright.txt" "${SOUNDFONT_LICENSE}"
    StrCpy $SoundFont "$INSTDIR\soundfonts\TimGM6mb.sf2"
SectionEnd

Section "Start-menu entries" SecStartMenu
    SetShellVarContext all
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} Configurator.lnk" "$INSTDIR\Harmolith.exe" "--configurator" "$INSTDIR\Harmolith.exe" 0
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} MIDI Converter.lnk" "$INSTDIR\Harmolith.exe" "--converter" "$INSTDIR\Harmolith.exe" 0
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\Uninstall.exe"
SectionEnd

Section /o "Start at log-on" SecAutostart
    ; The same value the configurator's autostart option writes.
    WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Harmolith.exe"'
SectionEnd

; After the components: the configuration names the SoundFont they chose.
Section "-Configuration and driver registration"
    SetRegView 64
    ; A configuration from an earlier installation is the user's: kept as it is.
    ${IfNot} ${FileExists} "$INSTDIR\Harmolith.conf"
        FileOpen $0 "$INSTDIR\Harmolith.conf" w
        FileClose $0
        ${If} $SoundFont != ""
            WriteINIStr "$INSTDIR\Harmolith.conf" "SoundFonts" "sf1" "$SoundFont"
            ; Every port plays it.
            WriteINIStr "$INSTDIR\Harmolith.conf" "SoundFonts" "sf1.enabled" "15"
        ${EndIf}
    ${EndIf}

    ; The slots of the Drivers32 key are written by the program itself, as "--install" does.
    ; Unregistering turns the slot back into a free one ("wdmaud.drv"); a slot that did not exist
    ; before is remembered, so that the uninstaller can remove it altogether.
    SetRegView 64
    Call FreeSlotsBefore
    StrCpy $R4 $R9
    SetRegView 32
    Call FreeSlotsBefore
    StrCpy $R3 $R9
    ExecWait '"$INSTDIR\Harmolith.exe" --install' $0
    ${If} $0 != 0
        DetailPrint "Registering the MIDI driver failed ($0)."
        SetErrors
    ${EndIf}
    StrCpy $R9 $R3
    Call SlotTaken
    StrCpy $R3 $R9
    SetRegView 64
    StrCpy $R9 $R4
    Call SlotTaken
    StrCpy $R4 $R9

    WriteUninstaller "$INSTDIR\Uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Harmolith.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegStr HKLM "${UNINSTALL_KEY}" "NewDriverSlot64" "$R4"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "NewDriverSlot32" "$R3"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecCore} "The synthesizer and the MIDI driver for 64-bit and 32-bit programs."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecSoundFont} "A small General MIDI SoundFont (6 MB, GNU GPL 2) to play at once. Leave it out to pick your own."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecStartMenu} "Entries for the configurator, the MIDI converter and the uninstaller."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "Start the synthesizer in the notification area at log-on."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Sets $R9 to the slots "midi1".."midi9" missing from the current registry view: " midi1 midi4 ".
Function FreeSlotsBefore
    StrCpy $R9 " "
    ${ForEach} $R8 1 9 + 1
        ClearErrors
        ReadRegStr $R7 HKLM "${DRIVERS32}" "midi$R8"
        ${If} ${Errors}
            StrCpy $R9 "$R9midi$R8 "
        ${EndIf}
    ${Next}
FunctionEnd

; Sets $R9 to the slot among those in $R9 that now holds the driver, or to "".
Function SlotTaken
    StrCpy $R6 ""
    ${ForEach} $R8 1 9 + 1
        ReadRegStr $R7 HKLM "${DRIVERS32}" "midi$R8"
        ${If} $R7 == "Harmolith.dll"
            ${StrStr} $R7 "$R9" " midi$R8 "
            ${IfThen} $R7 != "" ${|} StrCpy $R6 "midi$R8" ${|}
        ${EndIf}
    ${Next}
    StrCpy $R9 $R6
FunctionEnd

Function .onInit
    SetRegView 64
    StrCpy $SoundFont ""
FunctionEnd

Function SkipUnlessBundledFont
    ${IfNot} ${SectionIsSelected} ${SecSoundFont}
        Abort
    ${EndIf}
FunctionEnd

; Without the bundled font, the user names one (or none, and adds fonts in the configurator).
Function SoundFontPage
    ${If} ${SectionIsSelected} ${SecSoundFont}
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "SoundFont" "Choose the SoundFont Harmolith plays with."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 36u "Name an .sf2 or .sfz file. You can also leave this empty and add SoundFonts later in the configurator; until then Harmolith plays nothing."
    Pop $0
    ${NSD_CreateFileRequest} 0 44u 78% 13u "$SoundFont"
    Pop $SoundFontPicker
    ${NSD_CreateBrowseButton} 80% 43u 20% 15u "Browse..."
    Pop $0
    ${NSD_OnClick} $0 BrowseSoundFont
    nsDialogs::Show
FunctionEnd

Function BrowseSoundFont
    nsDialogs::SelectFileDialog open "" "SoundFonts (*.sf2;*.sf3;*.sfz)|*.sf2;*.sf3;*.sfz|All files|*.*"
    Pop $0
    ${If} $0 != ""
        ${NSD_SetText} $SoundFontPicker $0
    ${EndIf}
FunctionEnd

Function SoundFontPageLeave
    ${NSD_GetText} $SoundFontPicker $SoundFont
    ${If} $SoundFont != ""
    ${AndIfNot} ${FileExists} $SoundFont
        MessageBox MB_ICONEXCLAMATION "There is no file $SoundFont."
        Abort
    ${EndIf}
FunctionEnd

; Asks a running synth to end, and waits for it at most five seconds: files in use cannot be
; replaced or removed.
!macro StopSynth un
Function ${un}StopSynth
    FindWindow $0 "${TRAY_CLASS}" "${TRAY_TITLE}"
    ${If} $0 == 0
        Return
    ${EndIf}
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $1 0
    ${Do}
        Sleep 100
        IntOp $1 $1 + 100
        FindWindow $0 "${TRAY_CLASS}" "${TRAY_TITLE}"
        ${If} $1 >= 5000
            ${ExitDo}
        ${EndIf}
    ${LoopUntil} $0 == 0
FunctionEnd
!macroend
!insertmacro StopSynth ""
!insertmacro StopSynth "un."

Function un.onInit
    SetRegView 64
    StrCpy $DeleteSettings 1
FunctionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    Call un.StopSynth

    ReadRegStr $R4 HKLM "${UNINSTALL_KEY}" "NewDriverSlot64"
    ReadRegStr $R3 HKLM "${UNINSTALL_KEY}" "NewDriverSlot32"
    ExecWait '"$INSTDIR\Harmolith.exe" --uninstall' $0
    ${If} $0 != 0
        DetailPrint "Removing the MIDI driver registration failed ($0)."
    ${EndIf}
    ; A slot the setup added goes again, once it is free.
    ${If} $R4 != ""
        ReadRegStr $1 HKLM "${DRIVERS32}" "$R4"
        ${IfThen} $1 == "wdmaud.drv" ${|} DeleteRegValue HKLM "${DRIVERS32}" "$R4" ${|}
    ${EndIf}
    ${If} $R3 != ""
        SetRegView 32
        ReadRegStr $1 HKLM "${DRIVERS32}" "$R3"
        ${IfThen} $1 == "wdmaud.drv" ${|} DeleteRegValue HKLM "${DRIVERS32}" "$R3" ${|}
        SetRegView 64
    ${EndIf}
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegValue HKLM "${REG_KEY}" "path"
    DeleteRegKey /ifempty HKLM "${REG_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ; A driver still loaded by a running program goes at the next restart.
    Delete /REBOOTOK "$SYSDIR\Harmolith.dll"
    Delete /REBOOTOK "$WINDIR\SysWOW64\Harmolith.dll"

    Delete "$INSTDIR\Harmolith.exe"
    Delete "$INSTDIR\lang\*.lang"
    RMDir "$INSTDIR\lang"
    Delete "$INSTDIR\soundfonts\TimGM6mb.sf2"
    Delete "$INSTDIR\soundfonts\TimGM6mb-copyright.txt"
    RMDir "$INSTDIR\soundfonts"
    RMDir /r "$SMPROGRAMS\${PRODUCT}"

    MessageBox MB_YESNO|MB_ICONQUESTION "Also delete your settings (Harmolith.conf, with your SoundFont list and mixer settings) and the encoders folder?" /SD IDYES IDYES +2
    StrCpy $DeleteSettings 0
    ${If} $DeleteSettings == 1
        Delete "$INSTDIR\Harmolith.conf"
        RMDir /r "$INSTDIR\encoders"
    ${EndIf}
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
