#include "imaging/NewCtrls.h"

#include <memory>
#include <vector>

#include "classlib/Forms.h"
#include "platform/Drop.h"
#include "platform/Windows.h"

WNDPROC TFileDrop::NewStub() {
  return MakeObjectInstance([this](TMessage& Message) { DropWndProc(Message); });
}

TFileDrop::TFileDrop(TComponent* AOwner) : TComponent(AOwner), FAccept(true) { FWndProcStub = NewStub(); }

TFileDrop::~TFileDrop() {
  UnhookWindow();
  FreeObjectInstance(FWndProcStub);
  // No window may keep calling a stub that is released: a window whose
  // procedure is still our stub gets its own back; one with another procedure
  // above ours keeps the stub, which then only passes everything on.
  for (const TLeftHook& left : FLeftHooks) {
    if (!IsWindow(left.Wnd)) {
      FreeObjectInstance(left.Stub);
    } else if (GetWindowLongA(left.Wnd, GWL_WNDPROC) == reinterpret_cast<LONG_PTR>(left.Stub)) {
      SetWindowLongA(left.Wnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(left.Prev));
      FreeObjectInstance(left.Stub);
    } else {
      HWND wnd = left.Wnd;
      WNDPROC prev = left.Prev;
      RebindObjectInstance(left.Stub, [wnd, prev](TMessage& Message) {
        Message.Result = CallWindowProcA(prev, wnd, Message.Msg, Message.WParam, Message.LParam);
      });
    }
  }
}

void TFileDrop::SetAccept(bool value) {
  if (value == FAccept) return;
  FAccept = value;
  if (FWndHandle) DragAcceptFiles(FWndHandle, FAccept ? TRUE : FALSE);
}

void TFileDrop::SetControl(TWinControl* value) {
  UnhookWindow();
  FControl = value;
  if (FControl) FControl->FreeNotification(this);
  HookWindow();
}

void TFileDrop::FormLoaded() {
  TComponent::Loaded();
  if (!FControl) RefreshHook();
}

void TFileDrop::RefreshHook() { SetControl(FControl); }

void TFileDrop::ComponentNotice(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || AComponent != FControl) return;
  // The base drops only this side of the free-notification link; a control that
  // lives on would keep a dangling link to this component. Keep both sides.
  if (!AComponent->Destroying()) AComponent->FreeNotification(this);
  // A control being freed takes its window with it. One that is only taken
  // away keeps its window: our stub comes off it at once where it is on top.
  // Under another procedure it stays, and is left with that window when the
  // hook is forgotten.
  if (FWndHandle && IsWindow(FWndHandle) &&
      GetWindowLongA(FWndHandle, GWL_WNDPROC) == reinterpret_cast<LONG_PTR>(FWndProcStub)) {
    SetWindowLongA(FWndHandle, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(FPrevWndProc));
    FWndHandle = nullptr;
  }
  FControl = nullptr;
  FAccept = false;
}

namespace {

// The form test: the owner is a form or derives from one.
TCustomForm* OwnerForm(TComponent* owner) { return dynamic_cast<TCustomForm*>(owner); }

}  // namespace

void TFileDrop::HookWindow() {
  TWinControl* target = FControl;
  if (!target) target = OwnerForm(Owner());
  if (!target) throw Exception("Invalidate Window Handle in FileDrop");
  if (!FWndProcStub) FWndProcStub = NewStub();  // the former one stays with a window it left
  FWndHandle = target->Handle();
  FPrevWndProc = reinterpret_cast<WNDPROC>(GetWindowLongA(FWndHandle, GWL_WNDPROC));
  SetWindowLongA(FWndHandle, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(FWndProcStub));
  DragAcceptFiles(FWndHandle, FAccept ? TRUE : FALSE);
}

void TFileDrop::UnhookWindow() {
  if (FWndHandle) {
    // The window that HookWindow would take now, without making one.
    TWinControl* target = FControl;
    if (!target) target = OwnerForm(Owner());
    HWND now = (target && target->HandleAllocated()) ? target->Handle() : nullptr;
    // The previous procedure goes back only where our stub is on top: under
    // another procedure, putting it back would cut that one out, and the stub
    // it calls must stay, serving this window alone.
    if (now == FWndHandle && GetWindowLongA(FWndHandle, GWL_WNDPROC) == reinterpret_cast<LONG_PTR>(FWndProcStub))
      SetWindowLongA(FWndHandle, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(FPrevWndProc));
    else if (IsWindow(FWndHandle))
      LeaveStubWithWindow();
  }
  FWndHandle = nullptr;
}

void TFileDrop::LeaveStubWithWindow() {
  HWND wnd = FWndHandle;
  WNDPROC prev = FPrevWndProc;
  FLeftHooks.push_back(TLeftHook{wnd, FWndProcStub, prev});
  RebindObjectInstance(FWndProcStub, [this, wnd, prev](TMessage& Message) { ServeWindow(Message, wnd, prev); });
  FWndProcStub = nullptr;
}

void TFileDrop::DropWndProc(TMessage& Message) { ServeWindow(Message, FWndHandle, FPrevWndProc); }

void TFileDrop::ServeWindow(TMessage& Message, HWND wnd, WNDPROC prev) {
  if (Message.Msg == WM_DROPFILES) {
    HDROP drop = reinterpret_cast<HDROP>(Message.WParam);
    try {
      DropFiles(drop);
    } catch (...) {
      Application->HandleException(this);
    }
    DragFinish(drop);
    return;
  }
  Message.Result = CallWindowProcA(prev, wnd, Message.Msg, Message.WParam, Message.LParam);
}

void TFileDrop::DropFiles(HDROP hDrop) {
  if (!OnFileDrop) return;
  auto files = std::make_unique<TStringList>();
  POINT point{0, 0};
  DragQueryPoint(hDrop, &point);
  Integer num = static_cast<Integer>(DragQueryFileA(hDrop, 0xFFFFFFFFu, nullptr, 0));
  // The platform's longest path, so no dropped path is cut.
  std::vector<char> buffer(MAX_PATH_BYTES);
  for (Integer i = 0; i < num; ++i) {
    buffer[0] = '\0';
    DragQueryFileA(hDrop, static_cast<UINT>(i), buffer.data(), static_cast<UINT>(buffer.size()));
    files->Add(std::string(buffer.data()));
  }
  OnFileDrop(this, num, files.get(), point.x, point.y);
}

bool TFileDrop::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "Accept") {
    SetAccept(reader.Bool(value));
  } else if (name == "Control") {
    TPropValue v = value;
    reader.Reference(value, [this, &reader, v](TComponent* c) {
      auto* control = dynamic_cast<TWinControl*>(c);
      if (!control) throw EResourceError(reader.ErrorText(v, "'" + v.Str + "' has no window to take drops"));
      SetControl(control);
    });
  } else if (name == "OnFileDrop") {
    OnFileDrop = reader.Method<void(TObject*, Integer, TStrings*, Integer, Integer)>(value);
  } else {
    return TComponent::ReadProperty(reader, name, value);
  }
  return true;
}
