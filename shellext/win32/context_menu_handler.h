#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "shell_resources.h"

// The context-menu handler the shell creates for each right-click: keeps the
// selected paths, offers "Descargar Subtítulos" when the last of them is a
// video, and on a command starts the wizard once per file. Its IUnknown
// identity is its IContextMenu part.
class Corvelle final : public IShellExtInit, public IContextMenu {
 public:
  // Creates a handler and asks it for `iid`; the new object is freed again
  // when it lacks that interface.
  static HRESULT CreateInstance(REFIID iid, void** object);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IShellExtInit
  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* dataObject,
                          HKEY programKey) override;

  // IContextMenu
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstCommand, UINT lastCommand,
                                UINT flags) override;
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  STDMETHODIMP GetCommandString(UINT_PTR command, UINT kind, UINT* reserved, CHAR* buffer,
                                UINT size) override;

 private:
  Corvelle();
  ~Corvelle();

  HRESULT ReadNarrowDropList(HDROP drop);
  HRESULT InsertMenuItems(HMENU menu, UINT index, UINT firstCommand, HBITMAP flag);

  LONG references_ = 1;
  std::wstring LastPath;                   // the last path read, tested for the extension
  std::vector<std::wstring> SelectedPaths;  // in the selection's order
};
