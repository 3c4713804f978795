// The picture cache: one entry per name whatever its case, "Skins" files beside
// the executable before the built-in pictures, broken or hostile files ignored,
// unknown names remembered without a picture.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/TestUtils.h"
#include "fw/uGraphics.h"
#include "fw/uWinHandles.h"
#include "ui/uThreadImages.h"

namespace vt {
namespace {

class ThreadImagesTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { GraphicsInitialization(); }
  static void TearDownTestSuite() {
    ThreadImagesFinalization();
    GraphicsFinalization();
  }
};

// ---------------------------------------------------------------- in this process (no "Skins" folder here)

TEST_F(ThreadImagesTest, NamesInAnyCaseShareOneEntry) {
  const TCachedImage* a = ThreadImages().LoadImage(L"QSCLOSEHOVER");
  EXPECT_EQ(ThreadImages().LoadImage(L"qscloseHover"), a);
  EXPECT_EQ(a->ResName(), L"QSCLOSEHOVER");
  ASSERT_NE(a->Img(), nullptr);
  EXPECT_TRUE(a->Loaded());
  SIZE s = ThreadImages().GetSize(L"QsCloseHover");
  EXPECT_EQ(s.cx, 45);
  EXPECT_EQ(s.cy, 26);
}

TEST_F(ThreadImagesTest, UnknownNameGivesAnEntryWithoutPicture) {
  const TCachedImage* e = ThreadImages().LoadImage(L"NoSuchPicture");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Img(), nullptr);
  EXPECT_FALSE(e->Loaded());
  EXPECT_EQ(ThreadImages().LoadImage(L"NOSUCHPICTURE"), e);
  TPngImage dest;
  dest.LoadFromResource(L"ComboButton");
  const uint32_t before = dest.PixelARGB(3, 0);
  EXPECT_FALSE(ThreadImages().LoadImage(L"NoSuchPicture", &dest));
  EXPECT_EQ(dest.Width(), 8);
  EXPECT_EQ(dest.PixelARGB(3, 0), before);
  TBitmap32 b(4, 4);
  EXPECT_FALSE(ThreadImages().DrawImage(L"NoSuchPicture", &b.Canvas(), {0, 0, 0, 0}));
  SIZE s = ThreadImages().GetSize(L"NoSuchPicture");
  EXPECT_EQ(s.cx, 0);
  EXPECT_EQ(s.cy, 0);
  // A name that could reach outside the folder is looked up as a resource only.
  EXPECT_EQ(ThreadImages().LoadImage(L"..\\..\\QSCLOSE")->Img(), nullptr);
}

TEST_F(ThreadImagesTest, LoaderCopiesThePicture) {
  TPngImage dest;
  EXPECT_FALSE(LoadSkinImage(L"", &dest));
  EXPECT_FALSE(LoadSkinImage(L"QSCLOSE", nullptr));
  EXPECT_TRUE(dest.Empty());
  ASSERT_TRUE(LoadSkinImage(L"qsclose", &dest));
  EXPECT_EQ(dest.Width(), 45);
  EXPECT_EQ(dest.Height(), 26);
  // The copy is the caller's: changing it leaves the cached picture alone.
  dest.SetPixelColor(0, 0, RGBColor(58, 110, 165));
  EXPECT_EQ(ThreadImages().LoadImage(L"QSCLOSE")->Img()->PixelARGB(0, 0), 0xFFFFFFFFu);
}

