// The drop target component: hooking, drops through WM_DROPFILES and through
// the Qt bridge, errors, Accept and Control.
#include <gtest/gtest.h>

#include <QApplication>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Forms.h"
#include "tests/support/GuiTestSupport.h"
#include "classlib/StdCtrls.h"
#include "imaging/NewCtrls.h"
#include "platform/Drop.h"
#include "platform/Windows.h"

namespace {

const char kDropForm[] =
    "object Form1: TDropForm\n"
    "  ClientWidth = 257\n"
    "  ClientHeight = 99\n"
    "  BorderStyle = bsSingle\n"
    "  OnActivate = FormActivate\n"
    "  object Edit1: TEdit\n"
    "    Left = 152\n"
    "    Top = 8\n"
    "    Width = 73\n"
    "    Height = 20\n"
    "  end\n"
    "  object FileDrop1: TFileDrop\n"
    "    OnFileDrop = FileDrop1FileDrop\n"
    "  end\n"
    "end\n";
const bool kDropFormRegistered = RegisterFormResource("TDropForm", kDropForm);

struct TDrop {
  TObject* Sender;
  Integer Num;
  std::vector<std::string> Files;
  Integer X, Y;
};

class TDropForm : public TForm {
 public:
  using TForm::TForm;
  TEdit* Edit1 = nullptr;
  TFileDrop* FileDrop1 = nullptr;
  std::vector<TDrop> Drops;
  std::function<void(TStrings*)> OnDropDo;
  std::function<void()> OnActivateDo;

  void FileDrop1FileDrop(TObject* Sender, Integer Num, TStrings* Files, Integer X, Integer Y) {
    TDrop d{Sender, Num, {}, X, Y};
    for (int i = 0; i < Files->Count(); ++i) d.Files.push_back(Files->Strings(i));
    Drops.push_back(d);
    if (OnDropDo) OnDropDo(Files);
  }
  void FormActivate(TObject*) {
    if (OnActivateDo) OnActivateDo();
  }
  std::any MethodAddress(const std::string& name) override {
    VORNEL_PUBLISH(FileDrop1FileDrop);
    VORNEL_PUBLISH(FormActivate);
    return TForm::MethodAddress(name);
  }

 protected:
  void BindFields() override {
    VORNEL_BIND(Edit1);
    VORNEL_BIND(FileDrop1);
  }
};

// The window procedure a control had before anything hooked it, recording what reaches it.
std::vector<std::pair<HWND, UINT>> BaseSeen;
LRESULT RecordingProc(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
  BaseSeen.emplace_back(hWnd, Msg);
  return 1234;
}

// A procedure installed over the drop target's stub, as another subclasser
// would; it takes itself out again by putting back the procedure it found.
std::map<HWND, WNDPROC> OverPrev;
LRESULT OverProc(HWND h, UINT m, WPARAM w, LPARAM l) { return CallWindowProcA(OverPrev[h], h, m, w, l); }
void SubclassOver(HWND h) {
  OverPrev[h] = reinterpret_cast<WNDPROC>(SetWindowLongA(h, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&OverProc)));
}
void RemoveOver(HWND h) { SetWindowLongA(h, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(OverPrev[h])); }

LRESULT Drop(HWND h, const std::vector<std::string>& paths, POINT p = POINT{0, 0}) {
  return SendMessageA(h, WM_DROPFILES, reinterpret_cast<WPARAM>(CreateDropHandle(paths, p)), 0);
}

class FileDropTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    BaseSeen.clear();
    OverPrev.clear();
    Handles = OpenDropHandleCount();
    Stubs = ObjectInstancesInUse();
    Application->CreateForm(Form);
  }
  void TearDown() override {
    GuiTest::TearDown();
    EXPECT_EQ(OpenDropHandleCount(), Handles) << "every drop handle is released";
    EXPECT_EQ(ObjectInstancesInUse(), Stubs) << "every stub is released";
  }
  TDropForm* Form = nullptr;
  std::size_t Handles = 0;
  int Stubs = 0;
};

