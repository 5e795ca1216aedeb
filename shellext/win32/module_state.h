#pragma once

#include <windows.h>

#include <new>

// Instance handle of the extension module, stored when the module is
// attached to a process; the menu bitmap is loaded from it.
extern HINSTANCE ModuleInstance;

// Everything that keeps the module in use: each live class factory, each
// live handler object and each outstanding server lock counts one. Changed
// only by interlocked increments and decrements.
extern LONG ModuleObjectCount;

inline void ModuleObjectAdded() { InterlockedIncrement(&ModuleObjectCount); }
inline void ModuleObjectRemoved() { InterlockedDecrement(&ModuleObjectCount); }

// Server locks, counted on their own as well so that an unlock without a
// lock before it is ignored: it can neither take ModuleObjectCount below
// zero nor undo what a live object counts.
void ServerLocked();
void ServerUnlocked();

// Runs `body` (returning an HRESULT) so that no exception leaves a COM method
// or an export: running out of memory gives E_OUTOFMEMORY, anything else
// E_FAIL.
template <typename Body>
HRESULT GuardedCall(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The thread's last Win32 error as a result of the Win32 facility.
HRESULT LastErrorResult();
