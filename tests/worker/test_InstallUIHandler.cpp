// The installer's UI callback fed with real records (MsiCreateRecord) from a
// thread of its own, as the installer calls it, while the test's main thread
// (the window thread) runs the synchronised calls.
#include <windows.h>
#include <msiquery.h>
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "WorkerTestUtils.h"
#include "fw/uControls.h"
#include "fw/uSysUtils.h"
#include "fw/uThread.h"
#include "fw/uWinHandles.h"
#include "worker/uInstallThread.h"

namespace vt::test {
namespace {

constexpr int kOmit = INT_MIN + 1;  // the record has no such field

constexpr UINT kProgress = INSTALLMESSAGE_PROGRESS;
constexpr UINT kActionData = INSTALLMESSAGE_ACTIONDATA;
constexpr UINT kActionStart = INSTALLMESSAGE_ACTIONSTART;

DWORD WINAPI CallFunction(void* P) {
  (*static_cast<const std::function<void()>*>(P))();
  return 0;
}

// Runs F on a new thread and waits for it on the window thread (bounded).
void OnInstallerThread(const std::function<void()>& F) {
  THandle h(CreateThread(nullptr, 0, &CallFunction, const_cast<std::function<void()>*>(&F), 0, nullptr));
  ASSERT_TRUE(h.Valid());
  ASSERT_EQ(WaitForHandle(h.Get(), 60000), WAIT_OBJECT_0) << "the callback did not return";
}

TMsiHandle Record(const std::vector<int>& Fields) {
  std::vector<int> f;
  for (int v : Fields)
    if (v != kOmit) f.push_back(v);
  TMsiHandle r(MsiCreateRecord(static_cast<UINT>(f.size())));
  for (size_t i = 0; i < f.size(); ++i) MsiRecordSetInteger(r.Get(), static_cast<UINT>(i + 1), f[i]);
  return r;
}

TMsiHandle ActionDataRecord() {
  TMsiHandle r(MsiCreateRecord(1));
  MsiRecordSetStringW(r.Get(), 0, L"Copying [1]");
  MsiRecordSetStringW(r.Get(), 1, L"payload.bin");
  return r;
}

std::string Event(char Kind, int32_t Value) {
  std::string e(1, Kind);
  e += std::to_string(Value);
  return e;
}

// A worker that is never started, whose bar events are recorded as "M<max>"
// and "P<position>".
struct TRecordingWorker {
  TControllerWindow Window;
  TInstallThread Worker;
  std::vector<std::string> Events;
  std::vector<TProgressStage> Stages;
  bool OnWindowThread = true;
  TRecordingWorker() {
    Worker.SetPBActionProgress(Window.Bar);
    Worker.SetLinkCancel(Window.LinkCancel);
    Worker.SetOnProgressSetMax([this](TInstallThread*, int32_t M) {
      OnWindowThread = OnWindowThread && IsMainThread();
      Events.push_back(Event('M', M));
    });
    Worker.SetOnProgressSetPos([this](TInstallThread*, int32_t P) {
      OnWindowThread = OnWindowThread && IsMainThread();
      Events.push_back(Event('P', P));
    });
    Worker.SetOnSetStage([this](TThread*) { Stages.push_back(Worker.ProgressStage()); });
  }
  // Calls the handler from another thread; the events it caused, joined by blanks.
  std::string Send(UINT Type, MSIHANDLE Rec, INT& Result) {
    Events.clear();
    OnInstallerThread([&] { Result = TInstallThread::InstallUIHandler(&Worker, Type, Rec); });
    std::string s;
    for (const auto& e : Events) {
      if (!s.empty()) s += ' ';
      s += e;
    }
    return s;
  }
};

struct TStep {
  UINT Type;
  std::vector<int> Fields;  // ignored for action data
  INT Result;
  const char* Events;
};

struct TProgressCase {
  const char* Name;
  std::vector<TStep> Steps;
};

class Progress : public ::testing::TestWithParam<TProgressCase> {};

TEST_P(Progress, MovesTheBarAsTheInstallerReports) {
  TRecordingWorker w;
  int i = 0;
  for (const TStep& s : GetParam().Steps) {
    TMsiHandle rec = s.Type == kActionData ? ActionDataRecord() : Record(s.Fields);
    INT result = -1;
    EXPECT_EQ(w.Send(s.Type, rec.Get(), result), s.Events) << "step " << i;
    EXPECT_EQ(result, s.Result) << "step " << i;
    // The bar received the same values as the events.
    for (const std::string& e : w.Events) {
      const int64_t v = std::stoll(e.substr(1));
      if (e[0] == 'M') {
        EXPECT_EQ(w.Window.Bar->Max(), static_cast<int64_t>(static_cast<uint32_t>(v))) << "step " << i;
      }
    }
    if (!w.Events.empty() && w.Events.back()[0] == 'P') {
      EXPECT_EQ(w.Window.Bar->Position(), std::stoll(w.Events.back().substr(1))) << "step " << i;
    }
    ++i;
  }
  EXPECT_TRUE(w.OnWindowThread);
}

const TProgressCase kProgressCases[] = {
    {"ForwardPhase",
     {{kProgress, {0, 1000, 0, 0}, 1, "M1000 P0"}, {kProgress, {2, 250}, 1, "P250"}, {kProgress, {2, 250}, 1, "P500"}}},
    {"BackwardPhase",
     {{kProgress, {0, 1000, 1, 0}, 1, "M1000 P1000"},
      {kProgress, {2, 300}, 1, "P700"},
      {kProgress, {1, 100, 1}, 1, ""},
      // A step adds the negative tick count and shows the sum itself.
      {kActionData, {}, 1, "P200"}}},
    {"ScriptPhaseHoldsTheBarUntilTheNextReset",
     {{kProgress, {0, 500, 0, 1}, 1, "M500 P0 P0"},
      {kProgress, {2, 100}, 1, ""},
      {kProgress, {1, 10, 1}, 1, ""},
      {kActionData, {}, 1, ""},
      {kProgress, {0, 800, 0, 0}, 1, "M800 P800"},
      {kProgress, {2, 100}, 1, "P100"}}},
    {"TotalZeroKeepsTheRange",
     {{kProgress, {0, 1000, 0, 0}, 1, "M1000 P0"},
      {kProgress, {1, 10, 1}, 1, ""},
      {kProgress, {0, 0, 0, 0}, 1, ""},
      {kActionData, {}, 1, ""},
      {kProgress, {2, 300}, 1, ""}}},
    {"ActionStartEndsActionDataSteps",
     {{kProgress, {0, 1000, 0, 0}, 1, "M1000 P0"},
      {kProgress, {1, 50, 1}, 1, ""},
      {kActionData, {}, 1, "P50"},
      {kActionData, {}, 1, "P100"},
      {kActionStart, {}, 1, ""},
      {kActionData, {}, 1, ""}}},
    {"ActionInfoWithoutTicksEndsActionDataSteps",
     {{kProgress, {0, 1000, 0, 0}, 1, "M1000 P0"},
      {kProgress, {1, 50, 1}, 1, ""},
      {kActionData, {}, 1, "P50"},
      {kProgress, {1, 50, 0}, 1, ""},
      {kActionData, {}, 1, ""}}},
    {"AddedTicksChangeNothing",
     {{kProgress, {0, 1000, 0, 0}, 1, "M1000 P0"}, {kProgress, {3, 500}, 1, ""}, {kProgress, {2, 10}, 1, "P10"}}},
    // A field the record lacks reads as the null integer, used as it is.
    {"MissingFieldsAreNullIntegers", {{kProgress, {0, kOmit}, 1, "M-2147483648 P-2147483648"}}},
    {"KindsNotHandled",
     {{INSTALLMESSAGE_INFO, {1}, 0, ""},
      {INSTALLMESSAGE_USER, {1}, 0, ""},
      {INSTALLMESSAGE_FATALEXIT, {1}, 0, ""},
      {INSTALLMESSAGE_OUTOFDISKSPACE, {1}, 0, ""},
      {INSTALLMESSAGE_FILESINUSE, {1}, 0, ""},
      {INSTALLMESSAGE_RESOLVESOURCE, {1}, 0, ""},
      {INSTALLMESSAGE_INITIALIZE, {1}, 0, ""},
      {INSTALLMESSAGE_TERMINATE, {1}, 0, ""}}},
};
INSTANTIATE_TEST_SUITE_P(Worker, Progress, ::testing::ValuesIn(kProgressCases),
                         [](const auto& i) { return std::string(i.param.Name); });

TEST(InstallUIHandler, OnceTerminatedProgressAnswersCancelAndTheRestGoesOn) {
  TRecordingWorker w;
  INT r = -1;
  w.Send(kProgress, Record({0, 1000, 0, 0}).Get(), r);
  EXPECT_EQ(r, 1);
  w.Worker.Terminate();
  const struct {
    UINT Type;
    std::vector<int> Fields;
    INT Result;
  } steps[] = {
      {kProgress, {2, 10}, 2},
      {kProgress, {0, 10, 0, 0}, 2},
      {kProgress, {1, 10, 1}, 2},
      {kActionData, {}, 1},
      {INSTALLMESSAGE_COMMONDATA, {0, 1033}, 1},
      {kActionStart, {}, 1},
  };
  for (const auto& s : steps) {
    TMsiHandle rec = s.Type == kActionData ? ActionDataRecord() : Record(s.Fields);
    w.Send(s.Type, rec.Get(), r);
    EXPECT_EQ(r, s.Result) << std::hex << s.Type;
  }
}

TEST(InstallUIHandler, CaptionEntersTheRunningStageWithTheProductName) {
  TRecordingWorker w;
  INT r = -1;
  TMsiHandle empty(MsiCreateRecord(2));
  MsiRecordSetInteger(empty.Get(), 1, 1);
  MsiRecordSetStringW(empty.Get(), 2, L"");
  w.Send(INSTALLMESSAGE_COMMONDATA, empty.Get(), r);
  EXPECT_EQ(r, 1);
  EXPECT_TRUE(w.Stages.empty());  // an empty caption changes nothing
  w.Send(INSTALLMESSAGE_COMMONDATA, Record({0, 1033}).Get(), r);
  EXPECT_TRUE(w.Stages.empty());  // the language
  TMsiHandle caption(MsiCreateRecord(2));
  MsiRecordSetInteger(caption.Get(), 1, 1);
  MsiRecordSetStringW(caption.Get(), 2, std::wstring(700, L'n').c_str());  // beyond the first buffer
  w.Send(INSTALLMESSAGE_COMMONDATA, caption.Get(), r);
  EXPECT_EQ(r, 1);
  ASSERT_EQ(w.Stages.size(), 1u);
  EXPECT_EQ(w.Stages[0], vtpsInstallRunning);
  EXPECT_EQ(w.Worker.ProductName(), std::wstring(700, L'n'));
}

TEST(InstallUIHandler, TheInstallersCancelButtonIsTheCancelLinksVisibility) {
  TRecordingWorker w;
  INT r = -1;
  const struct {
    int Show;
    bool Visible;
  } steps[] = {{0, false}, {0, false}, {1, true}, {0, false}, {7, true}};
  for (const auto& s : steps) {
    w.Send(INSTALLMESSAGE_COMMONDATA, Record({2, s.Show}).Get(), r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(w.Window.LinkCancel->Visible(), s.Visible) << s.Show;
  }
  EXPECT_EQ(w.Window.LinkCancel->VisibleChanges, (std::vector<bool>{false, true, false, true}));
}

TEST(InstallUIHandler, ActionTextReachesTheActionLabel) {
  TRecordingWorker w;
  TLabel* label = new TLabel(&w.Window.Form);
  label->SetParent(&w.Window.Form);
  w.Worker.SetLabelActionDisplayName(label);
  INT r = -1;
  w.Send(kActionData, ActionDataRecord().Get(), r);
  EXPECT_EQ(label->GetCaption(), L"");  // no phase yet: nothing happens
  w.Send(kProgress, Record({0, 1000, 0, 0}).Get(), r);
  w.Send(kActionData, ActionDataRecord().Get(), r);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(label->GetCaption(), L"Copying payload.bin");
}

// ---- Message boxes, answered through the window system from another thread.

struct TBoxSeen {
  bool Found = false;
  std::wstring Title = L"?";
  std::wstring Text;
  bool Yes = false, No = false, Ok = false;
  HICON Icon = nullptr;
};

BOOL CALLBACK FindBoxOfThisProcess(HWND W, LPARAM P) {
  DWORD pid = 0;
  GetWindowThreadProcessId(W, &pid);
  wchar_t cls[32] = {};
  GetClassNameW(W, cls, 32);
  if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770" && IsWindowVisible(W)) {
    *reinterpret_cast<HWND*>(P) = W;
    return FALSE;
  }
  return TRUE;
}

HWND FindOwnMessageBox() {
  HWND box = nullptr;
  EnumWindows(&FindBoxOfThisProcess, reinterpret_cast<LPARAM>(&box));
  return box;
}

std::wstring WindowText(HWND W) {
  wchar_t buf[512] = {};
  SendMessageW(W, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf));
  return buf;
}

// Looks for the box (bounded), reads it and clicks Button.
void AnswerMessageBox(int Button, TBoxSeen& Seen) {
  for (int i = 0; i < 200; ++i) {
    if (HWND box = FindOwnMessageBox()) {
      Seen.Found = true;
      Seen.Title = WindowText(box);
      if (HWND text = GetDlgItem(box, 0xFFFF)) Seen.Text = WindowText(text);
      Seen.Yes = GetDlgItem(box, IDYES) != nullptr;
      Seen.No = GetDlgItem(box, IDNO) != nullptr;
      Seen.Ok = GetDlgItem(box, IDOK) != nullptr;
      for (int id : {20, 1088})  // the icon's control: Windows, Wine
        if (HWND icon = GetDlgItem(box, id)) Seen.Icon = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
      SendMessageW(GetDlgItem(box, Button), BM_CLICK, 0, 0);
      return;
    }
    Sleep(50);
  }
}

struct TBoxCase {
  const char* Name;
  UINT Type;
  int Button;
  bool Yes, No, Ok;
  LPCWSTR Icon;
};

class MessageBoxes : public ::testing::TestWithParam<TBoxCase> {};

TEST_P(MessageBoxes, ShowTheInstallersStyleAndReturnTheButton) {
  const TBoxCase& c = GetParam();
  TRecordingWorker w;
  TMsiHandle rec(MsiCreateRecord(1));
  MsiRecordSetStringW(rec.Get(), 0, L"Proceed with [1]?");
  MsiRecordSetStringW(rec.Get(), 1, L"the update");
  TBoxSeen seen;
  std::thread watcher([&] { AnswerMessageBox(c.Button, seen); });
  INT result = -1;
  w.Send(c.Type, rec.Get(), result);
  watcher.join();
  ASSERT_TRUE(seen.Found) << "no message box appeared";
  EXPECT_EQ(result, c.Button);
  EXPECT_EQ(seen.Title, L"");
  EXPECT_EQ(seen.Text, L"Proceed with the update?");
  EXPECT_EQ(seen.Yes, c.Yes);
  EXPECT_EQ(seen.No, c.No);
  EXPECT_EQ(seen.Ok, c.Ok);
  EXPECT_EQ(seen.Icon, LoadIconW(nullptr, c.Icon));
}

const TBoxCase kBoxCases[] = {
    {"ErrorYesNoQuestionAnsweredYes", INSTALLMESSAGE_ERROR | MB_YESNO | MB_ICONQUESTION, IDYES, true, true, false,
     IDI_QUESTION},
    {"ErrorYesNoQuestionAnsweredNo", INSTALLMESSAGE_ERROR | MB_YESNO | MB_ICONQUESTION, IDNO, true, true, false,
     IDI_QUESTION},
    {"WarningOk", INSTALLMESSAGE_WARNING | MB_OK | MB_ICONWARNING, IDOK, false, false, true, IDI_WARNING},
};
INSTANTIATE_TEST_SUITE_P(Worker, MessageBoxes, ::testing::ValuesIn(kBoxCases),
                         [](const auto& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace vt::test
