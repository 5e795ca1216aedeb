// Entry point and exports of Corvelle.dll.
#include <windows.h>

#include "class_factory.h"
#include "menu_bitmap.h"
#include "module_state.h"
#include "registration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    ModuleInstance = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    // Unloaded while the process goes on (COM found it unused): the flag
    // goes with it. At the process's end the system takes it anyway.
    ReleaseMenuBitmap();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
  return GuardedCall([&]() -> HRESULT {
    if (!IsEqualCLSID(classId, CLSID_Corvelle)) return CLASS_E_CLASSNOTAVAILABLE;
    return ClassFactory::Create(iid, object);
  });
}

STDAPI DllCanUnloadNow() { return ModuleObjectCount > 0 ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() { return RegisterServer(ModuleInstance); }

STDAPI DllUnregisterServer() { return UnregisterServer(); }
