#include "context_menu_handler.h"

#include <shellapi.h>

#include <cstddef>

#include "context_menu_rules.h"
#include "drop_list.h"
#include "menu_bitmap.h"
#include "module_state.h"
#include "wizard_launch.h"

Corvelle::Corvelle() { ModuleObjectAdded(); }

Corvelle::~Corvelle() { ModuleObjectRemoved(); }

HRESULT Corvelle::CreateInstance(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  Corvelle* handler = new (std::nothrow) Corvelle();
  if (!handler) return E_OUTOFMEMORY;
  const HRESULT result = handler->QueryInterface(iid, object);
  handler->Release();
  return result;
}

STDMETHODIMP Corvelle::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IShellExtInit)) {
    *object = static_cast<IShellExtInit*>(this);
  } else if (IsEqualIID(iid, IID_IContextMenu) || IsEqualIID(iid, IID_IUnknown)) {
    *object = static_cast<IContextMenu*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) Corvelle::AddRef() { return InterlockedIncrement(&references_); }

STDMETHODIMP_(ULONG) Corvelle::Release() {
  const LONG count = InterlockedDecrement(&references_);
  if (count == 0) delete this;
  return count;
}

STDMETHODIMP Corvelle::Initialize(PCIDLIST_ABSOLUTE, IDataObject* dataObject, HKEY) {
  return GuardedCall([&]() -> HRESULT {
    if (!dataObject) return E_INVALIDARG;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    StorageMedium medium;
    if (FAILED(dataObject->GetData(&format, medium.put()))) return E_FAIL;
    GlobalLockGuard lock(medium.get().hGlobal);
    if (!lock.data()) return E_FAIL;

    // The list is read in one pass; asking the platform for each path in
    // turn walks the list from its start every time.
    DropList list =
        ReadDropList(lock.data(), GlobalSize(medium.get().hGlobal), kMaxSelectedFiles);
    if (list.form == DropList::Form::Narrow) {
      return ReadNarrowDropList(static_cast<HDROP>(medium.get().hGlobal));
    }
    if (list.form == DropList::Form::Damaged) return E_FAIL;
    const size_t count = list.names.size() + (list.moreNames ? 1 : 0);
    if (!AcceptsSelectionSize(count)) return E_FAIL;
    for (std::wstring& path : list.names) SelectedPaths.push_back(std::move(path));
    LastPath = SelectedPaths.back();
    return S_OK;
  });
}

// A list of 8-bit names, rare nowadays: the platform converts each path.
HRESULT Corvelle::ReadNarrowDropList(HDROP drop) {
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  if (!AcceptsSelectionSize(count)) return E_FAIL;
  HRESULT result = E_FAIL;
  for (UINT i = 0; i < count; ++i) {
    // Ask for the length first so that a long path is read whole.
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    const UINT read = length ? DragQueryFileW(drop, i, path.data(), length + 1) : 0;
    if (read == 0) {
      result = E_FAIL;
      continue;
    }
    path.resize(read);
    SelectedPaths.push_back(path);
    LastPath = std::move(path);
    result = S_OK;
  }
  return result;
}

STDMETHODIMP Corvelle::QueryContextMenu(HMENU menu, UINT index, UINT firstCommand,
                                        UINT lastCommand, UINT flags) {
  return GuardedCall([&]() -> HRESULT {
    switch (DecideMenuOffer(LastPath, flags, firstCommand, lastCommand)) {
      case MenuOffer::NotAVideo:
        return LastErrorResult();
      case MenuOffer::DefaultOnly:
      case MenuOffer::NoRoom:
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
      case MenuOffer::Commands:
        break;
    }
    return InsertMenuItems(menu, index, firstCommand, MenuBitmap());
  });
}

HRESULT Corvelle::InsertMenuItems(HMENU menu, UINT index, UINT firstCommand, HBITMAP flag) {
  UINT position = index;
  for (const TopMenuItem item : kTopMenuLayout) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    if (item == TopMenuItem::Separator) {
      info.fMask = MIIM_TYPE;
      info.fType = MFT_SEPARATOR;
      if (!InsertMenuItemW(menu, position, TRUE, &info)) return LastErrorResult();
      ++position;
      continue;
    }

    UniqueMenu submenu(CreatePopupMenu());
    if (!submenu) return LastErrorResult();
    UINT commandPosition = 0;
    for (const MenuCommandInfo& command : MenuCommands) {
      if (!InsertMenuW(submenu.get(), commandPosition, MF_BYPOSITION | MF_STRING,
                       firstCommand + command.command, command.menuText)) {
        return LastErrorResult();
      }
      SetMenuItemBitmaps(submenu.get(), commandPosition, MF_BYPOSITION, flag, flag);
      ++commandPosition;
    }

    // The submenu item carries the first command's identifier.
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_BITMAP | MIIM_FTYPE;
    info.fType = MFT_STRING;
    info.fState = MFS_ENABLED;
    info.wID = firstCommand + CommandBestSubtitle;
    info.hSubMenu = submenu.get();
    info.dwTypeData = const_cast<LPWSTR>(kSubmenuText);
    info.hbmpItem = flag;
    if (!InsertMenuItemW(menu, position, TRUE, &info)) return LastErrorResult();
    submenu.release();  // now destroyed with the shell's menu
    ++position;
  }
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, kMenuCommandCount);
}

STDMETHODIMP Corvelle::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  return GuardedCall([&]() -> HRESULT {
    if (!info || info->cbSize < sizeof(CMINVOKECOMMANDINFO)) return E_INVALIDARG;
    InvocationFields fields;
    fields.mask = info->fMask;
    fields.verb = reinterpret_cast<std::uintptr_t>(info->lpVerb);
    // The UTF-16 verb exists only in the extended structure.
    constexpr size_t kVerbWEnd =
        offsetof(CMINVOKECOMMANDINFOEX, lpVerbW) + sizeof(CMINVOKECOMMANDINFOEX::lpVerbW);
    if (info->cbSize >= kVerbWEnd) {
      fields.verbW = reinterpret_cast<std::uintptr_t>(
          reinterpret_cast<const CMINVOKECOMMANDINFOEX*>(info)->lpVerbW);
    }
    const InvocationDecision decision = DecideInvocation(fields);
    if (!decision.command) return E_FAIL;

    // The fingerprints and the wizards run on a thread of their own: the
    // caller's window (Explorer's, a file dialog's) must keep answering
    // while a wizard is open.
    WizardCommand command;
    command.owner = info->hwnd;
    command.paths = SelectedPaths;
    command.command = *decision.command;
    command.programPath = WizardProgramPath();
    command.showUi = decision.showUi;
    return StartWizardCommand(std::move(command));
  });
}

STDMETHODIMP Corvelle::GetCommandString(UINT_PTR, UINT kind, UINT*, CHAR* buffer, UINT size) {
  // No verbs and no help texts: a request for a text gets an empty one, so
  // the caller never reads a buffer nobody wrote.
  if ((kind & GCS_VALIDATEA) == 0 && buffer && size > 0) {
    if (kind & GCS_UNICODE) {
      *reinterpret_cast<WCHAR*>(buffer) = L'\0';
    } else {
      *buffer = '\0';
    }
  }
  return S_OK;
}
