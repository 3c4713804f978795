// Compiled once per executable with the hosts of its build configuration.
#include "worker/uDownloadHosts.h"

#if !defined(VT_REDIRECT_SERVICE_HOST) || !defined(VT_PACKAGE_MIRROR_HOST)
#error "VT_REDIRECT_SERVICE_HOST and VT_PACKAGE_MIRROR_HOST come from the build"
#endif

#define VT_WIDEN2(x) L##x
#define VT_WIDEN(x) VT_WIDEN2(x)

namespace vt {

std::wstring_view RedirectServiceHost() { return VT_WIDEN(VT_REDIRECT_SERVICE_HOST); }
std::wstring_view PackageMirrorHost() { return VT_WIDEN(VT_PACKAGE_MIRROR_HOST); }

}  // namespace vt
