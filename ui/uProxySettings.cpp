#include "ui/uProxySettings.h"

#include <memory>

#include "fw/uSysUtils.h"
#include "lang/LngStrings.h"
#include "log/DebugLogUtils.h"

namespace vt {

namespace {

constexpr TColor kDialogFrame = 5855577;  // (89, 89, 89)
constexpr TColor kCaptionText = 2960685;  // (45, 45, 45)
constexpr TColor kContentText = 7039851;  // (107, 107, 107)

template <class T>
T* Place(TComponent* Owner, const wchar_t* Name, TControl* Parent, int X, int Y, int W, int H) {
  T* c = CreateNamed<T>(Owner, Name);
  c->SetParent(Parent);
  c->SetBounds(X, Y, W, H);
  return c;
}

int PortNumber(const std::wstring& Text) {
  int32_t v;
  return TryStrToInt(Text, v) ? v : 0;
}

}  // namespace

TfrmProxySettings::TfrmProxySettings(TComponent* AOwner) : TForm(AOwner) {
  TLogScope scope(L"-> TfrmProxySettings.FormCreate", L"<- TfrmProxySettings.FormCreate");
  SetCaption(L"Proxy settings");
  Position = poOwnerFormCenter;
  SetClientSize(599, 500);
  SetFontWith([](TFont& f) {
    f.SetName(L"Segoe UI");
    f.SetHeight(13);
  });
  CreateComponents();

  Lang = new TLanguage(this, true, L"");
  Lang->SetLocales(GetBuiltInLocales());
  Lang->Reset(false);
  Lang->LocalForm(L"frmProxySettings", L"");
  cbProxyType->Clear();
  for (const TProxyTypeEntry& e : kProxyTypeEntries) cbProxyType->AddItem(Lang->GetMessageW(e.Key));

  cbProxyType->OnChange = [this](TComponent* s) { cbProxyTypeChange(s); };
  chkAuthentication->OnClick = [this](TComponent* s) { chkAuthenticationClick(s); };
  btnOK->OnClick = [this](TComponent* s) { btnOKClick(s); };
  btnCancel->OnClick = [this](TComponent* s) { btnCancelClick(s); };
  LoadedAll();
}

void TfrmProxySettings::CreateComponents() {
  // The panels first: they have their final sizes before anything anchored goes on them.
  pntTitle = CreateNamed<TPanel>(this, L"pntTitle");
  pntTitle->SetParent(this);
  pntTitle->SetHeight(41);
  pntTitle->SetMargins(1, 1, 1, 0);
  pntTitle->SetAlign(alTop);
  pntTitle->SetColor(clWhite);

  labCaption = CreateNamed<TLabel>(this, L"labCaption");
  labCaption->SetParent(pntTitle);
  labCaption->SetWidth(480);
  labCaption->SetMargins(20, 1, 0, 1);
  labCaption->SetAlign(alLeft);
  labCaption->SetLayout(tlCenter);
  labCaption->SetFontWith([](TFont& f) {
    f.SetHeight(19);
    f.SetColor(kCaptionText);
  });

  sbClose = Place<TQSSystemButton>(this, L"sbClose", this, 548, 8, 45, 26);
  sbClose->SetAnchors(akTop | akRight);
  sbClose->SetColor(clWhite);

  pnlBackground = CreateNamed<TPanel>(this, L"pnlBackground");
  pnlBackground->SetParent(this);
  pnlBackground->SetMargins(1, 0, 1, 1);
  pnlBackground->SetAlign(alClient);
  pnlBackground->SetColor(kBrandBlue);

  pnlBodyMain = CreateNamed<TPanel>(this, L"pnlBodyMain");
  pnlBodyMain->SetParent(pnlBackground);
  pnlBodyMain->SetMargins(0, 4, 0, 4);
  pnlBodyMain->SetAlign(alClient);
  pnlBodyMain->SetColor(clWhite);

  pnlContent = CreateNamed<TPanel>(this, L"pnlContent");
  pnlContent->SetParent(pnlBodyMain);
  pnlContent->SetMargins(35, 35, 35, 35);
  pnlContent->SetAlign(alClient);
  pnlContent->SetColor(clWhite);
  pnlContent->SetFontWith([](TFont& f) {
    f.SetHeight(14);
    f.SetColor(kContentText);
  });

  labProxyDescription = CreateNamed<TLabel>(this, L"labProxyDescription");
  labProxyDescription->SetParent(pnlContent);
  labProxyDescription->SetHeight(40);
  labProxyDescription->SetWordWrap(true);
  labProxyDescription->SetAlign(alTop);

  const int labelW = 250, labelH = 20;
  labProxyType = Place<TLabel>(this, L"labProxyType", pnlContent, 0, 73, labelW, labelH);
  cbProxyType = Place<TQsCombobox>(this, L"cbProxyType", pnlContent, 0, 98, 267, 34);
  cbProxyType->SetStyle(csDropDownList);
  cbProxyType->SetColor(clWhite);
  cbProxyType->SetListColor(clWhite);
  cbProxyType->SetListSelectionColor(16750899);  // (51, 153, 255)
  cbProxyType->SetListSelectionTextColor(clWhite);

  auto edit = [this](const wchar_t* Name, int X, int Y, int W) {
    TVeltEdit* e = Place<TVeltEdit>(this, Name, pnlContent, X, Y, W, 34);
    e->SetFontWith([](TFont& f) { f.SetHeight(14); });
    return e;
  };
  labProxyServerName = Place<TLabel>(this, L"labProxyServerName", pnlContent, 0, 144, labelW, labelH);
  txtProxyServerName = edit(L"txtProxyServerName", 0, 166, 267);
  labProxyServerPort = Place<TLabel>(this, L"labProxyServerPort", pnlContent, 277, 144, labelW, labelH);
  txtProxyServerPort = edit(L"txtProxyServerPort", 273, 166, 251);

  chkAuthentication = Place<TVtCheckbox>(this, L"chkAuthentication", pnlContent, 0, 224, 177, 19);
  chkAuthentication->SetWordWrap(false);

  labProxyUserName = Place<TLabel>(this, L"labProxyUserName", pnlContent, 16, 249, labelW, labelH);
  txtProxyUserName = edit(L"txtProxyUserName", 16, 271, 251);
  txtProxyUserName->SetEnabled(false);
  labProxyUserPassword = Place<TLabel>(this, L"labProxyUserPassword", pnlContent, 273, 249, labelW, labelH);
  txtProxyUserPassword = edit(L"txtProxyUserPassword", 273, 271, 251);
  txtProxyUserPassword->SetPasswordChar(L'*');
  txtProxyUserPassword->SetEnabled(false);

  auto button = [this](const wchar_t* Name, int X, TButtonColorPreset Preset) {
    TQSButton* b = Place<TQSButton>(this, Name, pnlContent, X, 335, 150, 34);
    b->SetAnchors(akRight | akBottom);
    b->SetColorPreset(Preset);
    b->SetBorderEnabled(true);
    b->SetFontWith([](TFont& f) {
      f.SetName(L"Segoe UI");
      f.SetHeight(13);
    });
    // Stored with the design; the presets decide the colours.
    b->SetBorderColor(14330112);
    b->SetColorClick(16051678);
    b->SetFontColorHover(clBlack);
    b->SetFontColorClick(clBlack);
    b->SetFontColorDisabled(10921638);
    return b;
  };
  btnOK = button(L"btnOK", 218, bcpGeneral);
  btnOK->SetDefault(true);
  btnCancel = button(L"btnCancel", 374, bcpGeneralInversed);
  btnCancel->SetCancel(true);

  // Tab order: server, port, authentication, user, password, OK, Cancel, type.
  TControl* order[] = {txtProxyServerName, txtProxyServerPort, chkAuthentication, txtProxyUserName,
                       txtProxyUserPassword, btnOK, btnCancel, cbProxyType};
  for (int i = 0; i < 8; ++i) order[i]->SetTabOrder(i);
  SetActiveControl(txtProxyServerName);
}

void TfrmProxySettings::DoShow() {
  SetColor(kDialogFrame);  // shows as a dark grey line around the panels
  TForm::DoShow();
}

// ---- rules

void TfrmProxySettings::SetEnabledState() {
  const int i = cbProxyType->ItemIndex();
  const bool ownProxy = i < 2;
  txtProxyUserName->SetEnabled(chkAuthentication->Checked() && ownProxy);
  txtProxyUserPassword->SetEnabled(chkAuthentication->Checked() && ownProxy);
  txtProxyServerPort->SetEnabled(ownProxy);
  chkAuthentication->SetEnabled(ownProxy);
  txtProxyServerName->SetEnabled(true);
}

void TfrmProxySettings::LoadFrom(const TInstallerProxyParams& P) {
  const bool relay = P.ProxyKind == vtpckVeltRelay;
  cbProxyType->SetItemIndex(P.ProxyType == vtptHttp ? 0 : relay ? 2 : 1);
  txtProxyServerName->SetText(P.HostName);
  txtProxyServerPort->SetText(std::to_wstring(P.Port));
  chkAuthentication->SetChecked(P.UseAuth && !relay);
  // The relay's own account is never shown.
  txtProxyUserName->SetText(relay ? std::wstring() : P.UserName);
  txtProxyUserPassword->SetText(relay ? std::wstring() : P.Password);
  SetEnabledState();
}

void TfrmProxySettings::SaveTo(TInstallerProxyParams& P) const {
  const int i = cbProxyType->ItemIndex();
  if (i >= 0 && i < 3) {
    P.ProxyType = kProxyTypeEntries[i].ProxyType;
    P.ProxyKind = kProxyTypeEntries[i].ProxyKind;
  }
  P.HostName = txtProxyServerName->GetText();
  P.Port = PortNumber(txtProxyServerPort->GetText());
  if (P.ProxyKind == vtpckVeltRelay) {
    P.UseAuth = true;  // the download supplies the relay's account; the user's fields stay as they were
  } else {
    P.UseAuth = chkAuthentication->Checked();
    P.UserName = txtProxyUserName->GetText();
    P.Password = txtProxyUserPassword->GetText();
  }
}

bool TfrmProxySettings::ValidatePort() {
  if (PortNumber(txtProxyServerPort->GetText()) != 0 || txtProxyServerName->GetText().empty()) return true;
  MessageBoxExW(Handle(), Lang->GetMessageW(L"msgWrongPort").c_str(), GetCaption().c_str(), MB_OK | MB_ICONWARNING, 0);
  return false;
}

// ---- events

void TfrmProxySettings::cbProxyTypeChange(TComponent*) {
  const int i = cbProxyType->ItemIndex();
  if (i >= 0 && i < 3) txtProxyServerPort->SetText(kProxyTypeEntries[i].DefaultPort);
  if (i == 2) {
    chkAuthentication->SetChecked(false);
    txtProxyUserName->SetText(L"");
    txtProxyUserPassword->SetText(L"");
  }
  SetEnabledState();
}

void TfrmProxySettings::chkAuthenticationClick(TComponent*) { SetEnabledState(); }

void TfrmProxySettings::btnOKClick(TComponent*) {
  if (ValidatePort()) SetModalResult(mrOk);
}

void TfrmProxySettings::btnCancelClick(TComponent*) {
  SetModalResult(mrCancel);
  Close();
}

bool EditProxySettings(TForm* Owner, TInstallerProxyParams& Params) {
  TLogScope scope(L"-> EditProxySettings", L"<- EditProxySettings: False");
  auto dialog = std::make_unique<TfrmProxySettings>(Owner);
  dialog->LoadFrom(Params);
  if (dialog->ShowModal() != mrOk) return false;
  dialog->SaveTo(Params);
  scope.SetClose(L"<- EditProxySettings: True");
  return true;
}

}  // namespace vt
