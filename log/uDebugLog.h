// The log target: owns the log file, composes and writes each line.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fw/uWinHandles.h"

namespace vt {

// Indentation level per thread id; entries live until the map is destroyed.
class TIndentsMap {
public:
  TIndentsMap();
  ~TIndentsMap();
  TIndentsMap(const TIndentsMap&) = delete;
  TIndentsMap& operator=(const TIndentsMap&) = delete;

  int32_t GetIndent(DWORD ThreadId) const;
  void IncIndent(DWORD ThreadId, int32_t Value);
  void DecIndent(DWORD ThreadId, int32_t Value) { IncIndent(ThreadId, -Value); }
  static unsigned Bucket(DWORD ThreadId);

private:
  struct TEntry {
    DWORD ThreadId;
    int32_t Indent;
    TEntry* Next;
  };
  static constexpr unsigned kBuckets = 1024;
  TEntry* fHashTable[kBuckets];
};

struct FLockInfo {
  DWORD TID;
  int32_t LockCnt;
};

class TLogInfo {
public:
  TLogInfo();
  ~TLogInfo();
  TLogInfo(const TLogInfo&) = delete;
  TLogInfo& operator=(const TLogInfo&) = delete;

  const std::wstring& FileName() const { return FFileName; }
  void SetFileName(const std::wstring& Value);
  TIndentsMap& IndentsMap() { return FIndentsMap; }
  bool FileOpened() const { return FFileOpened; }

  void LockDebugLogging();
  void UnlockDebugLogging();
  bool IsDebugLoggingLocked() const;

  // Composes and writes one line for ThreadId; IsDefault selects the default
  // target's extra column and indentation. Run inside the log's critical section.
  void WriteLine(DWORD ThreadId, std::wstring_view Message, bool IsDefault);

private:
  bool OpenFile();
  void CloseFile();

  std::wstring FFileName;
  THandle FFile;
  wchar_t FTimeSeparator = L':';
  bool FFileOpened = false;
  TIndentsMap FIndentsMap;
  std::vector<FLockInfo> FLocksInfo;
};

// The process-wide critical section around composing and writing lines.
TCriticalSection& DebugLogLock();
// The default target; null before start-up and after shutdown.
TLogInfo* DefaultLogTarget();
// The default log path for BaseName ("" = the executable's name); empty when
// longer than 259 characters.
std::wstring MakeDefaultLogFileName(std::wstring_view BaseName);

// The writer bound to the log API: resolves the target, enters the critical
// section and runs the line writer.
void DebugLogWrite(const wchar_t* Message, TLogInfo* Target);
void DebugLogLockThread(TLogInfo* Target);
void DebugLogUnlockThread(TLogInfo* Target);

// Reads a flag under HKLM\SOFTWARE\Velt Software GmbH in the 32-bit view.
// Mode 1: the value exists and reads as the integer 1. Mode 2: the value exists.
bool ReadMakerRegistryFlag(const wchar_t* Name, int Mode);
inline constexpr const wchar_t* kMakerRegistryKey = L"SOFTWARE\\Velt Software GmbH";

void DebugLogInitialization();
void DebugLogFinalization();

}  // namespace vt
