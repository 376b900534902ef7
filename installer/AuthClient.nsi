; Setup of the auth client for 64-bit Windows.
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=X.Y.Z -DEXE=/path/AuthClient.exe \
;            -DOUTFILE=/path/AuthClient-X.Y.Z-setup.exe installer/AuthClient.nsi
;
; The scripts build it through build_setup (scripts/lib.sh), which also passes the company
; (-DCOMPANY, -DCOPYRIGHT) and, when signing is set up, -DSIGN=scripts/sign.sh: that signs
; the uninstaller before it is packed and the setup once it is written.
;
; Installs for the current user by default (%LOCALAPPDATA%\Programs\AuthClient, no
; administrator rights), or for all users (Program Files, administrators only) by choice on
; the first page or with /AllUsers. Silent switches:
;   setup:     /S  /CurrentUser  /AllUsers  /D=FOLDER (last, unquoted)
;   uninstall: /S  /REMOVESETTINGS  _?=FOLDER (last: runs in place and waits)
; The uninstaller always removes the autostart value; the user's settings and saved password
; go only when asked (the check box on its second page, or /REMOVESETTINGS).

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!ifndef VERSION
  !error "pass the version: -DVERSION=x.y.z"
!endif
!ifndef EXE
  !error "pass the program: -DEXE=path/AuthClient.exe"
!endif
!ifndef OUTFILE
  !define OUTFILE "AuthClient-${VERSION}-setup.exe"
!endif
!ifndef ICON
  !define ICON "../res/icons/app.ico" ; makensis works in the script's folder
!endif
!ifndef COPYRIGHT
  !define COPYRIGHT " "
!endif
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

!define APP_NAME "Клиент авторизации"
!define EXE_NAME "AuthClient.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\AuthClient"
!define SETTINGS_KEY "Software\Auth Client"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "AuthClient"
; The class of the program's main window, by which a running copy is found: read from the
; header that the program and its resources are built with.
!searchparse /file "${__FILEDIR__}/../res/resource.h" '#define MAIN_WINDOW_CLASS "' MAIN_WINDOW_CLASS '"'
; The MSI package's UpgradeCode, read from its source: the package installs for all users into
; the same folder, so an all-users installation here must not go over it.
!searchparse /file "${__FILEDIR__}/AuthClient.wxs" 'UpgradeCode="' MSI_UPGRADE_CODE '"'