TEST_F(FileDropTest, TheFormsWindowIsHookedOnceTheResourceIsRead) {
  HWND h = Form->Handle();
  EXPECT_EQ(Form->FileDrop1->HookedWindow(), h);
  EXPECT_EQ(Form->FileDrop1->Control(), nullptr);
  EXPECT_TRUE(Form->FileDrop1->Accept());
  EXPECT_TRUE(WindowAcceptsDrops(h));
  EXPECT_EQ(ObjectInstancesInUse(), Stubs + 1);

  EXPECT_EQ(Drop(h, {"/p/a.jpg", "/p/写真 2.JPG", "/q/c.jpeg"}, POINT{12, 34}), 0);
  ASSERT_EQ(Form->Drops.size(), 1u);
  const TDrop& d = Form->Drops[0];
  EXPECT_EQ(d.Sender, Form->FileDrop1);
  EXPECT_EQ(d.Num, 3);
  EXPECT_EQ(d.Files, (std::vector<std::string>{"/p/a.jpg", "/p/写真 2.JPG", "/q/c.jpeg"}));
  EXPECT_EQ(d.X, 12);
  EXPECT_EQ(d.Y, 34);
  EXPECT_EQ(OpenDropHandleCount(), Handles);

  Drop(h, {});
  ASSERT_EQ(Form->Drops.size(), 2u);
  EXPECT_EQ(Form->Drops[1].Num, 0);
  EXPECT_TRUE(Form->Drops[1].Files.empty());

  // Longer than the classic 254 bytes: arrives whole.
  std::string longPath = "/" + std::string(300, 'd') + "/" + std::string(200, 'f') + ".jpg";
  Drop(h, {longPath});
  ASSERT_EQ(Form->Drops.size(), 3u);
  EXPECT_EQ(Form->Drops[2].Files, std::vector<std::string>{longPath});
}

TEST_F(FileDropTest, UnassignedHandlerOnlyReleasesTheDrop) {
  Form->FileDrop1->OnFileDrop = nullptr;
  EXPECT_EQ(Drop(Form->Handle(), {"/a"}), 0);
  EXPECT_TRUE(Form->Drops.empty());
}

TEST_F(FileDropTest, ARaisingHandlerShowsOneBoxAndTheNextDropWorks) {
  Application->SetTitle("Vornel_L");
  TBoxWatcher boxes;
  TStrings* lent = nullptr;
  Form->OnDropDo = [&](TStrings* files) {
    lent = files;
    if (Form->Drops.size() == 1) throw EInvalidGraphic("JPEG エラー #53");
  };
  EXPECT_EQ(Drop(Form->Handle(), {"/a", "/b"}), 0);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "JPEG エラー #53.");
  EXPECT_EQ(boxes.Boxes[0].Title, "Vornel_L");
  EXPECT_EQ(OpenDropHandleCount(), Handles);
  EXPECT_NE(lent, nullptr);

  Drop(Form->Handle(), {"/c"});
  EXPECT_EQ(boxes.Boxes.size(), 1u);
  ASSERT_EQ(Form->Drops.size(), 2u);
  EXPECT_EQ(Form->Drops[1].Files, std::vector<std::string>{"/c"});
  // EAbort is silent.
  Form->OnDropDo = [](TStrings*) { throw EAbort(""); };
  Drop(Form->Handle(), {"/d"});
  EXPECT_EQ(boxes.Boxes.size(), 1u);
}

TEST_F(FileDropTest, OtherMessagesReachThePreviousProcedureUnchanged) {
  auto* edit = Form->Edit1;
  HWND e = edit->Handle();
  SetWindowLongA(e, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc));
  Form->FileDrop1->SetControl(edit);
  EXPECT_EQ(Form->FileDrop1->HookedWindow(), e);
  EXPECT_TRUE(WindowAcceptsDrops(Form->Handle())) << "the old window stays registered after unhooking";
  EXPECT_TRUE(WindowAcceptsDrops(e));

  EXPECT_EQ(SendMessageA(e, WM_USER + 9, 1, 2), 1234);
  ASSERT_EQ(BaseSeen.size(), 1u);
  EXPECT_EQ(BaseSeen[0], std::make_pair(e, WM_USER + 9));
  EXPECT_EQ(Drop(e, {"/x"}), 0);
  EXPECT_EQ(BaseSeen.size(), 1u) << "WM_DROPFILES never reaches the previous procedure";
  EXPECT_EQ(Form->Drops.size(), 1u);

  // Writing the same control again unhooks and hooks once: one pass through the stub.
  Form->FileDrop1->SetControl(edit);
  BaseSeen.clear();
  SendMessageA(e, WM_USER + 1, 0, 0);
  EXPECT_EQ(BaseSeen.size(), 1u);
  Form->FileDrop1->RefreshHook();
  BaseSeen.clear();
  SendMessageA(e, WM_USER + 1, 0, 0);
  EXPECT_EQ(BaseSeen.size(), 1u);

  // Back to the form: the edit gets its procedure back.
  Form->FileDrop1->SetControl(nullptr);
  EXPECT_EQ(GetWindowLongA(e, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&RecordingProc));
  EXPECT_EQ(Form->FileDrop1->HookedWindow(), Form->Handle());
}

