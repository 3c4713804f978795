// A small wrapper of the Service Control Manager, used to probe for the
// maker's installed services by name.
#pragma once
#include <windows.h>

#include <string>

#include "fw/uWinHandles.h"

namespace vt {

class TServiceManager {
public:
  TServiceManager() = default;
  TServiceManager(const TServiceManager&) = delete;
  TServiceManager& operator=(const TServiceManager&) = delete;
  ~TServiceManager();

  // MachineName "." is the local machine; DatabaseName empty means none.
  bool Connect(const std::wstring& MachineName, const std::wstring& DatabaseName, DWORD Access);
  bool OpenServiceConnection(const std::wstring& ServiceName);
  void CloseServiceConnection();

  DWORD LastError() const { return FLastError; }
  const std::wstring& ServiceName() const { return FServiceName; }
  bool Connected() const { return static_cast<bool>(ServiceControlManager); }
  bool ServiceOpen() const { return static_cast<bool>(ServiceHandle); }

  DWORD DesiredAccess = 0;
  TScHandle ServiceHandle;
  TScHandle ServiceControlManager;

private:
  DWORD FLastError = 0;
  std::wstring FServiceName;
};

// True when a service of this name can be opened on the local machine for
// querying its configuration; every failure counts as absent.
bool ServiceExists(const std::wstring& Name);

}  // namespace vt