Name "${APP_NAME}"
OutFile "${OUTFILE}"
BrandingText "${APP_NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1049 "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка: ${APP_NAME} ${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "${COPYRIGHT}"
!ifdef COMPANY
  VIAddVersionKey /LANG=1049 "CompanyName" "${COMPANY}"
!endif

; Administrators may choose either mode; everybody else installs for themselves.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "AuthClient"
; An earlier all-users installation makes all users the default for an administrator.
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_FUNCTION OnInstallModeChosen
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The finish page never starts the program with the setup's administrator rights.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Russian"

Var CommandLineDir ; /D=FOLDER, which the install mode must not overwrite

; Asks a running copy to close the way its own "Выход" does (it saves its choices and says
; goodbye to the server), then waits until it is gone, so that its file can be replaced.
!macro CLOSE_RUNNING_FUNCTION UN
Function ${UN}CloseRunning
  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  StrCmp $0 0 closed
  DetailPrint "Закрытие запущенной программы ${APP_NAME}"
ask:
  ; The program waits up to 5 s for its worker while it closes.
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=10000
  StrCpy $1 0
wait:
  Sleep 200
  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  StrCmp $0 0 gone
  IntOp $1 $1 + 1
  IntCmp $1 75 0 wait
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
    "Программа ${APP_NAME} не закрылась. Закройте её и нажмите «Повтор»." \
    /SD IDCANCEL IDRETRY ask
  SetErrorLevel 2
  Abort "Программа ${APP_NAME} ещё запущена."
gone:
  Sleep 500 ; the window goes with the process: give the process time to release its file
closed:
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_FUNCTION ""
!insertmacro CLOSE_RUNNING_FUNCTION "un."

; The MSI package and an all-users installation of this setup would share Program Files'
; folder, shortcut and program: each would remove the other's files. Administrators use one.
Function RefuseOverMsi
  System::Call 'msi::MsiEnumRelatedProductsW(w "${MSI_UPGRADE_CODE}", i 0, i 0, w .r1) i .r0'
  StrCmp $0 0 0 done
  MessageBox MB_OK|MB_ICONSTOP \
    "Программа ${APP_NAME} уже установлена для всех пользователей из пакета MSI. Обновляйте \
её новым пакетом MSI или удалите её в «Программах и компонентах»." \
    /SD IDOK
  SetErrorLevel 2
  Quit
done:
FunctionEnd

Function OnInstallModeChosen
  ${If} $CommandLineDir != ""
    StrCpy $INSTDIR $CommandLineDir
    Return
  ${EndIf}
  ; Installing again goes to the folder of the earlier installation in the same mode.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

; An elevated setup (whose rights a program it starts would inherit) hands the start to
; Explorer, the signed-in user's shell, which starts the program with that user's own rights.
Function StartProgram
  ${If} $MultiUser.Privileges == "Admin"
  ${OrIf} $MultiUser.Privileges == "Power"
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\${EXE_NAME}"'
  ${Else}
    Exec '"$INSTDIR\${EXE_NAME}"'
  ${EndIf}
FunctionEnd

; Without a shell to hand it to, an elevated setup offers no start at all.
Function FinishPageShow
  ${If} $MultiUser.Privileges == "Admin"
  ${OrIf} $MultiUser.Privileges == "Power"
    FindWindow $0 "Shell_TrayWnd"
    ${If} $0 == 0
      SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
      ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInit
  StrCpy $CommandLineDir $INSTDIR
  !insertmacro MULTIUSER_INIT
FunctionEnd

Section "Программа" SecProgram
  SectionIn RO
  ${If} $MultiUser.InstallMode == "AllUsers"
    Call RefuseOverMsi
  ${EndIf}
  Call CloseRunning
  SetOutPath "$INSTDIR"
  File "/oname=${EXE_NAME}" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut starts the program in its folder, where a log (LOG_LEVEL) is written.
  CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "un.Программа" SecUnProgram
  SectionIn RO
  Call un.CloseRunning

  Delete "$INSTDIR\${EXE_NAME}"
  Delete "$INSTDIR\uninstall.exe"
  ; Run from its temporary copy, the uninstaller that started it may still be closing, and its
  ; file frees a moment later. (Run in place, it cannot delete itself at all.)
  StrCmp "$EXEDIR" "$INSTDIR" uninstaller_deleted
  StrCpy $0 0
  uninstaller_in_use:
    IfFileExists "$INSTDIR\uninstall.exe" 0 uninstaller_deleted
    IntOp $0 $0 + 1
    IntCmp $0 50 uninstaller_deleted
    Sleep 100
    Delete "$INSTDIR\uninstall.exe"
    Goto uninstaller_in_use
  uninstaller_deleted:
  Delete "$INSTDIR\zerva_client_*.log"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP_NAME}.lnk"

  ; Autostart would start a program that is no longer there.
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Настройки и сохранённый пароль" SecUnSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  ; The mode follows the installation that this uninstaller belongs to, not the user's rights.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 == $INSTDIR
    ${If} $MultiUser.Privileges != "Admin"
    ${AndIf} $MultiUser.Privileges != "Power"
      MessageBox MB_OK|MB_ICONSTOP \
        "Программа установлена для всех пользователей: удалить её может только администратор." \
        /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
    Call un.MultiUser.InstallMode.AllUsers
  ${Else}
    Call un.MultiUser.InstallMode.CurrentUser
  ${EndIf}

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecUnSettings} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
