#include "classlib/Classes.h"
#include "classlib/Resources.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  FDestroying = true;
  // Tell everyone who asked that this component goes away.
  for (TComponent* c : std::vector<TComponent*>(FFreeNotifies)) {
    c->RemoveFreeNotification(this);
    c->Notification(this, opRemove);
  }
  FFreeNotifies.clear();
  // Free the owned components, newest first; each is cut from its owner first.
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    RemoveComponent(c);
    delete c;
  }
  if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents) {
    const std::string& n = c->Name();
    if (LowerCase(n) == LowerCase(name)) return c;
  }
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->FOwner) component->FOwner->RemoveComponent(component);
  FComponents.push_back(component);
  component->FOwner = this;
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(FComponents.begin(), FComponents.end(), component);
  if (it == FComponents.end()) return;
  Notification(component, opRemove);
  FComponents.erase(std::find(FComponents.begin(), FComponents.end(), component));
  component->FOwner = nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end())
    FFreeNotifies.push_back(component);
  if (std::find(component->FFreeNotifies.begin(), component->FFreeNotifies.end(), this) ==
      component->FFreeNotifies.end())
    component->FFreeNotifies.push_back(this);
}

// Drops the link on both sides, so neither keeps a pointer to the other.
void TComponent::RemoveFreeNotification(TComponent* component) {
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), component), FFreeNotifies.end());
  auto& other = component->FFreeNotifies;
  other.erase(std::remove(other.begin(), other.end(), this), other.end());
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // Pass the news on to the owned components, so a sibling that refers to a
  // removed component hears of it.
  for (TComponent* c : std::vector<TComponent*>(FComponents))
      if (c != AComponent) c->Notification(AComponent, Operation);
}

bool TComponent::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "Tag") {
    Tag = static_cast<std::intptr_t>(reader.Int(value));
    return true;
  }
  return false;
}

std::any TComponent::MethodAddress(const std::string&) { return {}; }

void TComponent::Loaded() { FLoading = false; }

// ---- TStringList ----------------------------------------------------------------------

const std::string& TStringList::Strings(int index) const {
  if (index < 0 || index >= Count())
    throw Exception(Format("リストのインデックスが範囲を超えています (%d)", index));
  return FItems[static_cast<std::size_t>(index)];
}

int TStringList::Add(const std::string& s) {
  FItems.push_back(s);
  return Count() - 1;
}

// ---- Streams ---------------------------------------------------------------------------

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("ストリームからの読み込みエラー");
}

TFileStream::TFileStream(const std::string& fileName, Cardinal mode) {
  FHandle = FileOpen(fileName, mode);
  if (FHandle <= 0) {
    FHandle = 0;
    throw EFOpenError(Format("ファイル %s は開けません", fileName.c_str()));
  }
}

TFileStream::~TFileStream() {
  if (FHandle > 0) FileClose(FHandle);
}

std::int64_t TFileStream::Size() {
  std::int64_t pos = FileSeek(FHandle, 0, 1);
  std::int64_t size = FileSeek(FHandle, 0, 2);
  FileSeek(FHandle, pos, 0);
  return size;
}

std::int64_t TFileStream::Position() { return FileSeek(FHandle, 0, 1); }

void TFileStream::SetPosition(std::int64_t pos) { FileSeek(FHandle, pos, 0); }

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  std::int64_t n = FileRead(FHandle, buffer, count);
  return n < 0 ? 0 : n;
}