TEST_F(FileDropTest, AcceptIsWrittenToTheHookedWindowOnly) {
  HWND h = Form->Handle();
  TFileDrop* fd = Form->FileDrop1;
  fd->SetAccept(false);
  EXPECT_FALSE(WindowAcceptsDrops(h));
  // Writing the stored value calls nothing: a registration made meanwhile stays.
  DragAcceptFiles(h, TRUE);
  fd->SetAccept(false);
  EXPECT_TRUE(WindowAcceptsDrops(h));
  DragAcceptFiles(h, FALSE);
  // A drop that arrives anyway is handled in full.
  Drop(h, {"/a"});
  EXPECT_EQ(Form->Drops.size(), 1u);
  fd->SetAccept(true);
  EXPECT_TRUE(WindowAcceptsDrops(h));

  // Before anything is hooked, Accept only waits for the hook.
  auto* late = new TFileDrop(Form);
  late->SetAccept(false);
  EXPECT_EQ(late->HookedWindow(), nullptr);
  HWND e = Form->Edit1->Handle();
  EXPECT_FALSE(WindowAcceptsDrops(e));
  late->SetControl(Form->Edit1);
  EXPECT_FALSE(WindowAcceptsDrops(e));
  late->SetAccept(true);
  EXPECT_TRUE(WindowAcceptsDrops(e));
  delete late;
  EXPECT_TRUE(WindowAcceptsDrops(e)) << "the window stays registered";
}

TEST_F(FileDropTest, AFreedControlIsForgottenAndTheNextControlStartsRefusing) {
  auto* edit = new TEdit(Form);
  edit->SetParent(Form);
  HWND e = edit->Handle();
  TFileDrop* fd = Form->FileDrop1;
  fd->SetControl(edit);
  delete edit;
  EXPECT_EQ(fd->Control(), nullptr);
  EXPECT_FALSE(fd->Accept());
  EXPECT_EQ(fd->HookedWindow(), e) << "nothing is unhooked: the window went with its control";

  // The hooked window differs from the one that would be taken now: nothing is
  // put back, the old one is forgotten, the form's window is hooked refusing drops.
  fd->SetControl(nullptr);
  EXPECT_EQ(fd->HookedWindow(), Form->Handle());
  EXPECT_FALSE(WindowAcceptsDrops(Form->Handle()));
  Drop(Form->Handle(), {"/still/handled"});
  EXPECT_EQ(Form->Drops.size(), 1u);
  fd->SetAccept(true);
  EXPECT_TRUE(WindowAcceptsDrops(Form->Handle()));
}

TEST_F(FileDropTest, AControlTakenAwayKeepsAWorkingWindow) {
  auto* edit = new TEdit(Form);
  edit->SetParent(Form);
  HWND e = edit->Handle();
  SetWindowLongA(e, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc));
  TFileDrop* fd = Form->FileDrop1;
  fd->SetControl(edit);
  // Taken out of the form but alive: its window must not keep our stub.
  Form->RemoveComponent(edit);
  std::unique_ptr<TEdit> owned(edit);
  EXPECT_EQ(fd->Control(), nullptr);
  EXPECT_FALSE(fd->Accept());
  EXPECT_EQ(GetWindowLongA(e, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&RecordingProc));
  EXPECT_EQ(SendMessageA(e, WM_USER, 0, 0), 1234);
}

TEST_F(FileDropTest, AStubUnderAnotherHookOutlivesItsComponent) {
  auto* edit = new TEdit(Form);
  edit->SetParent(Form);
  HWND e = edit->Handle();
  SetWindowLongA(e, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc));
  auto* fd = new TFileDrop(Form);
  fd->SetControl(edit);
  SubclassOver(e);
  Form->RemoveComponent(edit);
  std::unique_ptr<TEdit> owned(edit);
  delete fd;
  // The chain OverProc -> (former stub) -> RecordingProc still works.
  BaseSeen.clear();
  EXPECT_EQ(SendMessageA(e, WM_USER + 4, 0, 0), 1234);
  ASSERT_EQ(BaseSeen.size(), 1u);
  EXPECT_EQ(BaseSeen[0].first, e);
  // That stub stays taken for good; the fixture's count allows for it.
  ++Stubs;
}