TEST_F(ThreadImagesTest, DrawImagePlacesOrStretches) {
  // "chbNormSel" is 17 x 17 and blue (3, 133, 198) along its edges.
  const TColor blue = RGBColor(3, 133, 198), white = clWhite;
  const struct {
    const char* Name;
    RECT R;
    std::vector<std::pair<POINT, TColor>> Probes;
  } cases[] = {
      {"right and bottom 0: own size at (left, top)", {5, 6, 0, 0},
       {{{5, 6}, blue}, {{21, 22}, blue}, {{22, 22}, white}, {{21, 23}, white}, {{4, 6}, white}}},
      {"right 0: own width", {2, 3, 0, 37}, {{{2, 3}, blue}, {{18, 36}, blue}, {{19, 20}, white}, {{10, 37}, white}}},
      {"bottom 0: own height", {2, 3, 36, 0}, {{{2, 3}, blue}, {{35, 19}, blue}, {{36, 10}, white}, {{20, 20}, white}}},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.Name);
    TBitmap32 b(40, 40);
    b.Canvas().BrushColor = white;
    b.Canvas().FillRect({0, 0, 40, 40});
    ASSERT_TRUE(ThreadImages().DrawImage(L"chbNormSel", &b.Canvas(), tc.R));
    for (auto& [p, c] : tc.Probes)
      for (int s = 0; s < 24; s += 8)
        EXPECT_NEAR(int((b.Pixel(p.x, p.y) >> s) & 0xFF), int((c >> s) & 0xFF), 3) << p.x << "," << p.y;
  }
  EXPECT_FALSE(ThreadImages().DrawImage(L"chbNormSel", nullptr, {0, 0, 0, 0}));
}

TEST_F(ThreadImagesTest, ThreadsRequestingTogetherGetOneEntryPerName) {
  ThreadImagesFinalization();  // a fresh cache: every name below is new to it
  const std::vector<std::wstring> names = {L"QSMIN", L"qsmin", L"QSMAXHOVER", L"NoSuchOne", L"chbDisSel_Mode",
                                           L"COMBOBUTTONHOVER"};
  constexpr int kThreads = 6;
  std::vector<std::vector<const TCachedImage*>> got(kThreads);
  THandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      WaitForSingleObject(go.Get(), 10000);
      for (size_t i = 0; i < names.size(); ++i) got[t].push_back(ThreadImages().LoadImage(names[(i + t) % names.size()]));
    });
  SetEvent(go.Get());
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t)
    for (size_t i = 0; i < names.size(); ++i)
      EXPECT_EQ(got[t][i], ThreadImages().LoadImage(names[(i + t) % names.size()])) << t << " " << i;
  EXPECT_EQ(ThreadImages().LoadImage(L"QSMIN"), ThreadImages().LoadImage(L"qsmin"));
  EXPECT_NE(ThreadImages().LoadImage(L"QSMIN")->Img(), nullptr);
}

// ---------------------------------------------------------------- beside a copy of the probe

// A folder holding skins_probe.exe and a "Skins" folder; Run returns the probe's
// lines. The probe logs to testlogs\LOGNAME, where the reasons a file was ignored stay.
class TProbeFolder {
public:
  explicit TProbeFolder(std::wstring LogName) : FLog(test::BinaryDir() + L"\\testlogs\\" + LogName) {
    std::wstring probe = test::BinaryDir() + L"\\tests\\ui\\skins_probe.exe";
    if (!CopyFileW(probe.c_str(), FDir.File(L"skins_probe.exe").c_str(), FALSE))
      ADD_FAILURE() << "cannot copy the probe, error " << GetLastError();
    CreateDirectoryW(FDir.File(L"Skins").c_str(), nullptr);
  }
  std::wstring Skin(const std::wstring& Name) const { return FDir.File(L"Skins\\" + Name); }
  std::wstring File(const std::wstring& Name) const { return FDir.File(Name); }
  std::vector<std::string> Run(const std::wstring& Steps) {
    auto r = test::RunProcess(L"\"" + FDir.File(L"skins_probe.exe") + L"\" \"" + FDir.File(L"out.txt") + L"\" " + Steps,
                              {L"VeltranoDbgLog=" + FLog}, 60000);
    EXPECT_FALSE(r.TimedOut);
    EXPECT_EQ(r.ExitCode, 0u);
    return test::ReadLines(FDir.File(L"out.txt"));
  }

private:
  test::TTempDir FDir;
  std::wstring FLog;
};

const std::string kRed = test::SolidPng(45, 26, 0xFFFF0000u);
const std::string kBlue = test::SolidPng(45, 26, 0xFF0000FFu);
// The built-in "QSCLOSE": 45 x 26, white in the corner.
const std::string kBuiltIn = "QSCLOSE entry=0 loaded=1 picture=45x26 argb=FFFFFFFF copy=1 dest=45x26/FFFFFFFF";

