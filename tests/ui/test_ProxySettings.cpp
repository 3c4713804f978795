// The proxy settings dialog as the main window's Proxy link runs it: created
// over an owner window, filled from the proxy parameters, driven by keys and
// clicks inside its modal loop, written back only on OK. The "Invalid port"
// box is answered from a watcher thread. Screenshots for people to look at.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/UiTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uForms.h"
#include "ui/uProxySettings.h"

namespace vt {
namespace {

using test::ClickCentre;
using test::PressKey;
using test::TypeText;

constexpr wchar_t kDialogCaption[] = L"Proxy settings";

// The main window's stand-in: the dialog's owner.
struct TOwner {
  TForm Form{nullptr};
  TOwner() {
    EXPECT_TRUE(test::MoveMouse(5, 5)) << "the pointer away from the dialog: no hover looks";
    Form.SetBounds(240, 300, 800, 157);
    Form.SetColor(clWhite);
    Form.ShowForm();
    SetForegroundWindow(Form.Handle());
  }
  TfrmProxySettings* Dialog() const {
    for (int i = 0; i < Form.ComponentCount(); ++i)
      if (auto* d = dynamic_cast<TfrmProxySettings*>(Form.Components(i))) return d;
    return nullptr;
  }
};

TInstallerProxyParams Proxy(std::wstring Host, int32_t Port, TVtProxyType Type = vtptHttp,
                            TVtProxyCustomKind Kind = vtpckStandard, bool UseAuth = false, std::wstring User = L"",
                            std::wstring Password = L"") {
  TInstallerProxyParams p;
  p.HostName = std::move(Host);
  p.Port = Port;
  p.UseAuth = UseAuth;
  p.UserName = std::move(User);
  p.Password = std::move(Password);
  p.ProxyType = Type;
  p.ProxyKind = Kind;
  return p;
}

std::string Describe(const TInstallerProxyParams& p) {
  return testing::PrintToString(p.HostName) + ":" + std::to_string(p.Port) + " auth=" + std::to_string(p.UseAuth) +
         " user=" + testing::PrintToString(p.UserName) + " password=" + testing::PrintToString(p.Password) +
         " type=" + std::to_string(int(p.ProxyType)) + " kind=" + std::to_string(int(p.ProxyKind));
}

// ---- steps on the open dialog

using TDialogStep = std::function<bool(TfrmProxySettings&)>;
using TEditField = TVeltEdit* TfrmProxySettings::*;

TDialogStep Check(std::function<void(TfrmProxySettings&)> Expectations) {
  return [=](TfrmProxySettings& d) {
    Expectations(d);
    return true;
  };
}

// Selects the field's text and types over it, as a user would.
TDialogStep Type(TEditField Field, std::wstring Text) {
  return [=](TfrmProxySettings& d) {
    TVeltEdit* e = d.*Field;
    e->SetFocus();
    SendMessageW(e->Edit()->Handle(), EM_SETSEL, 0, -1);
    TypeText(Text.empty() ? std::wstring(L"\b") : Text);
    return true;
  };
}

// Opens the type list with a click and picks an entry with the keyboard.
TDialogStep Choose(int Index) {
  return [=](TfrmProxySettings& d) {
    ClickCentre(d.cbProxyType);
    EXPECT_TRUE(d.cbProxyType->DroppedDown());
    if (!d.cbProxyType->DroppedDown()) return true;
    TNoFocusRectListBox* lb = d.cbProxyType->DropDownForm()->ListBox();
    lb->SetFocus();
    lb->SetItemIndex(Index);
    PressKey(VK_RETURN);
    EXPECT_FALSE(d.cbProxyType->DroppedDown());
    return true;
  };
}

template <class T>
TDialogStep Click(T* TfrmProxySettings::*Control) {
  return [=](TfrmProxySettings& d) {
    ClickCentre(d.*Control);
    return true;
  };
}

TDialogStep Key(WORD Vk, BYTE Held = 0) {
  return [=](TfrmProxySettings&) {
    std::unique_ptr<test::THeldKey> held;
    if (Held) held = std::make_unique<test::THeldKey>(Held);
    PressKey(Vk);
    return true;
  };
}

template <class T>
TDialogStep TabTo(T* TfrmProxySettings::*Control) {
  return [=](TfrmProxySettings& d) {
    for (int i = 0; i < 12 && !(d.*Control)->Focused(); ++i) PressKey(VK_TAB);
    EXPECT_TRUE((d.*Control)->Focused());
    return true;
  };
}

TDialogStep StillOpen() {
  return Check([](TfrmProxySettings& d) {
    EXPECT_TRUE(IsWindowVisible(d.Handle()));
    EXPECT_EQ(d.ModalResult(), mrNone);
  });
}

struct TRunResult {
  bool Ok = false;
  bool Finished = false;
  std::vector<std::wstring> Boxes;
};

// EditProxySettings on P with the steps run in the dialog's modal loop.
TRunResult RunDialog(TOwner& O, TInstallerProxyParams& P, const std::vector<TDialogStep>& Steps) {
  test::TBoxAnswerer boxes(kDialogCaption);
  std::vector<test::TStep> steps;
  steps.push_back([&O] {
    TfrmProxySettings* d = O.Dialog();
    return d && d->HandleAllocated() && IsWindowVisible(d->Handle());
  });
  for (const TDialogStep& s : Steps)
    steps.push_back([&O, s] {
      TfrmProxySettings* d = O.Dialog();
      return d ? s(*d) : true;
    });
  TRunResult r;
  r.Finished = test::RunScripted([&] { r.Ok = EditProxySettings(&O.Form, P); }, std::move(steps), [&O] {
    if (TfrmProxySettings* d = O.Dialog()) d->SetModalResult(mrCancel);
  });
  r.Boxes = boxes.Finish();
  return r;
}

struct TDialogCase {
  const char* Name;
  TInstallerProxyParams Before;
  std::vector<TDialogStep> Steps;
  bool Ok;
  TInstallerProxyParams After;
  std::vector<std::wstring> Boxes;
};

TEST(ProxySettings, EditCases) {
  const auto relay = Proxy(L"relay.example.com", 33500, vtptSocks, vtpckVeltRelay, true, L"u", L"p");
  const auto http = Proxy(L"proxy", 3128);
  const auto httpAuth = Proxy(L"proxy", 3128, vtptHttp, vtpckStandard, true, L"bob", L"pw");
  auto withPort = [](TInstallerProxyParams p, int32_t Port) {
    p.Port = Port;
    return p;
  };
  const TDialogCase cases[] = {
      {"relay opens on its entry with port and user fields empty and disabled",
       relay,
       {Check([](TfrmProxySettings& d) {
          EXPECT_EQ(d.cbProxyType->ItemIndex(), 2);
          EXPECT_EQ(d.cbProxyType->Text(), L"Relay Proxy");
          EXPECT_EQ(d.txtProxyServerName->GetText(), L"relay.example.com");
          EXPECT_TRUE(d.txtProxyServerName->Enabled());
          EXPECT_EQ(d.txtProxyServerPort->GetText(), L"33500");
          EXPECT_FALSE(d.txtProxyServerPort->Enabled());
          EXPECT_FALSE(d.chkAuthentication->Checked());
          EXPECT_FALSE(d.chkAuthentication->Enabled());
          EXPECT_EQ(d.txtProxyUserName->GetText(), L"");
          EXPECT_FALSE(d.txtProxyUserName->Enabled());
          EXPECT_EQ(d.txtProxyUserPassword->GetText(), L"");
          EXPECT_FALSE(d.txtProxyUserPassword->Enabled());
        }),
        Key(VK_ESCAPE)},
       false, relay, {}},
      {"SOCKS after HTTP replaces a typed port by 1080, HTTP again gives 8080",
       http,
       {Type(&TfrmProxySettings::txtProxyServerPort, L"3129"), Choose(1),
        Check([](TfrmProxySettings& d) { EXPECT_EQ(d.txtProxyServerPort->GetText(), L"1080"); }), Choose(0),
        Check([](TfrmProxySettings& d) { EXPECT_EQ(d.txtProxyServerPort->GetText(), L"8080"); }),
        Click(&TfrmProxySettings::btnOK)},
       true, withPort(http, 8080), {}},
      {"empty server and port 0 close and store no proxy",
       http,
       {Type(&TfrmProxySettings::txtProxyServerName, L""), Type(&TfrmProxySettings::txtProxyServerPort, L"0"),
        Click(&TfrmProxySettings::btnOK)},
       true, Proxy(L"", 0), {}},
      {"empty server and an empty port store port 0",
       http,
       {Type(&TfrmProxySettings::txtProxyServerName, L""), Type(&TfrmProxySettings::txtProxyServerPort, L""),
        Click(&TfrmProxySettings::btnOK)},
       true, Proxy(L"", 0), {}},
      {"a port that is not a number with a server warns and stays open",
       Proxy(L"", 8080),
       {Type(&TfrmProxySettings::txtProxyServerName, L"proxy"), Type(&TfrmProxySettings::txtProxyServerPort, L"abc"),
        Click(&TfrmProxySettings::btnOK), StillOpen(), Click(&TfrmProxySettings::btnCancel)},
       false, Proxy(L"", 8080), {L"Invalid port"}},
      {"a negative port is taken as it is",
       Proxy(L"", 8080),
       {Type(&TfrmProxySettings::txtProxyServerName, L"proxy"), Type(&TfrmProxySettings::txtProxyServerPort, L"-5"),
        Click(&TfrmProxySettings::btnOK)},
       true, Proxy(L"proxy", -5), {}},
      {"a port above 65535 is taken as it is",
       http,
       {Type(&TfrmProxySettings::txtProxyServerPort, L"70000"), Click(&TfrmProxySettings::btnOK)},
       true, withPort(http, 70000), {}},
      {"the server is stored untrimmed",
       http,
       {Type(&TfrmProxySettings::txtProxyServerName, L" proxy "), Click(&TfrmProxySettings::btnOK)},
       true, Proxy(L" proxy ", 3128), {}},
      {"choosing the relay keeps the user's name and password",
       Proxy(L"proxy", 8080, vtptHttp, vtpckStandard, false, L"alice", L"secret"),
       {Choose(2), Check([](TfrmProxySettings& d) {
          EXPECT_EQ(d.txtProxyServerPort->GetText(), L"33500");
          EXPECT_EQ(d.txtProxyUserName->GetText(), L"");
          EXPECT_FALSE(d.txtProxyUserName->Enabled());
          EXPECT_FALSE(d.chkAuthentication->Checked());
        }),
        Click(&TfrmProxySettings::btnOK)},
       true, Proxy(L"proxy", 33500, vtptSocks, vtpckVeltRelay, true, L"alice", L"secret"), {}},
      {"unchecked authentication still copies the disabled fields",
       httpAuth,
       {Check([](TfrmProxySettings& d) {
          EXPECT_TRUE(d.chkAuthentication->Checked());
          EXPECT_TRUE(d.txtProxyUserName->Enabled());
          EXPECT_EQ(d.txtProxyUserPassword->GetText(), L"pw");
        }),
        Type(&TfrmProxySettings::txtProxyUserName, L"carol"),
        [](TfrmProxySettings& d) {
          test::ClickAt(d.chkAuthentication, 8, 9);
          return true;
        },
        Check([](TfrmProxySettings& d) {
          EXPECT_FALSE(d.chkAuthentication->Checked());
          EXPECT_FALSE(d.txtProxyUserName->Enabled());
          EXPECT_FALSE(d.txtProxyUserPassword->Enabled());
        }),
        Click(&TfrmProxySettings::btnOK)},
       true, Proxy(L"proxy", 3128, vtptHttp, vtpckStandard, false, L"carol", L"pw"), {}},
      {"Up on the closed box steps without the default port; Up on the first entry, then OK keeps type and kind",
       Proxy(L"proxy", 1081, vtptSocks),
       {[](TfrmProxySettings& d) {
          d.cbProxyType->SetFocus();
          return true;
        },
        Key(VK_UP),
        Check([](TfrmProxySettings& d) {
          EXPECT_EQ(d.cbProxyType->ItemIndex(), 0);
          EXPECT_EQ(d.txtProxyServerPort->GetText(), L"1081");
        }),
        Key(VK_UP),
        Check([](TfrmProxySettings& d) {
          EXPECT_EQ(d.cbProxyType->ItemIndex(), -1);
          EXPECT_EQ(d.cbProxyType->Text(), L"");
        }),
        Click(&TfrmProxySettings::btnOK)},
       true, Proxy(L"proxy", 1081, vtptSocks), {}},
      {"Tab to Cancel and Enter clicks Cancel, not OK",
       http,
       {Type(&TfrmProxySettings::txtProxyServerPort, L"9090"), TabTo(&TfrmProxySettings::btnCancel),
        Key(VK_RETURN)},
       false, http, {}},
      {"Enter in an edit clicks OK",
       http,
       {Type(&TfrmProxySettings::txtProxyServerPort, L"9090"), Key(VK_RETURN)},
       true, withPort(http, 9090), {}},
      {"Esc clicks Cancel",
       http,
       {Type(&TfrmProxySettings::txtProxyServerPort, L"9090"), Key(VK_ESCAPE)},
       false, http, {}},
      {"Shift+Esc does nothing",
       http,
       {Type(&TfrmProxySettings::txtProxyServerPort, L"9090"), Key(VK_ESCAPE, VK_SHIFT), StillOpen(),
        Click(&TfrmProxySettings::btnOK)},
       true, withPort(http, 9090), {}},
      {"the close button writes nothing",
       http,
       {Type(&TfrmProxySettings::txtProxyServerPort, L"9090"), Click(&TfrmProxySettings::sbClose)},
       false, http, {}},
      {"Cancel writes nothing",
       http,
       {Type(&TfrmProxySettings::txtProxyServerPort, L"9090"), Choose(1),
        Click(&TfrmProxySettings::btnCancel)},
       false, http, {}},
  };
  for (const TDialogCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TOwner owner;
    TInstallerProxyParams p;
    p.Assign(c.Before);
    TRunResult r = RunDialog(owner, p, c.Steps);
    EXPECT_TRUE(r.Finished) << "the dialog ended by the steps, not by the watchdog";
    EXPECT_EQ(r.Ok, c.Ok);
    EXPECT_EQ(Describe(p), Describe(c.After));
    EXPECT_EQ(r.Boxes, c.Boxes);
    EXPECT_EQ(owner.Dialog(), nullptr) << "freed";
    EXPECT_TRUE(IsWindowEnabled(owner.Form.Handle()));
  }
}

TEST(ProxySettings, LayoutCaptionsAndFrame) {
  TOwner owner;
  TInstallerProxyParams p = Proxy(L"", 0);
  TRunResult r = RunDialog(owner, p, {Check([&owner](TfrmProxySettings& d) {
    // Captions from the catalogue section.
    EXPECT_EQ(d.labCaption->GetCaption(), L"Connection Settings");
    EXPECT_EQ(d.btnOK->GetCaption(), L"Ok");
    EXPECT_EQ(d.btnCancel->GetCaption(), L"Cancel");
    EXPECT_EQ(d.chkAuthentication->GetCaption(), L"Authentication required");
    EXPECT_EQ(d.labProxyServerPort->GetCaption(), L"Port:");
    EXPECT_EQ(d.labProxyType->GetCaption(), L"Proxy server type:");
    ASSERT_EQ(d.cbProxyType->ItemCount(), 3);
    EXPECT_EQ(d.cbProxyType->Items()[0].Text, L"HTTP");
    EXPECT_EQ(d.cbProxyType->Items()[1].Text, L"SOCKS");
    EXPECT_EQ(d.cbProxyType->Items()[2].Text, L"Relay Proxy");
    for (TVeltEdit* e : {d.txtProxyServerName, d.txtProxyUserName, d.txtProxyUserPassword})
      EXPECT_TRUE(e->InlineText().empty()) << "no placeholder";
    EXPECT_EQ(d.txtProxyUserPassword->PasswordChar(), L'*');
    EXPECT_TRUE(d.txtProxyServerName->Edit()->Focused()) << "the first field in tab order has the focus";
    // Client area 599 x 500, centred on the owner.
    RECT dr, orc;
    GetWindowRect(d.Handle(), &dr);
    GetWindowRect(owner.Form.Handle(), &orc);
    EXPECT_EQ(dr.right - dr.left, 599);
    EXPECT_EQ(dr.bottom - dr.top, 500);
    EXPECT_EQ(dr.left, orc.left + (800 - 599) / 2);
    EXPECT_EQ(dr.top, orc.top + (157 - 500) / 2);
    // Positions within the content panel, and the panel inside the frames.
    EXPECT_EQ(d.pnlContent->Width(), 599 - 2 - 70);
    EXPECT_EQ(d.btnOK->Left(), 218);
    EXPECT_EQ(d.btnOK->Top(), 335);
    EXPECT_EQ(d.btnCancel->Left(), 374);
    EXPECT_EQ(d.txtProxyServerPort->Left(), 273);
    EXPECT_EQ(d.txtProxyServerPort->Top(), 166);
    EXPECT_EQ(d.sbClose->Left(), 548);
    // Grey outer line, blue lines above and below the white body.
    auto shot = test::Grab(d.Handle());
    const TColor grey = 5855577;
    EXPECT_EQ(shot->Pixel(0, 250), grey);
    EXPECT_EQ(shot->Pixel(598, 250), grey);
    EXPECT_EQ(shot->Pixel(300, 0), grey);
    EXPECT_EQ(shot->Pixel(300, 499), grey);
    EXPECT_EQ(shot->Pixel(300, 43), kBrandBlue);
    EXPECT_EQ(shot->Pixel(300, 496), kBrandBlue);
    EXPECT_EQ(shot->Pixel(300, 30), clWhite);
    EXPECT_EQ(shot->Pixel(20, 250), clWhite);
  }), Key(VK_ESCAPE)});
  EXPECT_TRUE(r.Finished);
  EXPECT_FALSE(r.Ok);
}

TEST(ProxySettings, Screenshots) {
  const struct {
    const wchar_t* File;
    TInstallerProxyParams P;
  } shots[] = {
      {L"proxy-settings-http-auth",
       Proxy(L"proxy.example.com", 3128, vtptHttp, vtpckStandard, true, L"alice", L"secret")},
      {L"proxy-settings-relay", Proxy(L"relay.example.com", 33500, vtptSocks, vtpckVeltRelay, true)},
  };
  for (auto& s : shots) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(s.File)));
    TOwner owner;
    TInstallerProxyParams p;
    p.Assign(s.P);
    bool saved = false;
    TRunResult r = RunDialog(owner, p, {[&](TfrmProxySettings& d) {
                                          RedrawWindow(d.Handle(), nullptr, nullptr,
                                                       RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
                                          saved = test::SaveWindowScreenshot(d.Handle(), s.File);
                                          return true;
                                        },
                                        Key(VK_ESCAPE)});
    EXPECT_TRUE(r.Finished);
    EXPECT_TRUE(saved);
    const std::wstring file = test::BinaryDir() + L"\\screenshots\\" + s.File + L".png";
    EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

}  // namespace
}  // namespace vt
