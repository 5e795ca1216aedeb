#include "class_factory.h"

#include <new>

#include "context_menu_handler.h"
#include "module_state.h"

// {236F17A4-A013-41A6-AF17-02BF3991F75C}
const CLSID CLSID_Corvelle = {
    0x236F17A4, 0xA013, 0x41A6, {0xAF, 0x17, 0x02, 0xBF, 0x39, 0x91, 0xF7, 0x5C}};

ClassFactory::ClassFactory() { ModuleObjectAdded(); }

ClassFactory::~ClassFactory() { ModuleObjectRemoved(); }

HRESULT ClassFactory::Create(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  ClassFactory* factory = new (std::nothrow) ClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT result = factory->QueryInterface(iid, object);
  factory->Release();
  return result;
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IClassFactory) || IsEqualIID(iid, IID_IUnknown)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() { return InterlockedIncrement(&references_); }

STDMETHODIMP_(ULONG) ClassFactory::Release() {
  const LONG count = InterlockedDecrement(&references_);
  if (count == 0) delete this;
  return count;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return Corvelle::CreateInstance(iid, object);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    ServerLocked();
  } else {
    ServerUnlocked();
  }
  return S_OK;
}