TEST_F(FileDropTest, EveryWindowLeftWithAStubReachesItsOwnProcedure) {
  // The first control is taken away while another procedure sits above the
  // stub; then a second window is hooked.
  auto* first = new TEdit(Form);
  first->SetParent(Form);
  HWND a = first->Handle();
  SetWindowLongA(a, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc));
  auto* fd = new TFileDrop(Form);
  fd->SetControl(first);
  SubclassOver(a);
  Form->RemoveComponent(first);
  std::unique_ptr<TEdit> owned(first);
  HWND b = Form->Edit1->Handle();
  SetWindowLongA(b, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc));
  fd->SetControl(Form->Edit1);
  EXPECT_EQ(SendMessageA(a, WM_USER + 1, 0, 0), 1234);
  EXPECT_EQ(SendMessageA(b, WM_USER + 2, 0, 0), 1234);
  EXPECT_EQ(BaseSeen, (std::vector<std::pair<HWND, UINT>>{{a, WM_USER + 1}, {b, WM_USER + 2}}));

  // A hook forgotten because the owner form changed: the former form's window
  // keeps the stub and is served by it, and gets its procedure back when the
  // component goes.
  auto* formA = new TForm(Application);
  auto* formB = new TForm(Application);
  HWND fa = formA->Handle();
  SetWindowLongA(fa, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc));
  auto* moved = new TFileDrop(formA);
  moved->RefreshHook();
  formA->RemoveComponent(moved);
  formB->InsertComponent(moved);
  moved->RefreshHook();
  EXPECT_EQ(moved->HookedWindow(), formB->Handle());
  EXPECT_NE(GetWindowLongA(fa, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&RecordingProc)) << "nothing put back";
  BaseSeen.clear();
  EXPECT_EQ(SendMessageA(fa, WM_USER + 3, 0, 0), 1234);
  EXPECT_EQ(BaseSeen, (std::vector<std::pair<HWND, UINT>>{{fa, WM_USER + 3}}));
  delete moved;
  EXPECT_EQ(GetWindowLongA(fa, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&RecordingProc));

  delete fd;
  EXPECT_EQ(GetWindowLongA(b, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&RecordingProc));
  BaseSeen.clear();
  EXPECT_EQ(SendMessageA(a, WM_USER + 4, 0, 0), 1234);
  EXPECT_EQ(BaseSeen, (std::vector<std::pair<HWND, UINT>>{{a, WM_USER + 4}}));
  ++Stubs;  // the one under OverProc stays taken for good

  // Another procedure subclasses the hooked window, still the one the control
  // names, over the stub; then another window is hooked. The other procedure
  // is not cut out, and once it takes itself out again the first window still
  // reaches its own procedure with its own handle.
  auto* third = new TEdit(Form);
  third->SetParent(Form);
  HWND c = third->Handle();
  SetWindowLongA(c, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc));
  auto* over = new TFileDrop(Form);
  over->SetControl(third);
  SubclassOver(c);
  over->SetControl(Form->Edit1);
  EXPECT_EQ(GetWindowLongA(c, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&OverProc)) << "the other procedure stays";
  RemoveOver(c);
  BaseSeen.clear();
  EXPECT_EQ(SendMessageA(c, WM_USER + 5, 0, 0), 1234);
  EXPECT_EQ(BaseSeen, (std::vector<std::pair<HWND, UINT>>{{c, WM_USER + 5}}));

  // The component goes while another procedure sits over its stub on the
  // window it hooks: the stub stays with that window, passing everything on.
  SubclassOver(b);
  delete over;
  EXPECT_EQ(GetWindowLongA(b, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&OverProc)) << "the other procedure stays";
  RemoveOver(b);
  BaseSeen.clear();
  EXPECT_EQ(SendMessageA(b, WM_USER + 6, 0, 0), 1234);
  EXPECT_EQ(BaseSeen, (std::vector<std::pair<HWND, UINT>>{{b, WM_USER + 6}}));
  ++Stubs;  // the one left with the second window
}

