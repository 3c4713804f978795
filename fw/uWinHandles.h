// RAII owners for Windows handles and locks, and scope guards.
#pragma once
#include <windows.h>
#include <wincrypt.h>
#include <winsvc.h>
#include <wintrust.h>
#include <mscat.h>
#include <msi.h>

#include <utility>

namespace vt {

// One owner for every handle kind: Traits says what "none" is and how to close.
// Not copyable; moving hands the handle over.
template <class T, class Traits>
class TUniqueHandle {
public:
  TUniqueHandle() = default;
  explicit TUniqueHandle(T h) : FHandle(h) {}
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  TUniqueHandle(TUniqueHandle&& o) noexcept : FHandle(o.Release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  ~TUniqueHandle() { Reset(); }

  // Closes the handle held (if any) and takes h.
  void Reset(T h = Traits::None()) {
    T old = std::exchange(FHandle, h);
    if (Traits::IsValid(old)) Traits::Close(old);
  }
  T Get() const { return FHandle; }
  // Gives the handle up without closing it.
  T Release() { return std::exchange(FHandle, Traits::None()); }
  bool Valid() const { return Traits::IsValid(FHandle); }
  explicit operator bool() const { return Valid(); }
  // For functions that return a handle through a pointer: closes the old one first.
  T* Out() {
    Reset();
    return &FHandle;
  }

private:
  T FHandle = Traits::None();
};

// A handle type whose "none" is the null value, closed by CloseFn (its result is ignored).
template <class T, auto CloseFn>
struct TNullHandleTraits {
  static constexpr T None() { return T(); }
  static bool IsValid(T h) { return h != T(); }
  static void Close(T h) { (void)CloseFn(h); }
};

// Kernel handles: both 0 and INVALID_HANDLE_VALUE mean none.
struct TKernelHandleTraits {
  static HANDLE None() { return nullptr; }
  static bool IsValid(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};

using THandle = TUniqueHandle<HANDLE, TKernelHandleTraits>;
using THKey = TUniqueHandle<HKEY, TNullHandleTraits<HKEY, &RegCloseKey>>;
using TModuleHandle = TUniqueHandle<HMODULE, TNullHandleTraits<HMODULE, &FreeLibrary>>;
using TFindHandle = TUniqueHandle<HANDLE, TNullHandleTraits<HANDLE, &FindClose>>;  // never INVALID_HANDLE_VALUE: store only a valid result
template <class G>
using TGdiHandle = TUniqueHandle<G, TNullHandleTraits<G, &DeleteObject>>;
using THFont = TGdiHandle<HFONT>;
using THBitmap = TGdiHandle<HBITMAP>;
using THBrush = TGdiHandle<HBRUSH>;
using THPen = TGdiHandle<HPEN>;
using THRgn = TGdiHandle<HRGN>;
using THdcMem = TUniqueHandle<HDC, TNullHandleTraits<HDC, &DeleteDC>>;  // from CreateCompatibleDC
using THWnd = TUniqueHandle<HWND, TNullHandleTraits<HWND, &DestroyWindow>>;
using TMappedView = TUniqueHandle<void*, TNullHandleTraits<void*, &UnmapViewOfFile>>;  // from MapViewOfFile
using TScHandle = TUniqueHandle<SC_HANDLE, TNullHandleTraits<SC_HANDLE, &CloseServiceHandle>>;  // manager or service
inline BOOL CertCloseStoreNoFlags(HCERTSTORE h) { return CertCloseStore(h, 0); }
using TCertStore = TUniqueHandle<HCERTSTORE, TNullHandleTraits<HCERTSTORE, &CertCloseStoreNoFlags>>;
using TCryptMsg = TUniqueHandle<HCRYPTMSG, TNullHandleTraits<HCRYPTMSG, &CryptMsgClose>>;
using TCertContext = TUniqueHandle<PCCERT_CONTEXT, TNullHandleTraits<PCCERT_CONTEXT, &CertFreeCertificateContext>>;
inline BOOL CatAdminRelease(HCATADMIN h) { return CryptCATAdminReleaseContext(h, 0); }
using TCatAdmin = TUniqueHandle<HCATADMIN, TNullHandleTraits<HCATADMIN, &CatAdminRelease>>;
using TMsiHandle = TUniqueHandle<MSIHANDLE, TNullHandleTraits<MSIHANDLE, &MsiCloseHandle>>;  // msi.dll
template <class I>
ULONG ComRelease(I* p) { return p->Release(); }
template <class I>
using TComRef = TUniqueHandle<I*, TNullHandleTraits<I*, &ComRelease<I>>>;  // one COM reference

// Runs F when the scope ends, unless released.
template <class F>
class TScopeExit {
public:
  explicit TScopeExit(F f) : FFunc(std::move(f)) {}
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;
  ~TScopeExit() {
    if (FActive) FFunc();
  }
  void Release() { FActive = false; }

private:
  F FFunc;
  bool FActive = true;
};
template <class F>
[[nodiscard]] TScopeExit<F> ScopeExit(F f) {
  return TScopeExit<F>(std::move(f));
}

// A re-entrant critical section.
class TCriticalSection {
public:
  TCriticalSection() { InitializeCriticalSection(&FCs); }
  ~TCriticalSection() { DeleteCriticalSection(&FCs); }
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;
  void Enter() { EnterCriticalSection(&FCs); }
  void Leave() { LeaveCriticalSection(&FCs); }

private:
  CRITICAL_SECTION FCs;
};

class TCsLock {
public:
  explicit TCsLock(TCriticalSection& cs) : FCs(cs) { FCs.Enter(); }
  ~TCsLock() { FCs.Leave(); }
  TCsLock(const TCsLock&) = delete;
  TCsLock& operator=(const TCsLock&) = delete;

private:
  TCriticalSection& FCs;
};

// Multi-reader/single-writer lock.
class TRWLock {
public:
  TRWLock() { InitializeSRWLock(&FLock); }
  TRWLock(const TRWLock&) = delete;
  TRWLock& operator=(const TRWLock&) = delete;
  void BeginRead() { AcquireSRWLockShared(&FLock); }
  void EndRead() { ReleaseSRWLockShared(&FLock); }
  void BeginWrite() { AcquireSRWLockExclusive(&FLock); }
  void EndWrite() { ReleaseSRWLockExclusive(&FLock); }
  SRWLOCK* Native() { return &FLock; }

private:
  SRWLOCK FLock;
};

// Shared and exclusive guards of an SRW lock (TRWLock or a plain SRWLOCK).
class TReadLock {
public:
  explicit TReadLock(TRWLock& l) : FLock(l.Native()) { AcquireSRWLockShared(FLock); }
  explicit TReadLock(SRWLOCK& l) : FLock(&l) { AcquireSRWLockShared(FLock); }
  ~TReadLock() { ReleaseSRWLockShared(FLock); }
  TReadLock(const TReadLock&) = delete;
  TReadLock& operator=(const TReadLock&) = delete;

private:
  SRWLOCK* FLock;
};

class TWriteLock {
public:
  explicit TWriteLock(TRWLock& l) : FLock(l.Native()) { AcquireSRWLockExclusive(FLock); }
  explicit TWriteLock(SRWLOCK& l) : FLock(&l) { AcquireSRWLockExclusive(FLock); }
  ~TWriteLock() { ReleaseSRWLockExclusive(FLock); }
  TWriteLock(const TWriteLock&) = delete;
  TWriteLock& operator=(const TWriteLock&) = delete;

private:
  SRWLOCK* FLock;
};

// Restores the thread's last-error value on scope exit.
class TPreserveLastError {
public:
  TPreserveLastError() : FCode(GetLastError()) {}
  ~TPreserveLastError() { SetLastError(FCode); }
  TPreserveLastError(const TPreserveLastError&) = delete;
  TPreserveLastError& operator=(const TPreserveLastError&) = delete;

private:
  DWORD FCode;
};

}  // namespace vt
