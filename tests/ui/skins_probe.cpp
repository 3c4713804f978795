// skins_probe.exe OUTFILE STEP...: the picture cache as the setup sees it from
// its own folder (a "Skins" folder beside this copy). Steps, in order:
//   get NAME       request NAME and write one line about the entry to OUTFILE
//   put SRC DST    copy SRC over DST (to change a file after a request)
// A line: NAME entry=N loaded=0|1 picture=WxH|none argb=AARRGGBB copy=0|1 dest=WxH/AARRGGBB
// where entry numbers distinct entries in order of appearance, argb is the
// picture's top-left pixel, and dest is a picture that held "ComboButton"
// before LoadImage(NAME, dest). Exit code 0, 100 for wrong arguments.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "fw/uGraphics.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"
#include "ui/uThreadImages.h"

namespace {

std::wstring Describe(const std::wstring& Name, std::vector<const vt::TCachedImage*>& Seen) {
  const vt::TCachedImage* e = vt::ThreadImages().LoadImage(Name);
  size_t index = 0;
  while (index < Seen.size() && Seen[index] != e) ++index;
  if (index == Seen.size()) Seen.push_back(e);
  vt::TPngImage dest;
  dest.LoadFromResource(L"ComboButton");
  bool copied = vt::ThreadImages().LoadImage(Name, &dest);
  wchar_t line[256];
  const vt::TPngImage* img = e->Img();
  std::wstring pic = img ? std::to_wstring(img->Width()) + L"x" + std::to_wstring(img->Height()) : L"none";
  swprintf(line, 256, L"%ls entry=%u loaded=%d picture=%ls argb=%08X copy=%d dest=%dx%d/%08X", Name.c_str(),
           unsigned(index), e->Loaded() ? 1 : 0, pic.c_str(), img ? img->PixelARGB(0, 0) : 0u, copied ? 1 : 0,
           dest.Width(), dest.Height(), dest.PixelARGB(0, 0));
  return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 100;
  vt::DebugLogInitialization();
  vt::DebugLogUtilsInitialization();
  vt::GraphicsInitialization();
  std::wstring out;
  std::vector<const vt::TCachedImage*> seen;
  int code = 0;
  for (int i = 2; i < argc && code == 0; ++i) {
    if (wcscmp(argv[i], L"get") == 0 && i + 1 < argc) {
      out += Describe(argv[++i], seen) + L"\r\n";
    } else if (wcscmp(argv[i], L"put") == 0 && i + 2 < argc) {
      if (!CopyFileW(argv[i + 1], argv[i + 2], FALSE)) code = 101;
      i += 2;
    } else {
      code = 100;
    }
  }
  vt::ThreadImagesFinalization();
  vt::GraphicsFinalization();
  vt::DebugLogUtilsFinalization();
  vt::DebugLogFinalization();
  std::string utf8 = vt::WideToUtf8(out);
  if (FILE* f = _wfopen(argv[1], L"wb")) {
    fwrite(utf8.data(), 1, utf8.size(), f);
    fclose(f);
  } else {
    code = 102;
  }
  return code;
}