TEST_F(FileDropTest, NoControlAndNoOwnerFormIsAnError) {
  TComponent holder(nullptr);
  auto* fd = new TFileDrop(&holder);
  try {
    fd->RefreshHook();
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalidate Window Handle in FileDrop");
  }
  EXPECT_EQ(fd->HookedWindow(), nullptr);
  // With a control it hooks; writing the control empty unhooks, then raises.
  HWND e = Form->Edit1->Handle();
  LONG_PTR before = GetWindowLongA(e, GWL_WNDPROC);
  fd->SetControl(Form->Edit1);
  EXPECT_EQ(fd->HookedWindow(), e);
  EXPECT_THROW(fd->SetControl(nullptr), Exception);
  EXPECT_EQ(fd->HookedWindow(), nullptr);
  EXPECT_EQ(GetWindowLongA(e, GWL_WNDPROC), before);
  EXPECT_EQ(fd->Control(), nullptr);
}

TEST_F(FileDropTest, ALoadedResourceWithoutAFormFailsToLoad) {
  struct TPlainRoot : TComponent {
    using TComponent::TComponent;
  } plain(nullptr);
  try {
    TReader::ReadRootComponent("TPlainRoot", "object X: TPlainRoot\n  object FileDrop1: TFileDrop\n  end\nend\n",
                               &plain);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalidate Window Handle in FileDrop");
  }
}

TEST_F(FileDropTest, DropsThroughTheQtBridge) {
  TWatchdog watchdog;
  std::vector<std::string> localFiles = {"/tmp/a b.jpg", "/tmp/写真.JPG"};
  bool refusedNonFile = false, refusedUnregistered = false;
  Form->OnActivateDo = [&] {
    QWidget* w = Form->Widget();
    QList<QUrl> urls = FileUrls(localFiles);
    urls.insert(1, QUrl("http://example.org/x.jpg"));
    EXPECT_TRUE(DropUrls(w, urls, QPoint(30, 40)));
    EXPECT_TRUE(Form->Drops.empty()) << "posted, not sent";
    PumpUntil([&] { return Form->Drops.size() == 1; });

    // Dropped on the edit, the drop goes to the form, in the form's coordinates.
    EXPECT_TRUE(DropUrls(Form->Edit1->Widget(), FileUrls({"/tmp/e.jpg"}), QPoint(5, 6)));
    PumpUntil([&] { return Form->Drops.size() == 2; });
    EXPECT_EQ(Form->Edit1->Text(), "") << "the edit does not take the path as text";

    refusedNonFile = !DropUrls(w, {QUrl("http://example.org/")}, QPoint(1, 1));
    DragAcceptFiles(Form->Handle(), FALSE);
    refusedUnregistered = !DropUrls(w, FileUrls({"/tmp/z.jpg"}), QPoint(1, 1));
    Form->Close();
  };
  Application->Run();
  EXPECT_FALSE(watchdog.Fired);
  ASSERT_EQ(Form->Drops.size(), 2u);
  EXPECT_EQ(Form->Drops[0].Num, 2);
  EXPECT_EQ(Form->Drops[0].Files, localFiles) << "non-file addresses are left out";
  EXPECT_EQ(Form->Drops[0].X, 30);
  EXPECT_EQ(Form->Drops[0].Y, 40);
  EXPECT_EQ(Form->Drops[1].Files, std::vector<std::string>{"/tmp/e.jpg"});
  EXPECT_EQ(Form->Drops[1].X, 152 + 5);
  EXPECT_EQ(Form->Drops[1].Y, 8 + 6);
  EXPECT_TRUE(refusedNonFile);
  EXPECT_TRUE(refusedUnregistered);
}

TEST_F(FileDropTest, ADropDuringAHandlerIsHandledNestedWithItsOwnList) {
  std::vector<std::string> outerAfterInner;
  Form->OnDropDo = [&](TStrings* files) {
    if (Form->Drops.size() != 1) return;
    // A routine that lets pending messages run meets the next drop.
    PostMessageA(Form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(CreateDropHandle({"/inner"}, POINT{1, 1})), 0);
    Application->ProcessMessages();
    for (int i = 0; i < files->Count(); ++i) outerAfterInner.push_back(files->Strings(i));
  };
  Drop(Form->Handle(), {"/outer1", "/outer2"});
  ASSERT_EQ(Form->Drops.size(), 2u);
  EXPECT_EQ(Form->Drops[1].Files, std::vector<std::string>{"/inner"});
  EXPECT_EQ(outerAfterInner, (std::vector<std::string>{"/outer1", "/outer2"}));
}

TEST_F(FileDropTest, FreeingTheFormReleasesEverything) {
  HWND h = Form->Handle();
  Application->Reset();
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(WindowAcceptsDrops(h));
  Form = nullptr;
}

}  // namespace
