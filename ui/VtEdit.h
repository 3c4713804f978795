// The framed single-line edit: a rounded frame drawn around a borderless
// system edit, with a placeholder text, a numbers-only mode and a guard that
// asks before the user's first change.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fw/uControls.h"
#include "ui/GUIStyleConstants.h"

namespace vt {

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

class TVeltEdit;

// The system edit inside TVeltEdit: no border, its parent's colour.
class TVeltInternalEdit : public TControl {
public:
  explicit TVeltInternalEdit(TVeltEdit* AOwner);

  std::wstring GetText() const;
  void SetEditText(std::wstring_view Value);
  void SelectAll();
  // Every text the edit has had, in order, and the text before the first change.
  const std::vector<std::wstring>& ChangesLog() const { return FChangesLog; }
  const std::wstring& StartTextValue() const { return FStartTextValue; }
  const std::wstring& InlineText() const { return FInlineText; }
  void SetInlineText(std::wstring_view Value);
  TColor InlineFontColor() const { return FInlineFontColor; }
  void SetInlineFontColor(TColor Value);
  bool OnChangingEnabled() const { return FOnChangingEnabled; }
  void SetOnChangingEnabled(bool Value) { FOnChangingEnabled = Value; }
  TOnChangingEvent OnChanging;

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyPress(wchar_t& Key) override;
  void DoEnter() override;
  void DoExit() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void Click() override;

private:
  friend class TVeltEdit;
  bool MayChange();
  void TextEdited();
  void PaintInlineText();

  TVeltEdit* FOwnerEdit;
  std::wstring FWindowText;  // the window's text, kept for a window made again
  std::vector<std::wstring> FChangesLog;
  std::wstring FStartTextValue;
  bool FNotFirstChange = false;
  bool FOnChangingEnabled = true;
  std::wstring FInlineText;
  TColor FInlineFontColor;
};

class TVeltEdit : public TCustomControl {
public:
  explicit TVeltEdit(TComponent* AOwner);

  TVeltInternalEdit* Edit() const { return FEdit; }
  std::wstring GetText() const { return FEdit->GetText(); }
  void SetText(std::wstring_view Value) { FEdit->SetEditText(Value); }
  const std::wstring& InlineText() const { return FEdit->InlineText(); }
  void SetInlineText(std::wstring_view Value) { FEdit->SetInlineText(Value); }
  TColor InlineFontColor() const { return FEdit->InlineFontColor(); }
  void SetInlineFontColor(TColor Value) { FEdit->SetInlineFontColor(Value); }
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  wchar_t PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(wchar_t Value);
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool Value) { FAutoSelect = Value; }
  TEditCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TEditCharCase Value);
  bool NumbersOnly() const { return FNumbersOnly; }
  void SetNumbersOnly(bool Value) { FNumbersOnly = Value; }
  int32_t DefaultValue() const { return FDefaultValue; }
  void SetDefaultValue(int32_t Value);
  int32_t MinValue() const { return FMinValue; }
  void SetMinValue(int32_t Value);
  int32_t MaxValue() const { return FMaxValue; }
  void SetMaxValue(int32_t Value);
  void SetEnabled(bool Value) override;

  // The numbers-only value of Text: a whole number within MaxValue (and
  // MinValue when ApplyMin), DefaultValue for anything else.
  std::wstring NormalizedText(std::wstring_view Text, bool ApplyMin) const;
  // Whether the changing handler allows a change now (asked once per focus).
  bool ChangeAllowed();

  TNotifyEvent OnChange;
  TNotifyEvent OnDblClick;
  TOnChangingEvent OnChanging;

protected:
  void Paint(TCanvas& Canvas) override;
  void Resize() override;
  void FontChanged() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  friend class TVeltInternalEdit;
  void LayoutEdit();
  void Normalize(bool ApplyMin);
  void EditChanged();
  void EditEntered();
  void EditLeft();
  bool StepValue(int Delta);

  TVeltInternalEdit* FEdit = nullptr;
  int32_t FDefaultValue = 0;
  int32_t FMinValue = 0;
  int32_t FMaxValue = 0;
  bool FChangeAllowed = false;
  int FMaxLength = 0;
  bool FReadOnly = false;
  wchar_t FPasswordChar = 0;
  bool FAutoSelect = true;
  TEditCharCase FCharCase = ecNormal;
  bool FNumbersOnly = false;
  bool FReplacing = false;  // a normalised text is being put in
};

}  // namespace vt
