// The proxy settings dialog: proxy type (HTTP, SOCKS, the maker's relay),
// server, port and optional credentials, read from and written back to the
// main window's proxy parameters only when the user ends it with OK.
#pragma once
#include <string>

#include "app/uInstallOptions.h"
#include "fw/uForms.h"
#include "lang/Language.h"
#include "ui/QSButton.h"
#include "ui/QSSystemButton.h"
#include "ui/QsCombobox.h"
#include "ui/VtCheckBox.h"
#include "ui/VtEdit.h"

namespace vt {

// The entries of the type box, in order: index 0 HTTP, 1 SOCKS, 2 relay.
struct TProxyTypeEntry {
  const wchar_t* Key;  // catalogue key of its text
  TVtProxyType ProxyType;
  TVtProxyCustomKind ProxyKind;
  const wchar_t* DefaultPort;
};
inline constexpr TProxyTypeEntry kProxyTypeEntries[] = {
    {L"msgProxyHTTP", vtptHttp, vtpckStandard, L"8080"},
    {L"msgProxySOCKS", vtptSocks, vtpckStandard, L"1080"},
    {L"msgProxyRelay", vtptSocks, vtpckVeltRelay, L"33500"},
};

class TfrmProxySettings : public TForm {
public:
  explicit TfrmProxySettings(TComponent* AOwner);

  TPanel* pntTitle;
  TLabel* labCaption;
  TQSSystemButton* sbClose;
  TPanel* pnlBackground;
  TPanel* pnlBodyMain;
  TPanel* pnlContent;
  TLabel* labProxyDescription;
  TLabel* labProxyType;
  TQsCombobox* cbProxyType;
  TLabel* labProxyServerName;
  TVeltEdit* txtProxyServerName;
  TLabel* labProxyServerPort;
  TVeltEdit* txtProxyServerPort;
  TVtCheckbox* chkAuthentication;
  TLabel* labProxyUserName;
  TVeltEdit* txtProxyUserName;
  TLabel* labProxyUserPassword;
  TVeltEdit* txtProxyUserPassword;
  TQSButton* btnOK;
  TQSButton* btnCancel;
  TLanguage* Lang;  // the dialog's own catalogue, owned by the dialog

  // Fills the fields from P (no change event: the port stays as P has it).
  void LoadFrom(const TInstallerProxyParams& P);
  // Writes the fields into P, as OK does.
  void SaveTo(TInstallerProxyParams& P) const;
  // Users and password only with authentication and a proxy of the user's
  // own; port and authentication not for the relay; the server always.
  void SetEnabledState();
  // False (after the "Invalid port" warning) for a port that is 0 or not a
  // number while a server is given.
  bool ValidatePort();

  void cbProxyTypeChange(TComponent* Sender);
  void chkAuthenticationClick(TComponent* Sender);
  void btnOKClick(TComponent* Sender);
  void btnCancelClick(TComponent* Sender);

protected:
  void DoShow() override;

private:
  void CreateComponents();
};

// The Proxy link's work: the dialog, owned by Owner and centred on it, shows
// Params; on OK the fields are written back and the result is true. Nothing
// changes on Cancel, Esc or the close button.
bool EditProxySettings(TForm* Owner, TInstallerProxyParams& Params);

}  // namespace vt
