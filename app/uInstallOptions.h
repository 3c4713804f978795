// Install options filled from the command line, and the types that carry them
// into an install worker.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

class TMsiPropertyItem {
public:
  TMsiPropertyItem(std::wstring AName, std::wstring AValue) : Name(std::move(AName)), Value(std::move(AValue)) {}
  TMsiPropertyItem(const TMsiPropertyItem& Source) = default;
  std::wstring Name;
  std::wstring Value;
};

// Ordered list of installer properties that owns its items.
class TMsiProperties {
public:
  TMsiProperties() = default;
  TMsiProperties(const TMsiProperties&) = delete;
  TMsiProperties& operator=(const TMsiProperties&) = delete;

  // First item whose name equals Name, ignoring the case of A to Z.
  TMsiPropertyItem* FindByName(std::wstring_view Name) const;
  void SetProperty(const std::wstring& Name, const std::wstring& Value);
  // Clears this list and appends a copy of each of Source's items, in order.
  void CopyFrom(const TMsiProperties& Source);
  void Clear() { FItems.clear(); }
  size_t Count() const { return FItems.size(); }
  const TMsiPropertyItem& operator[](size_t i) const { return *FItems[i]; }

private:
  std::vector<std::unique_ptr<TMsiPropertyItem>> FItems;
};

enum TVtProxyType : uint8_t { vtptHttp = 0, vtptSocks = 1 };
enum TVtProxyCustomKind : uint8_t { vtpckStandard = 0, vtpckVeltRelay = 1 };

class TInstallerProxyParams {
public:
  std::wstring HostName;
  int32_t Port = 0;
  bool UseAuth = false;
  std::wstring UserName;
  std::wstring Password;
  TVtProxyType ProxyType = vtptHttp;
  TVtProxyCustomKind ProxyKind = vtpckStandard;

  void Assign(const TInstallerProxyParams& Source);
};

// The window's install options, in the window's field order.
struct TInstallOptions {
  TInstallerProxyParams FProxyParams;
  std::wstring FAltVer;
  std::wstring FCenv;
  TMsiProperties FMsiProperties;
  std::wstring FUnsupportedParams;
  bool FQuietMode = false;
  uint32_t FLogMode = 0;
  uint32_t FLogAttributes = 0;
  std::wstring FLogFile;
  std::wstring FInstallDir;
  bool FNoRebranding = false;
  bool FNoEnvCheck = false;
  bool FNoDownload = false;
};

// Splits a command line by the runtime's rules; item 0 is the program path.
std::vector<std::wstring> SplitCommandLine(std::wstring_view CommandLine);
// Removes one pair of surrounding quotes and halves inner quote pairs.
std::wstring Dequote(std::wstring_view s);
// Parses the arguments (program path excluded) into Options. Clears the
// properties and the unsupported list first; leaves every other option as it is.
void ParseInstallArguments(const std::vector<std::wstring>& Args, TInstallOptions& Options);
// ParseInstallArguments on the process's own command line.
void ParseProcessCommandLine(TInstallOptions& Options);

}  // namespace vt
