// exit_probe.exe CASE: the program's top level (RunProgram) over the product's
// log units and two units of its own, with one failure forced where CASE says:
//   none     nothing fails; the application returns 7
//   start    the second unit's start-up raises
//   run      the application raises
//   foreign  the application raises something that is not an exception class
//   stop     the first unit's shutdown raises
// Exit code: RunProgram's result; 100 for wrong arguments.
#include <windows.h>

#include <cwchar>
#include <stdexcept>

#include "app/uStartup.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"

namespace {

const wchar_t* gCase = L"none";
bool Is(const wchar_t* c) { return wcscmp(gCase, c) == 0; }

void StartA() { vt::LogLine(L"A started"); }
void StopA() {
  vt::LogLine(L"A stopping");
  if (Is(L"stop")) throw std::runtime_error("A cannot stop");
}
void StartB() {
  if (Is(L"start")) throw vt::EOSError(L"B cannot start", ERROR_ACCESS_DENIED);
  vt::LogLine(L"B started");
}
void StopB() { vt::LogLine(L"B stopped"); }

int Run() {
  vt::LogLine(L"application runs");
  if (Is(L"run")) throw vt::EConvertError(L"the application failed");
  if (Is(L"foreign")) throw 42;
  return 7;
}

const vt::TUnit kUnits[] = {
    {L"uDebugLog", &vt::DebugLogInitialization, &vt::DebugLogFinalization},
    {L"DebugLogUtils", &vt::DebugLogUtilsInitialization, &vt::DebugLogUtilsFinalization},
    {L"A", &StartA, &StopA},
    {L"B", &StartB, &StopB},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 100;
  gCase = argv[1];
  return vt::RunProgram(&Run, kUnits);
}
