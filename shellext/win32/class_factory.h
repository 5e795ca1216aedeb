#pragma once

#include <windows.h>
#include <unknwn.h>

// The class identifier of the context-menu handler.
extern const CLSID CLSID_Corvelle;

// Makes handler objects for COM. Each factory counts one in
// ModuleObjectCount while it lives; so does each outstanding server lock.
class ClassFactory final : public IClassFactory {
 public:
  // Creates a factory and asks it for `iid`; the new factory is freed again
  // when it lacks that interface.
  static HRESULT Create(REFIID iid, void** object);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  ClassFactory();
  ~ClassFactory();

  LONG references_ = 1;
};
