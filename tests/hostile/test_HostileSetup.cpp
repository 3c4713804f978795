// The setup executable under hostile input, run as a child process: random
// command lines, branding resources of odd sizes and contents, and broken or
// huge pictures in a "Skins" folder beside it. Whatever comes in, the process
// ends by itself with a defined exit code, says what it refused, and keeps
// its built-in picture. run_hostile_tests.sh makes the rebranded copies.
// Downloads go to a proxy on a loopback port where nothing listens, so they
// fail at once without a server.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "common/ProductRun.h"
#include "common/TestUtils.h"
#include "common/UiTestUtils.h"
#include "fw/uForms.h"
#include "fw/uGraphics.h"
#include "fw/uSysUtils.h"
#include "hostile/ArgFuzz.h"
#include "lang/LngStrings.h"

namespace vt {
namespace {

using test::TProductRun;

class THostileEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    GraphicsInitialization();
    FormsInitialization();
  }
  void TearDown() override {
    FormsFinalization();
    GraphicsFinalization();
  }
};
const auto* const kHostileEnv = ::testing::AddGlobalTestEnvironment(new THostileEnvironment);

// Port 1 on loopback: nothing listens there, so a download fails at once.
constexpr wchar_t kDeadProxy[] = L" /PROXYSERVER=127.0.0.1 /PROXYPORT=1";
constexpr wchar_t kDownloadError[] = L"Error occurred during download of the product: ";

std::wstring CopyOf(const std::wstring& Name) { return test::WinPath(test::EnvVar(L"VT_COPIES")) + L"\\" + Name; }

std::wstring English(const wchar_t* Key) {
  for (const TLocale& l : GetBuiltInLocales())
    if (l.LngID == L"en-us")
      for (const TLocaleSection& s : l.Sections)
        if (s.SectionID == L"frmMain")
          for (const TLngItem& i : s.Items)
            if (i.StringID == Key) return i.Value;
  return L"?";
}

std::string Shown(const std::wstring& s, size_t Max = 300) {
  std::string out;
  for (size_t i = 0; i < s.size() && i < Max; ++i) {
    wchar_t c = s[i];
    char buf[12];
    std::snprintf(buf, sizeof buf, c >= 0x20 && c < 0x7F ? "%c" : "\\u%04X", unsigned(c));
    out += buf;
  }
  return s.size() > Max ? out + "...(" + std::to_string(s.size()) + " chars)" : out;
}

// The run ended by itself: a complete log and the exit code it announced.
void ExpectCleanEnd(TProductRun& Run, DWORD Code) {
  EXPECT_EQ(Run.WaitForExit(30000), Code);
  auto lines = Run.LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("uDebugLog.Finalization"), std::string::npos) << lines.back();
  EXPECT_TRUE(Run.LogContains("Done with ExitCode=" + std::to_string(Code)));
}

// ---------------------------------------------------------------- command lines

constexpr uint32_t kSeed = 20260613;
constexpr int kRuns = 36;
constexpr ULONGLONG kTimeBoundMs = 300000;

// The installer properties the run set, in order, as its log shows them.
std::vector<std::string> SetPropertyLines(const TProductRun& Run) {
  const std::string marker = "TMsiProperties.SetProperty: ";
  std::vector<std::string> out;
  for (const auto& l : Run.LogLines()) {
    size_t at = l.find(marker);
    if (at == std::string::npos) continue;
    std::string rest = l.substr(at + marker.size());
    out.push_back(rest.substr(0, rest.rfind("; ")));  // the item's address follows
  }
  return out;
}

