#include "fw/uComponents.h"

#include <algorithm>

namespace vt {

namespace {

bool IsValidIdent(std::wstring_view s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    wchar_t c = s[i];
    bool letter = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_';
    bool digit = c >= L'0' && c <= L'9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

}  // namespace

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (FOwner) {
    auto& list = FOwner->FComponents;
    auto it = std::find(list.begin(), list.end(), this);
    if (it != list.end()) list.erase(it);
    FOwner = nullptr;
  }
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    FComponents.pop_back();
    c->FOwner = nullptr;
    delete c;
  }
}

void TComponent::SetName(std::wstring_view Value) {
  // Changing only the letter case of its own name is always allowed.
  if (SameTextAZ(Value, FName)) {
    FName = Value;
    return;
  }
  if (!Value.empty() && !IsValidIdent(Value))
    throw EComponentError(Format(L"\"%s\" is not a valid component name", {Value}));
  if (!Value.empty() && FOwner) {
    TComponent* other = FOwner->FindComponent(Value);
    if (other && other != this)
      throw EComponentError(Format(L"A component named %s already exists", {Value}));
  }
  FName = Value;
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EComponentError(Format(L"Component index out of bounds (%d)", {Index}));
  return FComponents[static_cast<size_t>(Index)];
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  const auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(std::wstring_view Name) const {
  if (Name.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameTextAZ(c->FName, Name)) return c;
  return nullptr;
}

void TCaptionedComponent::SetCaption(std::wstring_view Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  CaptionChanged();
}

}  // namespace vt
