// RAII owners for Windows handles and locks.
#pragma once
#include <windows.h>

#include <utility>

namespace vt {

// A kernel handle closed with CloseHandle; INVALID_HANDLE_VALUE and 0 both mean none.
class THandle {
public:
  THandle() = default;
  explicit THandle(HANDLE h) : FHandle(h) {}
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  THandle(THandle&& o) noexcept : FHandle(std::exchange(o.FHandle, nullptr)) {}
  THandle& operator=(THandle&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.FHandle, nullptr));
    return *this;
  }
  ~THandle() { Reset(); }
  void Reset(HANDLE h = nullptr) {
    if (Valid()) CloseHandle(FHandle);
    FHandle = h;
  }
  HANDLE Get() const { return FHandle; }
  HANDLE Release() { return std::exchange(FHandle, nullptr); }
  bool Valid() const { return FHandle && FHandle != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return Valid(); }

private:
  HANDLE FHandle = nullptr;
};

// An open registry key.
class THKey {
public:
  THKey() = default;
  THKey(const THKey&) = delete;
  THKey& operator=(const THKey&) = delete;
  ~THKey() { Reset(); }
  void Reset() {
    if (FKey) RegCloseKey(FKey);
    FKey = nullptr;
  }
  HKEY* Out() {
    Reset();
    return &FKey;
  }
  HKEY Get() const { return FKey; }
  explicit operator bool() const { return FKey != nullptr; }

private:
  HKEY FKey = nullptr;
};

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

private:
  SRWLOCK FLock;
};

class TReadLock {
public:
  explicit TReadLock(TRWLock& l) : FLock(l) { FLock.BeginRead(); }
  ~TReadLock() { FLock.EndRead(); }
  TReadLock(const TReadLock&) = delete;
  TReadLock& operator=(const TReadLock&) = delete;

private:
  TRWLock& FLock;
};

// Restores the thread's last-error value on scope exit.
class TPreserveLastError {
public:
  TPreserveLastError() : FCode(GetLastError()) {}
  ~TPreserveLastError() { SetLastError(FCode); }

private:
  DWORD FCode;
};

}  // namespace vt