// Writes the case's file at Path; a handle it returns stays open while the probe runs.
using TPlant = std::function<THandle(const std::wstring& Path)>;

TPlant Bytes(std::string Data) {
  return [Data](const std::wstring& Path) {
    test::WriteFileBytes(Path, Data);
    return THandle();
  };
}

TEST_F(ThreadImagesTest, SkinFileWinsUnlessItCannotBeLoaded) {
  const struct {
    const char* Name;
    TPlant Plant;
    std::string Line;
  } cases[] = {
      {"a readable PNG replaces the built-in picture", Bytes(kRed),
       "QSCLOSE entry=0 loaded=1 picture=45x26 argb=FFFF0000 copy=1 dest=45x26/FFFF0000"},
      {"its own size counts", Bytes(test::SolidPng(3, 2, 0x8000FF00u)),
       "QSCLOSE entry=0 loaded=1 picture=3x2 argb=8000FF00 copy=1 dest=3x2/8000FF00"},
      {"random bytes", Bytes("not a picture at all"), kBuiltIn},
      {"an empty file", Bytes(""), kBuiltIn},
      {"a PNG cut short", Bytes(kRed.substr(0, 60)), kBuiltIn},
      {"4097 x 1 pixels, over the size limit", Bytes(test::SolidPng(4097, 1, 0xFFFF0000u)), kBuiltIn},
      {"8000 x 8000 in the header, a tiny body", Bytes(test::PngClaimingSize(8000, 8000)), kBuiltIn},
      {"a folder of that name",
       [](const std::wstring& Path) {
         CreateDirectoryW(Path.c_str(), nullptr);
         return THandle();
       },
       kBuiltIn},
      {"a file another process holds exclusively",
       [](const std::wstring& Path) {
         test::WriteFileBytes(Path, kRed);
         return THandle(CreateFileW(Path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
       },
       kBuiltIn},
  };
  int n = 0;
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.Name);
    TProbeFolder dir(L"skins_probe_file" + std::to_wstring(++n) + L".log");
    THandle held = tc.Plant(dir.Skin(L"QSCLOSE.png"));
    auto lines = dir.Run(L"get QSCLOSE");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], tc.Line);
  }
}

TEST_F(ThreadImagesTest, EachNameIsReadOnceAlsoWhenItFailed) {
  TProbeFolder dir(L"skins_probe_once.log");
  test::WriteFileBytes(dir.Skin(L"QSCLOSE.png"), kRed);
  test::WriteFileBytes(dir.File(L"blue.png"), kBlue);
  test::WriteFileBytes(dir.Skin(L"OnlyHere.png"), kBlue);
  auto lines = dir.Run(L"get QSCLOSE put \"" + dir.File(L"blue.png") + L"\" \"" + dir.Skin(L"QSCLOSE.png") +
                       L"\" get qsclose get QsClose"
                       L" get NoSuchPicture put \"" + dir.File(L"blue.png") + L"\" \"" + dir.Skin(L"NoSuchPicture.png") +
                       L"\" get NOSUCHPICTURE get OnlyHere");
  const std::vector<std::string> want = {
      // The file changed after the first request: the cache still shows the first picture.
      "QSCLOSE entry=0 loaded=1 picture=45x26 argb=FFFF0000 copy=1 dest=45x26/FFFF0000",
      "qsclose entry=0 loaded=1 picture=45x26 argb=FFFF0000 copy=1 dest=45x26/FFFF0000",
      "QsClose entry=0 loaded=1 picture=45x26 argb=FFFF0000 copy=1 dest=45x26/FFFF0000",
      // Neither file nor resource: no picture, the destination keeps "ComboButton";
      // a file that appears later is not looked at.
      "NoSuchPicture entry=1 loaded=0 picture=none argb=00000000 copy=0 dest=8x10/00000000",
      "NOSUCHPICTURE entry=1 loaded=0 picture=none argb=00000000 copy=0 dest=8x10/00000000",
      // A picture that only a skin file provides.
      "OnlyHere entry=2 loaded=1 picture=45x26 argb=FF0000FF copy=1 dest=45x26/FF0000FF",
  };
  EXPECT_EQ(lines, want);
}

}  // namespace
}  // namespace vt
