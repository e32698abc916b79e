// Forms unit: forms, the application object and its message loop.
//
// Declaring a form class (one per form resource):
//
//   class TForm1 : public TForm {
//    public:
//     TEdit* Edit1 = nullptr;            // component fields, bound by name
//     TFileDrop* FileDrop1 = nullptr;
//     explicit TForm1(TComponent* AOwner) : TForm(AOwner) {}
//     void FormCreate(TObject* Sender);
//     void FormClose(TObject* Sender, TCloseAction& Action);
//     void FileDrop1FileDrop(TObject* Sender, Integer Num, TStrings* Files, Integer X, Integer Y);
//     std::any MethodAddress(const std::string& name) override {
//       VORNEL_PUBLISH(FormCreate);        // the resource binds events by these names
//       VORNEL_PUBLISH(FormClose);
//       VORNEL_PUBLISH(FileDrop1FileDrop);
//       return TForm::MethodAddress(name);
//     }
//    protected:
//     void BindFields() override {
//       VORNEL_BIND(Edit1);                // raises EResourceError when the resource
//       VORNEL_BIND(FileDrop1);            // has no such component or another class
//     }
//   };
//
// A published method's signature must be exactly the event's (TNotifyEvent:
// void(TObject*); TCloseEvent: void(TObject*, TCloseAction&); ...).
//
// Program block:
//   Application->Initialize();
//   Application->SetTitle("Vornel_L");
//   Application->CreateForm(Form1);   // TForm1* Form1: reads resource "TForm1"
//   Application->Run();
#pragma once
#include <any>
#include <exception>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "classlib/Controls.h"

enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

using TBorderIcons = unsigned;
constexpr TBorderIcons biSystemMenu = 1;
constexpr TBorderIcons biMinimize = 2;
constexpr TBorderIcons biMaximize = 4;
constexpr TBorderIcons biHelp = 8;

enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// A method of object published as the event type its signature spells, in a
// std::any, as TComponent::MethodAddress returns it.
template <class C, class R, class... A>
std::any PublishMethod(C* object, R (C::*method)(A...)) {
  return std::function<R(A...)>(
      [object, method](A... args) -> R { return (object->*method)(std::forward<A>(args)...); });
}
// Inside MethodAddress(const std::string& name): publishes the method Name.
#define VORNEL_PUBLISH(Name) \
  if (name == #Name) return PublishMethod(this, &std::remove_pointer_t<decltype(this)>::Name)
// Inside BindFields(): binds the field Name to the component of that name.
#define VORNEL_BIND(Name) BindField(Name, #Name)

// A form: a top-level window whose client area holds the controls.
// Left/Top are the window's place on the screen (frame), setting them moves it at
// once; Width/Height are the frame's size; ClientWidth/ClientHeight the client
// area's. Published: BorderStyle, BorderIcons, ClientWidth, ClientHeight,
// Position (only poDesigned places the window; others are accepted as named),
// PixelsPerInch and TextHeight (accepted, no effect: nothing is scaled),
// OnCreate, OnClose, OnCloseQuery, OnActivate, plus TWinControl's.
class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  Integer Left() const override;
  Integer Top() const override;
  Integer Width() const override;
  Integer Height() const override;
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;
  Integer ClientWidth() const;
  Integer ClientHeight() const;
  void SetClientWidth(Integer value);
  void SetClientHeight(Integer value);

  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition value) { FPosition = value; }

  // The window icon from an XPM image compiled into the program
  // (#include "Vornel_L.xpm" gives `static const char* const Vornel_L_xpm[]`).
  void SetIconXpm(const char* const* xpm);

  // Shows the window; the first time, it also asks for activation, so that the
  // form reports it under any window system.
  void SetVisible(bool value) override;

  // The close of a form: asks CloseQuery; runs OnClose with caHide at once;
  // then, unless the action is caNone, ends the application when this is the
  // main form (Application->Terminate: a quit is posted), else hides,
  // minimizes or releases the form. Returns to the caller, which goes on. An
  // exception from OnClose leaves Close before anything else happens.
  void Close();
  // OnCloseQuery's answer (true when unassigned).
  virtual bool CloseQuery();
  // Frees the form once the running message handler has returned.
  void Release();

  // Whether the form has reported its activation (once per form).
  bool ActivationReported() const { return FActivated; }

  TNotifyEvent OnCreate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnActivate;

  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;
  void WndProc(TMessage& Message) override;

  // Called by the resource reader once every component of the resource exists,
  // before references are resolved and Loaded runs: binds the component fields.
  virtual void BindFields() {}
  // Runs OnCreate; an exception from it is shown by Application->HandleException
  // and the creation goes on.
  void DoCreate();

 protected:
  // Sets field to the owned component named name; EResourceError when there is
  // none or it is not a T.
  template <class T>
  void BindField(T*& field, const std::string& name) {
    TComponent* c = BindFieldLookup(name);
    field = dynamic_cast<T*>(c);
    if (!field) BindFieldMismatch(name, *c, typeid(T));
  }
  virtual void DoClose(TCloseAction& Action);
  virtual void Activate();
  void TextChanged() override;
  void BoundsChanged() override;

 private:
  TBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition FPosition = poDesigned;
  bool FShownOnce = false;
  bool FActivated = false;
  Integer FClientWidth = 0, FClientHeight = 0;
  TComponent* BindFieldLookup(const std::string& name);
  [[noreturn]] void BindFieldMismatch(const std::string& name, const TComponent& found, const std::type_info& want);
  void ApplyWindowFlags();
  void ApplyClientSize();
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

