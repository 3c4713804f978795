// The component model: named objects owned by another component, kept in
// creation order and freed by their owner. Windows and controls derive from
// these classes; only the kinds that show a caption expose one.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fw/uSysUtils.h"

namespace vt {

// A component operation that cannot be carried out (duplicate or invalid name).
class EComponentError : public Exception {
public:
  using Exception::Exception;
  std::wstring ClassName() const override { return L"EComponentError"; }
};

class TComponent;

// The plain event of the framework: who raised it.
using TNotifyEvent = std::function<void(TComponent* Sender)>;

// The caption of a component that has one (labels, buttons, check boxes, forms).
class ICaptioned {
public:
  virtual std::wstring GetCaption() const = 0;
  virtual void SetCaption(std::wstring_view Value) = 0;

protected:
  ~ICaptioned() = default;
};

class TComponent {
public:
  // An owner takes the new component into its list and frees it with itself.
  explicit TComponent(TComponent* AOwner);
  // Frees the owned components, then leaves the owner's list.
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }

  const std::wstring& Name() const { return FName; }
  // An identifier (letters, digits, '_', not starting with a digit) or empty;
  // unique among the owner's components without regard to case.
  void SetName(std::wstring_view Value);

  // The owned components in creation order.
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const;
  // Index in the owner's list; -1 without an owner.
  int ComponentIndex() const;
  // The owned component named Name (ignoring case), or none.
  TComponent* FindComponent(std::wstring_view Name) const;

  // The caption interface of the kinds that have one; none for the others.
  virtual ICaptioned* Captioned() { return nullptr; }

protected:
  // Frees the owned components, newest first. A derived class whose parts the
  // owned components still use calls it from its own destructor.
  void DestroyComponents();

private:
  TComponent* FOwner;
  std::wstring FName;
  std::vector<TComponent*> FComponents;
};

// A component with a caption held as text. A control that shows its caption
// overrides CaptionChanged to update what it shows.
class TCaptionedComponent : public TComponent, public ICaptioned {
public:
  using TComponent::TComponent;
  std::wstring GetCaption() const override { return FCaption; }
  void SetCaption(std::wstring_view Value) override;
  ICaptioned* Captioned() override { return this; }

protected:
  virtual void CaptionChanged() {}

private:
  std::wstring FCaption;
};

// Creates a component of class T owned by AOwner and gives it a name.
template <class T>
T* CreateNamed(TComponent* AOwner, std::wstring_view Name) {
  T* c = new T(AOwner);
  try {
    c->SetName(Name);
  } catch (...) {
    delete c;
    throw;
  }
  return c;
}

}  // namespace vt
