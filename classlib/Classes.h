// Classes unit: the root classes, components with ownership and loading, string
// lists, file streams and the event types the forms bind by name.
#pragma once
#include <any>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

class TPersistent : public TObject {};

class TComponent;
class TStrings;
class TReader;

// Event types: a method bound to an object, empty when unassigned.
using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TOperation { opInsert, opRemove };

// One property value of a text form resource.
struct TPropValue {
  enum TKind { vaInt, vaFloat, vaString, vaIdent, vaSet };
  TKind Kind = vaInt;
  std::int64_t Int = 0;
  double Float = 0;
  std::string Str;               // vaString: the text; vaIdent: the identifier
  std::vector<std::string> Set;  // vaSet: the member identifiers
  int Line = 0;                  // line of the resource, for error messages
};

class TComponent : public TPersistent {
 public:
  // The virtual constructor through which the form-resource reader creates
  // components by class name; the owner, when given, owns the new component.
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& value) { FName = value; }
  std::intptr_t Tag = 0;

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents.at(index); }
  TComponent* FindComponent(const std::string& name) const;

  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  // Registers this component with another so that it hears of the other's removal.
  void FreeNotification(TComponent* component);

  bool Loading() const { return FLoading; }
  bool Destroying() const { return FDestroying; }

  // Called on every published property that a form resource sets, in the order
  // of the resource. Returns false for a name the class does not publish.
  virtual bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value);
  // The method published under name, bound to this object, as a std::function of
  // the event's type wrapped in std::any; empty when there is no such method.
  virtual std::any MethodAddress(const std::string& name);

  // Form-resource loading: set while the resource is read, cleared by Loaded.
  void BeginLoading() { FLoading = true; }
  // The after-load step, run once the whole resource has been read.
  virtual void Loaded();

 protected:
  // Told of components inserted into or removed from this one and of the removal
  // of components this one asked FreeNotification of.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  bool FLoading = false;
  bool FDestroying = false;
  void RemoveFreeNotification(TComponent* component);
};

// ---- String lists -------------------------------------------------------------------
class TStrings : public TPersistent {
 public:
  virtual int Count() const = 0;
  virtual const std::string& Strings(int index) const = 0;
  virtual int Add(const std::string& s) = 0;
  const std::string& operator[](int index) const { return Strings(index); }
};

class TStringList : public TStrings {
 public:
  int Count() const override { return static_cast<int>(FItems.size()); }
  // Raises EStringListError-style Exception "リストのインデックスが範囲を超えています (%d)"
  // for an index out of range.
  const std::string& Strings(int index) const override;
  int Add(const std::string& s) override;

 private:
  std::vector<std::string> FItems;
};

// ---- File streams --------------------------------------------------------------------
class TStream : public TObject {
 public:
  virtual std::int64_t Size() = 0;
  virtual std::int64_t Position() = 0;
  virtual void SetPosition(std::int64_t pos) = 0;
  // Reads up to count bytes; returns how many were read.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Reads exactly count bytes or raises EReadError "ストリームからの読み込みエラー".
  void ReadBuffer(void* buffer, std::int64_t count);
};

class TFileStream : public TStream {
 public:
  // Opens an existing file with fmOpen* | fmShare* flags; raises EFOpenError
  // "ファイル %s は開けません" (the path) when it cannot be opened.
  TFileStream(const std::string& fileName, Cardinal mode);
  ~TFileStream() override;
  std::int64_t Size() override;
  std::int64_t Position() override;
  void SetPosition(std::int64_t pos) override;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  THandle Handle() const { return FHandle; }

 private:
  THandle FHandle = 0;
};
