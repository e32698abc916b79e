// Text form resources: the registry of compiled-in resources, the registry of
// component classes by name, and the reader that builds a form from its resource.
//
// The resource text has the classic form:
//   object Form1: TForm1
//     Caption = 'Vornel_L(Ver0.15)'
//     Font.Name = 'ＭＳ Ｐゴシック'
//     BorderIcons = [biSystemMenu, biMinimize]
//     OnCreate = FormCreate
//     object Edit1: TEdit
//       Left = 152
//     end
//   end
// Values are integers, floats, 'quoted strings' (a doubled quote stands for one,
// #nnn for a character code), identifiers and [sets]. Names may be dotted.
#pragma once
#include <any>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/Classes.h"

// Called by the generated source of each compiled-in resource; returns true.
bool RegisterFormResource(const std::string& name, std::string_view text);
// The text of a compiled-in resource; raises EResourceError when there is none.
std::string_view FindFormResource(const std::string& name);

using TComponentFactory = std::function<TComponent*(TComponent* owner)>;
// Registers a component class so that resources can create it by name.
void RegisterComponentClass(const std::string& className, TComponentFactory factory);
template <class T>
void RegisterComponentClass(const std::string& className) {
  RegisterComponentClass(className, [](TComponent* owner) -> TComponent* { return new T(owner); });
}

// Registers a component class from its header, so that any program that uses the
// class can create it from a resource: VORNEL_REGISTER_CLASS(TMailAndHP);
#define VORNEL_REGISTER_CLASS(T) \
  inline const bool T##_class_registered = (RegisterComponentClass<T>(#T), true)

class TReader {
 public:
  // Reads the resource text into root, which is the form already constructed
  // (its own class is not created from the registry). Every child object is
  // created through the class registry with root as its owner. Unknown class,
  // property or method names, or malformed text, raise EResourceError with the
  // resource name and line. Once all is read: component references are resolved,
  // then Loaded runs on every component, children first, root last.
  static void ReadRootComponent(const std::string& resourceName, std::string_view text, TComponent* root);

  // For ReadProperty implementations: the method of the root named by an
  // identifier value, as a function of the event's type.
  template <class Sig>
  std::function<Sig> Method(const TPropValue& value) {
    std::any m = FindMethod(value);
    if (auto* f = std::any_cast<std::function<Sig>>(&m)) return *f;
    throw EResourceError(ErrorText(value, "method '" + value.Str + "' does not fit the event"));
  }
  // For ReadProperty implementations: a reference to another component by name,
  // resolved once every component of the resource exists.
  void Reference(const TPropValue& value, std::function<void(TComponent*)> assign);

  // Integer, string, identifier and boolean values, checked by kind.
  std::int64_t Int(const TPropValue& value) const;
  const std::string& String(const TPropValue& value) const;
  const std::string& Ident(const TPropValue& value) const;
  bool Bool(const TPropValue& value) const;
  // An integer from lo to hi; any other raises the error outOfRange.
  std::int64_t IntIn(const TPropValue& value, std::int64_t lo, std::int64_t hi, const char* outOfRange) const;
  // An integer of 32 bits ("number out of range" else).
  Integer Int32(const TPropValue& value) const;
  // The index in names of an identifier, letters without regard to case; one
  // not there raises "unknown <what> '<identifier>'".
  std::size_t IdentIn(const TPropValue& value, std::initializer_list<const char*> names, const char* what) const;
  // A set of identifiers, each standing for the flag beside it in members,
  // letters without regard to case: the flags together. A member not there
  // raises "unknown <what> '<identifier>'".
  unsigned SetIn(const TPropValue& value, std::initializer_list<std::pair<const char*, unsigned>> members,
                 const char* what) const;

  std::string ErrorText(const TPropValue& value, const std::string& what) const;
  TComponent* Root() const { return FRoot; }

 private:
  TReader(std::string resourceName, TComponent* root) : FResourceName(std::move(resourceName)), FRoot(root) {}
  std::any FindMethod(const TPropValue& value);
  std::string FResourceName;
  TComponent* FRoot;
  std::vector<std::pair<TPropValue, std::function<void(TComponent*)>>> FFixups;
  friend class TReaderImpl;
};
