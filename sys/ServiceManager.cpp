#include "sys/ServiceManager.h"

#include "log/DebugLogUtils.h"

namespace vt {

TServiceManager::~TServiceManager() {
  // Handles are released in the reverse order of opening.
  ServiceHandle.Reset();
  ServiceControlManager.Reset();
}

bool TServiceManager::Connect(const std::wstring& MachineName, const std::wstring& DatabaseName, DWORD Access) {
  DesiredAccess = Access;
  ServiceHandle.Reset();
  FServiceName.clear();
  const wchar_t* machine = MachineName == L"." || MachineName.empty() ? nullptr : MachineName.c_str();
  const wchar_t* database = DatabaseName.empty() ? nullptr : DatabaseName.c_str();
  ServiceControlManager.Reset(OpenSCManagerW(machine, database, Access));
  FLastError = GetLastError();
  return static_cast<bool>(ServiceControlManager);
}

bool TServiceManager::OpenServiceConnection(const std::wstring& ServiceName) {
  ServiceHandle.Reset();
  if (ServiceControlManager) {
    ServiceHandle.Reset(OpenServiceW(ServiceControlManager.Get(), ServiceName.c_str(), DesiredAccess));
    FLastError = GetLastError();
  } else {
    FLastError = ERROR_INVALID_HANDLE;
  }
  const bool opened = static_cast<bool>(ServiceHandle);
  FServiceName = opened ? ServiceName : std::wstring();
  LogFmt(L"OpenServiceConnection: '%s'; %s", {ServiceName, opened});
  return opened;
}

void TServiceManager::CloseServiceConnection() {
  ServiceHandle.Reset();
  FServiceName.clear();
}

bool ServiceExists(const std::wstring& Name) {
  try {
    TServiceManager manager;
    if (!manager.Connect(L".", L"", SC_MANAGER_CONNECT)) return false;
    const bool opened = manager.OpenServiceConnection(Name);
    if (opened) manager.CloseServiceConnection();
    return opened;
  } catch (...) {
    return false;
  }
}

}  // namespace vt
