#include "worker/VtThreadUtils.h"

#include <map>

#include "log/DebugLogUtils.h"

namespace vt {
namespace {

// The process-wide table of thread names: constant-initialised lock, table
// made on first use, so nothing runs before the program's start-up.
SRWLOCK gNamesLock = SRWLOCK_INIT;
std::map<DWORD, std::wstring>* gNames = nullptr;

void SetThreadNameEntry(DWORD ThreadId, const std::wstring& Name) {
  TWriteLock lock(gNamesLock);
  if (!gNames) gNames = new std::map<DWORD, std::wstring>();
  (*gNames)[ThreadId] = Name;
}

void RemoveThreadNameEntry(DWORD ThreadId) {
  TWriteLock lock(gNamesLock);
  if (gNames) gNames->erase(ThreadId);
}

}  // namespace

TVtThread::TVtThread(std::wstring_view AClassName) : FClassName(AClassName) {
  SetThreadNameEntry(ThreadID(), FClassName);
  NameThreadForDebugger(ThreadID(), FClassName);
  LogFmt(L"TET+%s:%d", {FClassName, ThreadID()});
}

TVtThread::~TVtThread() {
  DWORD id = ThreadID();
  RemoveThreadNameEntry(id);
  // The base destructor, which closes the platform thread, runs after this
  // line; the body has ended by now (the derived destructors wait for it).
  LogFmt(L"TET-%s:%d", {FClassName, id});
}

void TVtThread::SynchronizeEx(const std::function<void()>& Method) {
  if (!Method) return;
  SynchronizeCall(Method);  // runs at once on the window thread
}

std::wstring VtThreadName(DWORD ThreadId) {
  TReadLock lock(gNamesLock);
  if (!gNames) return {};
  auto it = gNames->find(ThreadId);
  return it == gNames->end() ? std::wstring() : it->second;
}

void VtThreadUtilsFinalization() {
  TWriteLock lock(gNamesLock);
  delete gNames;
  gNames = nullptr;
}

}  // namespace vt
