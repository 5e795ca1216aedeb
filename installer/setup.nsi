; The Windows setup program: installs the wizard and the Explorer extension
; into one folder under the 64-bit Program Files, registers the extension
; and adds one entry to the list of installed programs.
;
; Built by scripts/build-installer, which passes:
;   VERSION      product version, "1.0"
;   FILE_VERSION four-part version for the setup's own properties, "1.0.0.0"
;   PUBLISHER    the publisher's name
;   WIZARD       path of the i686 Morvane.exe
;   EXTENSION    path of the x86_64 Corvelle.dll
;   OUTFILE      path of the setup program to write

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all
; Users look for "setup.exe"; the name is kept despite makensis's warning about
; installer-detection shims, and the program asks for administrator rights
; explicitly above.
!pragma warning disable 9000

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Morvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT} ${VERSION}"
Caption "Instalación de ${PRODUCT} ${VERSION}"
UninstallCaption "Desinstalación de ${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=1034 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1034 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1034 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1034 "FileDescription" "Instalación de ${PRODUCT}"
VIAddVersionKey /LANG=1034 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1034 "LegalCopyright" "© ${PUBLISHER}"

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Este asistente instalará ${PRODUCT} ${VERSION}, que descarga subtítulos para sus vídeos.$\r$\n$\r$\nDespués de instalarlo, haga clic con el botón derecho en un vídeo del Explorador y elija «Descargar Subtítulos».$\r$\n$\r$\nHaga clic en Siguiente para continuar."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} ${VERSION} se ha instalado. La orden «Descargar Subtítulos» está en el menú contextual de los vídeos del Explorador."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Spanish"

Function .onInit
  ; The extension is a 64-bit server that only a 64-bit Explorer loads.
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} necesita Windows de 64 bits: la extensión del Explorador es de 64 bits." /SD IDOK
    SetErrorLevel 1
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; Puts a new copy of FILE into the install folder even while the old one is
; in use (Explorer keeps the extension loaded): the old file is moved aside
; and removed at the next restart.
!macro PlaceFile SOURCE NAME
  ClearErrors
  Delete "$INSTDIR\${NAME}"
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    Delete "$INSTDIR\${NAME}.old"
    Rename "$INSTDIR\${NAME}" "$INSTDIR\${NAME}.old"
    Delete /REBOOTOK "$INSTDIR\${NAME}.old"
  ${EndIf}
  ClearErrors
  File "/oname=${NAME}" "${SOURCE}"
  ${If} ${Errors}
    MessageBox MB_ICONSTOP|MB_OK "No se pudo escribir $INSTDIR\${NAME}." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend

Section "${PRODUCT}" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  !insertmacro PlaceFile "${WIZARD}" "Morvane.exe"
  !insertmacro PlaceFile "${EXTENSION}" "Corvelle.dll"

  ClearErrors
  RegDLL "$INSTDIR\Corvelle.dll"
  ${If} ${Errors}
    MessageBox MB_ICONSTOP|MB_OK "No se pudo registrar la extensión del Explorador (Corvelle.dll)." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${UNINSTALLER},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; Unregistering first: Explorer stops offering the menu at once, even if
  ; the file itself can only go at the next restart.
  UnRegDLL "$INSTDIR\Corvelle.dll"
  Delete /REBOOTOK "$INSTDIR\Corvelle.dll"
  Delete /REBOOTOK "$INSTDIR\Corvelle.dll.old"
  Delete /REBOOTOK "$INSTDIR\Morvane.exe"
  Delete /REBOOTOK "$INSTDIR\Morvane.exe.old"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${If} ${RebootFlag}
    MessageBox MB_ICONINFORMATION|MB_OK "Algunos archivos de ${PRODUCT} están en uso y se borrarán cuando reinicie Windows." /SD IDOK
    ; Tells an administrator's script the same: a restart finishes the job.
    SetErrorLevel 3010
  ${EndIf}
SectionEnd
