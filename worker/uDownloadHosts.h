// The hosts of the two download endpoints, fixed by the build: the redirect
// service (HTTPS) and the package mirror (HTTP). Each executable links one
// definition (worker/hosts/uDownloadHosts.cpp, compiled with its hosts).
#pragma once
#include <string_view>

namespace vt {

// "name" or "name:port".
std::wstring_view RedirectServiceHost();
std::wstring_view PackageMirrorHost();

}  // namespace vt
