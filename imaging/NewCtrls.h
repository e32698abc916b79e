// NewCtrls unit: TFileDrop, the component that makes a window a target for
// files dropped from the file manager.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Controls.h"
#include "classlib/Resources.h"
#include "platform/WinTypes.h"

// The drop event: Num files (always Files->Count()), their full paths in the
// drop's order, and the drop point in client coordinates of the window that
// received the drop. Files belongs to the TFileDrop and lives only for the
// call: the handler must neither keep nor free it.
using TFileDropEvent =
    std::function<void(TObject* Sender, Integer Num, TStrings* Files, Integer X, Integer Y)>;

// Hooks one window (Control's, or while Control is empty the owner form's),
// registers it as a drop target and turns each WM_DROPFILES into one
// OnFileDrop. Published: Accept (default true), Control, OnFileDrop.
class TFileDrop : public TComponent {
 public:
  explicit TFileDrop(TComponent* AOwner);
  ~TFileDrop() override;

  bool Accept() const { return FAccept; }
  void SetAccept(bool value);
  TWinControl* Control() const { return FControl; }
  void SetControl(TWinControl* value);

  // Unhooks and hooks again through SetControl with the current Control.
  void RefreshHook();

  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;

  // The window hooked now; nullptr when none (test support).
  HWND HookedWindow() const { return FWndHandle; }

 private:
  bool FAccept;
  TWinControl* FControl = nullptr;

 public:
  TFileDropEvent OnFileDrop;

 private:
  HWND FWndHandle = nullptr;
  WNDPROC FWndProcStub = nullptr;
  WNDPROC FPrevWndProc = nullptr;
  // Live windows whose hook was forgotten without putting their procedure
  // back (another window would be hooked now, or another procedure sat above
  // our stub when the hook went). Each keeps a stub of its own that serves
  // that window alone and forwards to the procedure it had.
  struct TLeftHook {
    HWND Wnd;
    WNDPROC Stub;
    WNDPROC Prev;
  };
  std::vector<TLeftHook> FLeftHooks;

 protected:
  // The after-load step (Loaded): hooks the owner form's window when Control
  // is still empty.
  void FormLoaded();
  void Loaded() override { FormLoaded(); }
  // Removal notice (Notification): forgets a removed Control, sets Accept false.
  void ComponentNotice(TComponent* AComponent, TOperation Operation);
  void Notification(TComponent* AComponent, TOperation Operation) override {
    ComponentNotice(AComponent, Operation);
  }
  virtual void DropFiles(HDROP hDrop);
  virtual void HookWindow();
  virtual void UnhookWindow();

 private:
  void DropWndProc(TMessage& Message);
  // DropWndProc for window wnd, whose previous procedure is prev.
  void ServeWindow(TMessage& Message, HWND wnd, WNDPROC prev);
  // The hooked window, still alive, keeps calling the current stub: the stub
  // becomes that window's own and the next hook takes a fresh one.
  void LeaveStubWithWindow();
  // A stub that hands every message to DropWndProc.
  WNDPROC NewStub();
};

VORNEL_REGISTER_CLASS(TFileDrop);