// Random command lines after "/NODOWNLOAD /NOCHECK": with nothing beside the
// executable the run installs nothing. Unsupported arguments give exactly one
// box that lists each, in order; accepted ones show in the log (every property
// set, its name upper-cased); the log file after "/L" is never listed; the exit
// code is 0 either way.
TEST(HostileSetup, RandomCommandLines) {
  test::TTempDir dir;
  const std::wstring exe = dir.File(L"VeltranoShieldSetup.exe");
  ASSERT_TRUE(CopyFileW(test::LoopbackExe().c_str(), exe.c_str(), FALSE));
  test::TArgLimits limits;
  limits.MaxArgs = 8;
  limits.LongValue = 6000;
  limits.LongChance = 0.1;
  limits.MaxTail = 30000;  // a command line holds 32767 characters
  limits.ControlChars = false;
  test::TArgFuzzer fuzz(kSeed, limits);
  ULONGLONG start = GetTickCount64();
  int run = 0, boxes = 0, longest = 0;
  for (; run < kRuns && GetTickCount64() - start < kTimeBoundMs; ++run) {
    test::TArgCase c = fuzz.Next();
    SCOPED_TRACE("run " + std::to_string(run) + ": " + Shown(c.Tail));
    longest = std::max<int>(longest, static_cast<int>(c.Tail.size()));
    TProductRun setup(exe, L"/NODOWNLOAD /NOCHECK " + c.Tail);
    ASSERT_TRUE(setup.Started());
    auto box = setup.WaitForBox(30000);
    if (!c.Want.Unsupported.empty()) {
      ASSERT_TRUE(box) << "no box for " << Shown(c.Want.Unsupported);
      ++boxes;
      EXPECT_EQ(box->Text, Format(English(L"msgUnsuppParams"), {c.Want.Unsupported}));
      setup.AnswerBox(*box, IDOK);
      EXPECT_FALSE(setup.WaitForBox(2000)) << "a second box";
    } else {
      EXPECT_FALSE(box) << Shown(box ? box->Text : L"");
    }
    ExpectCleanEnd(setup, 0);
    if (c.Want.Unsupported.empty()) {
      EXPECT_TRUE(setup.LogContains("OnInstallThreadTerminate: ir=0; ec=0"));
    }
    std::vector<std::string> want;
    for (const auto& [name, value] : c.Want.SetCalls) want.push_back(WideToAnsi(L"\"" + name + L"\"=\"" + value + L"\""));
    EXPECT_EQ(SetPropertyLines(setup), want);
    if (HasFailure()) break;  // one case at a time, with its line above
  }
  std::printf("random command lines: %d of %d runs (seed %u), %d with a box, longest %d characters\n", run, kRuns,
              kSeed, boxes, longest);
  EXPECT_GE(run, 12);
}

