// The combo box: the text of the chosen entry beside a drop button; its list
// is a separate borderless top-most form with a drop shadow, placed below the
// box (or above it when there is no room) within the work area.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fw/uControls.h"
#include "fw/uForms.h"
#include "ui/GUIStyleConstants.h"

namespace vt {

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

// Drop button pictures by state, and their start-up and shutdown.
enum TComboButtonPicture { cbpNormal, cbpHover, cbpClick, cbpDisabled };
const TPngImage* ComboButtonPicture(TComboButtonPicture Which);
void QsComboboxInitialization();
void QsComboboxFinalization();

class TQsCombobox;

// A list box whose items never show the focus rectangle; the items are drawn
// by the combo box's colours.
class TNoFocusRectListBox : public TControl {
public:
  TNoFocusRectListBox(TComponent* AOwner, TQsCombobox* ACombo);
  int ItemIndex() const;
  void SetItemIndex(int Value);
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int Value) { FItemHeight = Value; }
  bool DialogKey(WORD Key, TShiftState Shift) override;
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

private:
  void DrawItem(const DRAWITEMSTRUCT& Item);
  TQsCombobox* FCombo;
  int FItemHeight = 16;
};

// The open list of a combo box.
class TDropDownForm : public TForm {
public:
  explicit TDropDownForm(TQsCombobox* AOwnerCombo);
  TNoFocusRectListBox* ListBox() const { return FListBox; }
  TQsCombobox* OwnerCombo() const { return FOwnerCombo; }
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

protected:
  void CreateParams(TCreateParams& Params) override;

private:
  TNoFocusRectListBox* FListBox = nullptr;
  TQsCombobox* FOwnerCombo;
};

struct TComboItem {
  std::wstring Text;
  void* Object = nullptr;
};

class TQsCombobox : public TCustomControl {
public:
  explicit TQsCombobox(TComponent* AOwner);
  ~TQsCombobox() override;

  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle Value);
  const std::vector<TComboItem>& Items() const { return FItems; }
  int ItemCount() const { return static_cast<int>(FItems.size()); }
  void AddItem(std::wstring_view Text, void* Object = nullptr);
  // Index -1, no items, and an open list emptied.
  void Clear();
  int ItemIndex() const { return FItemIndex; }
  // Clamps to -1 .. count-1 and shows the entry; fires no event.
  void SetItemIndex(int Value);
  const std::wstring& Text() const { return FText; }

  TColor BorderColor() const { return FBorderColor; }
  void SetBorderColor(TColor Value) { Change(FBorderColor, Value); }
  TColor BorderColorHover() const { return FBorderColorHover; }
  void SetBorderColorHover(TColor Value) { Change(FBorderColorHover, Value); }
  TColor BorderColorClick() const { return FBorderColorClick; }
  void SetBorderColorClick(TColor Value) { Change(FBorderColorClick, Value); }
  TColor BorderColorDisabled() const { return FBorderColorDisabled; }
  void SetBorderColorDisabled(TColor Value) { Change(FBorderColorDisabled, Value); }
  TColor ColorDisabled() const { return FColorDisabled; }
  void SetColorDisabled(TColor Value) { Change(FColorDisabled, Value); }
  const TFont& FontDisabled() const { return FFontDisabled; }
  void SetFontDisabled(const TFont& Value) { Change(FFontDisabled, Value); }
  TColor ListColor() const { return FListColor; }
  void SetListColor(TColor Value) { FListColor = Value; }
  const TFont& FontList() const { return FFontList; }
  void SetFontList(const TFont& Value) { FFontList = Value; }
  TColor ListSelectionColor() const { return FListSelectionColor; }
  void SetListSelectionColor(TColor Value) { FListSelectionColor = Value; }
  TColor ListSelectionTextColor() const { return FListSelectionTextColor; }
  void SetListSelectionTextColor(TColor Value) { FListSelectionTextColor = Value; }
  int TextIndent() const { return FTextIndent; }
  void SetTextIndent(int Value) { Change(FTextIndent, Value); }
  int DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int Value) { FDropDownCount = Value < 1 ? 1 : Value; }
  int DropDownHeight() const { return FDropDownHeight; }
  void SetDropDownHeight(int Value) { FDropDownHeight = Value; }
  // Frame lines are drawn while either bevel is raised or lowered (the default).
  TBevelCut BevelInner = bvRaised;
  TBevelCut BevelOuter = bvLowered;
  void SetEnabled(bool Value) override;

  // The open list, or none.
  TDropDownForm* DropDownForm() const { return FForm.get(); }
  bool DroppedDown() const { return FForm != nullptr; }
  // Opens the list (after OnChanging allows), or closes it when open.
  void DropDownIt();
  // Closes the list; with Commit the list's entry becomes the box's and
  // OnChange then OnSelect fire.
  void CloseUp(bool Commit);
  // The height of one list item: the text height of "Ag" in FontList + 4.
  int ListItemHeight();
  // Where the list goes for a box at ComboScreen in WorkArea.
  static RECT PlaceList(const RECT& ComboScreen, int ListWidth, int ListHeight, const RECT& WorkArea);
  // The drop button's area (client coordinates).
  RECT ButtonRect() const;
  bool ChangeAllowed();

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnCloseUp;
  TNotifyEvent OnDropDown;
  TOnChangingEvent OnChanging;

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

protected:
  void Paint(TCanvas& Canvas) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseLeave() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void DoEnter() override;
  void DoExit() override;
  void FontChanged() override;
  UINT DialogCode() override { return DLGC_WANTARROWS; }

private:
  friend class TNoFocusRectListBox;
  friend class TDropDownForm;
  class TComboEdit;
  template <class T>
  void Change(T& Field, const T& Value) {
    if (Field == Value) return;
    Field = Value;
    Invalidate();
  }
  bool Editable() const { return FStyle == csDropDown || FStyle == csSimple; }
  void ShowEdit();
  void HideEdit();
  void EditChanged();
  void StepIndex(int Delta, bool FromEdit);
  void ShowIndex(int Value);
  void ListDeactivated();
  void ReleaseClosedForms();

  TComboBoxStyle FStyle = csDropDown;
  bool FMouseDown = false;
  bool FHover = false;
  TColor FBorderColor = kBrandBlue;
  TColor FColorDisabled;
  TFont FFontDisabled;
  TColor FBorderColorDisabled = kDisabledBlue;
  bool FMouseOnConrol = false;
  std::wstring FText;
  std::vector<TComboItem> FItems;
  std::unique_ptr<TDropDownForm> FForm;
  TApplicationEvents* AppEvents = nullptr;
  TColor FListColor;
  TFont FFontList;
  TColor FListSelectionTextColor;
  TColor FListSelectionColor;
  int FItemIndex = -1;
  TComboEdit* FEdit = nullptr;
  bool FChangeAllowed = false;
  TColor FBorderColorHover = kHoverBlue;
  TColor FBorderColorClick = kPressedBlue;
  int FTextIndent = 11;
  int FDropDownHeight = 380;
  int FDropDownCount = 8;
  // Closed lists whose windows go once their own messages are done.
  std::vector<std::unique_ptr<TDropDownForm>> FClosed;
  bool FSettingEditText = false;
};

}  // namespace vt