// The application object: the message loop, the main form and the error box.
class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  // Makes sure the Qt application exists (uses one the caller made, e.g. a test's).
  void Initialize();

  // The program's name: the caption of the error box, and the name the window
  // system groups and names the program's windows by (set it before the first
  // form is made).
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& value);

  // Constructs T owned by the application, sets Reference to it, reads the
  // compiled-in resource named after the class ("TForm1") into it (components
  // created, properties set, events bound, fields bound, Loaded run), then runs
  // OnCreate. The first form created becomes MainForm. When reading fails the
  // form is freed, Reference is null and the error (EResourceError naming the
  // resource and line, or whatever a component raised) goes on to the caller.
  template <class T>
  void CreateForm(T*& Reference) {
    CreateForm(Reference, ClassNameOf(typeid(T)));
  }
  template <class T>
  void CreateForm(T*& Reference, const std::string& resourceName) {
    static_assert(std::is_base_of_v<TCustomForm, T>, "CreateForm makes forms");
    Initialize();
    Reference = new T(this);
    try {
      LoadForm(Reference, resourceName);
    } catch (...) {
      delete Reference;
      Reference = nullptr;
      throw;
    }
  }

  TCustomForm* MainForm() const { return FMainForm; }

  // Shows the main form and handles messages until a quit has been met; returns
  // at once when there is no main form. Every exception that leaves a message
  // handler goes to HandleException. When the class library made the Qt
  // application, Run is the program's end: it frees the forms and then the Qt
  // application before it returns. A caller that made its own (the tests) keeps
  // the forms after Run and frees them with Reset.
  void Run();
  // Handles one message of the queue, or waits for the next event when none is
  // waiting (Qt's events in between).
  void HandleMessage();
  // Handles every pending event and message, without waiting. A quit met here
  // is recorded (Terminated becomes true), not acted on.
  void ProcessMessages();
  // Posts the quit; the loop ends when it meets it.
  void Terminate();
  // True once a quit has been met.
  bool Terminated() const { return FTerminated; }

  // The error box for the exception being handled (or E): a modal message box
  // with the error icon and OK, captioned Title, whose text is the message with
  // "." appended when its last byte sorts above "."; nothing for EAbort.
  void HandleException(TObject* Sender, std::exception_ptr E = std::current_exception());
  void ShowException(const std::exception& E);
  // The text the error box shows for a message.
  static std::string ErrorBoxText(const std::string& message);

  // Test support: frees every form, forgets the main form, drops pending
  // messages and clears Terminated, so that a test starts from a fresh loop.
  void Reset();

 private:
  std::string FTitle;
  TCustomForm* FMainForm = nullptr;
  bool FTerminated = false;
  int FDispatchDepth = 0;
  void LoadForm(TCustomForm* form, const std::string& resourceName);
  // Takes one message from the queue; false when none is waiting.
  bool ProcessMessage();
  void ReleaseForms();
  std::vector<TCustomForm*> FReleased;
  friend class TCustomForm;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
};

// The program's application object, made at start-up.
extern TApplication* const Application;