// Command lines at the system's limit (32767 characters with the program's path).
TEST(HostileSetup, CommandLinesAtTheLimit) {
  test::TTempDir dir;
  const std::wstring exe = dir.File(L"VeltranoShieldSetup.exe");
  ASSERT_TRUE(CopyFileW(test::LoopbackExe().c_str(), exe.c_str(), FALSE));
  const size_t n = 32000;
  std::wstring manyLetters;
  for (size_t i = 0; i < 10000; ++i) manyLetters += i ? L"\r\n/LQ" : L"/LQ";
  const struct {
    const char* Name;
    std::wstring Tail;
    std::wstring Unsupported;
    std::vector<std::string> SetCalls;
  } cases[] = {
      {"one unsupported argument", L"/" + std::wstring(n, L'x'), L"/" + std::wstring(n, L'x'), {}},
      {"one property", L"p=" + std::wstring(n, L'v'), L"", {"\"P\"=\"" + std::string(n, 'v') + "\""}},
      {"one quoted argument of blanks", L"\"/" + std::wstring(n, L' '), L"/" + std::wstring(n, L' '), {}},
      {"10000 unknown logging letters", L"/L" + std::wstring(10000, L'q') + L" f", manyLetters, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TProductRun setup(exe, L"/NODOWNLOAD /NOCHECK " + c.Tail);
    ASSERT_TRUE(setup.Started());
    auto box = setup.WaitForBox(30000);
    if (c.Unsupported.empty()) {
      EXPECT_FALSE(box);
    } else {
      ASSERT_TRUE(box);
      EXPECT_EQ(box->Text, Format(English(L"msgUnsuppParams"), {c.Unsupported}));
      setup.AnswerBox(*box, IDOK);
    }
    ExpectCleanEnd(setup, 0);
    EXPECT_EQ(SetPropertyLines(setup), c.SetCalls);
  }
}

// ---------------------------------------------------------------- branding

// The text of an RCDATA resource of an executable file and its size in bytes.
bool ReadBranding(const std::wstring& Exe, const wchar_t* Name, std::wstring& Text, DWORD& Size) {
  HMODULE m = LoadLibraryExW(Exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return false;
  HRSRC r = FindResourceW(m, Name, RT_RCDATA);
  if (r) {
    Size = SizeofResource(m, r);
    const wchar_t* p = static_cast<const wchar_t*>(LockResource(LoadResource(m, r)));
    Text.assign(p ? p : L"", p ? Size / 2 : 0);
  }
  FreeLibrary(m);
  return r != nullptr;
}

// Each branding resource at 0, 1, 7 and 65536 bytes (the larger ones with
// format characters, path separators, quotes, a NUL and lone surrogates): the
// run reads it, tries its download (which fails at the dead proxy), looks for
// a package beside itself, shows the download error and ends with 5.
TEST(HostileSetup, BrandingResourcesOfOddSizes) {
  const wchar_t* const names[] = {L"REB_REFER", L"REB_PRODUCTNAME", L"REB_DOWNLOADNAME", L"REB_TOPIC"};
  const DWORD sizes[] = {0, 1, 7, 65536};
  for (const wchar_t* name : names) {
    for (DWORD size : sizes) {
      // Named without "_", which would add a suffix of its own to the package names.
      std::wstring copy = CopyOf(std::wstring(name).substr(4) + L"-" + std::to_wstring(size) + L".exe");
      SCOPED_TRACE(WideToUtf8(copy));
      std::wstring text;
      DWORD stored = 0xFFFFFFFF;
      ASSERT_TRUE(ReadBranding(copy, name, text, stored));
      ASSERT_EQ(stored, size);
      std::wstring shown = text.substr(0, text.find(L'\0'));  // a window or box text ends at a NUL
      std::wstring product = std::wstring(name) == L"REB_PRODUCTNAME" ? shown : L"Veltrano Shield";

      TProductRun run(copy, std::wstring(L"/QUIET /NOCHECK") + kDeadProxy);
      ASSERT_TRUE(run.Started());
      auto box = run.WaitForBox(30000);
      ASSERT_TRUE(box);
      EXPECT_EQ(box->Text.rfind(kDownloadError, 0), 0u) << Shown(box->Text);
      EXPECT_EQ(box->Caption, product.empty() ? L"Veltrano Shield" : product);
      HWND main = run.WaitForMainWindow(0);  // quiet: made, never shown
      ASSERT_NE(main, nullptr);
      EXPECT_EQ(run.ControlText(main), product);
      run.AnswerBox(*box, IDOK);
      ExpectCleanEnd(run, 5);
      EXPECT_TRUE(run.LogContains("<- TfrmMain.LoadRebranding: True"));
      EXPECT_TRUE(run.LogContains("OnInstallThreadTerminate: ir=5; ec=0"));
    }
  }
}

// The referrer is part of the download target's name: a referrer such as
// "..\escaped" must not lead the elevated setup to create (and leave) a file
// outside its private temp folder.
TEST(HostileSetup, AReferrerThatReadsAsAPathStaysInThePrivateFolder) {
  const std::wstring outside = test::SetupTempFolder() + L"..\\escapedShieldSetup.msi";
  DeleteFileW(outside.c_str());
  TProductRun run(CopyOf(L"referpath.exe"), std::wstring(L"/QUIET /NOCHECK") + kDeadProxy);
  ASSERT_TRUE(run.Started());
  EXPECT_EQ(run.AnswerNextBox(IDOK, 30000).rfind(kDownloadError, 0), 0u);
  ExpectCleanEnd(run, 5);
  EXPECT_TRUE(run.LogContains("refer='..\\escaped'"));
  EXPECT_EQ(GetFileAttributesW(outside.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileW(outside.c_str());
  EXPECT_TRUE(run.LogContains("fn='" + WideToAnsi(test::SetupTempFolder()) + ".._escapedShieldSetup.msi'"));
  auto left = test::SetupTempFiles();  // (other tests may use the folder meanwhile)
  EXPECT_EQ(std::find(left.begin(), left.end(), L".._escapedShieldSetup.msi"), left.end());
}

// ---------------------------------------------------------------- skins

// A copy of the setup in a folder of its own, with the "Skins" file the case plants.
struct TSkinCase {
  const char* Name;
  std::string Png;  // empty: no "Skins" folder
  bool Replaces;    // the picture is used instead of the built-in one
};

// The close button as the screen shows it after a download error, while the
// window waits with its Retry link; then Cancel ends the run with 5.
std::unique_ptr<TBitmap32> CloseButtonOnScreen(const TSkinCase& Case, std::string& Log) {
  test::TTempDir dir;
  const std::wstring exe = dir.File(L"VeltranoShieldSetup.exe");
  if (!CopyFileW(test::LoopbackExe().c_str(), exe.c_str(), FALSE)) return nullptr;
  if (!Case.Png.empty()) {
    CreateDirectoryW(dir.File(L"Skins").c_str(), nullptr);
    test::WriteFileBytes(dir.File(L"Skins\\QSCLOSE.png"), Case.Png);
  }
  test::MoveMouse(0, 0);  // no hover look on the button
  TProductRun run(exe, std::wstring(L"/NOCHECK") + kDeadProxy);
  HWND main = run.WaitForMainWindow();
  auto box = run.WaitForBox();
  if (!main || !box) return nullptr;
  run.AnswerBox(*box, IDOK);
  HWND retry = nullptr;
  for (int i = 0; i < 250 && !(retry && IsWindowVisible(retry)); ++i, Sleep(20)) retry = run.FindControl(L"Retry");
  Sleep(200);
  auto shot = test::Grab(main);
  auto button = std::make_unique<TBitmap32>(45, 26);
  for (int y = 0; y < 26; ++y)
    for (int x = 0; x < 45; ++x) button->SetPixel(x, y, shot->Pixel(749 + x, 8 + y));
  run.Click(run.FindControl(L"Cancel"));
  if (auto confirm = run.WaitForBox()) run.AnswerBox(*confirm, IDYES);
  EXPECT_EQ(run.WaitForExit(30000), 5u);
  Log = test::ReadFileBytes(run.LogFile());
  return button;
}

TEST(HostileSetup, BrokenAndHugeSkinPicturesLeaveTheBuiltInCloseButton) {
  std::string corrupt = test::SolidPng(45, 26, 0xFFFF0000u);
  for (size_t i = 60; i < corrupt.size() - 20; i += 7) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
  const TSkinCase cases[] = {
      {"no Skins folder", "", false},
      {"a readable red picture", test::SolidPng(45, 26, 0xFFFF0000u), true},
      {"bytes that are no picture", std::string(5000, '\x7F'), false},
      {"a PNG cut short", test::SolidPng(45, 26, 0xFFFF0000u).substr(0, 60), false},
      {"a PNG whose pixel data is damaged", corrupt, false},
      {"30000 by 30000 pixels in its header", test::PngClaimingSize(30000, 30000), false},
      {"a 17 MiB picture", test::SolidPng(2100, 2100, 0xFFFF0000u), false},
  };
  std::unique_ptr<TBitmap32> builtIn;
  for (const TSkinCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string log;
    auto button = CloseButtonOnScreen(c, log);
    ASSERT_NE(button, nullptr);
    if (!builtIn) {
      builtIn = std::move(button);
      continue;
    }
    int differing = 0;
    for (int y = 0; y < 26; ++y)
      for (int x = 0; x < 45; ++x) differing += button->Pixel(x, y) != builtIn->Pixel(x, y);
    if (c.Replaces) {
      EXPECT_GT(differing, 45 * 26 / 2);
      EXPECT_EQ(button->Pixel(22, 13), RGBColor(255, 0, 0)) << test::ColorText(button->Pixel(22, 13));
    } else {
      EXPECT_EQ(differing, 0);
      EXPECT_NE(log.find("Skin file ignored"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace vt
