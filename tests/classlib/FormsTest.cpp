// Forms from resources, the message loop, closing, activation and the error box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "classlib/QtBridge.h"
#include "tests/support/GuiTestSupport.h"
#include "classlib/StdCtrls.h"
#include "platform/Windows.h"

namespace {

const char kMainForm[] =
    "object Form1: TMainForm\n"
    "  Left = 227\n"
    "  Top = 120\n"
    "  BorderStyle = bsSingle\n"
    "  Caption = 'Vornel_L(Ver0.15)'\n"
    "  ClientHeight = 99\n"
    "  ClientWidth = 257\n"
    "  Color = clBtnFace\n"
    "  Font.Charset = SHIFTJIS_CHARSET\n"
    "  Font.Color = clWindowText\n"
    "  Font.Height = -12\n"
    "  Font.Name = 'ＭＳ Ｐゴシック'\n"
    "  Font.Style = []\n"
    "  OnActivate = FormActivate\n"
    "  OnClose = FormClose\n"
    "  OnCreate = FormCreate\n"
    "  PixelsPerInch = 96\n"
    "  TextHeight = 12\n"
    "  object Label1: TLabel\n"
    "    Left = 16\n"
    "    Top = 8\n"
    "    Width = 120\n"
    "    Height = 12\n"
    "    AutoSize = False\n"
    "    Caption = '圧縮率（１：高－低：９９）'\n"
    "  end\n"
    "  object Label2: TLabel\n"
    "    Left = 16\n"
    "    Top = 48\n"
    "    Width = 185\n"
    "    Height = 12\n"
    "    AutoSize = False\n"
    "    Caption = 'http://vornel.example.org/'\n"
    "    Color = clBtnFace\n"
    "    Font.Charset = SHIFTJIS_CHARSET\n"
    "    Font.Color = clActiveCaption\n"
    "    Font.Height = -12\n"
    "    Font.Name = 'ＭＳ Ｐゴシック'\n"
    "    Font.Style = [fsUnderline]\n"
    "    ParentColor = False\n"
    "    ParentFont = False\n"
    "    OnClick = Label2Click\n"
    "  end\n"
    "  object CheckBox1: TCheckBox\n"
    "    Left = 16\n"
    "    Top = 32\n"
    "    Width = 137\n"
    "    Height = 17\n"
    "    Caption = '処理後終了する'\n"
    "    TabOrder = 3\n"
    "  end\n"
    "  object Edit1: TEdit\n"
    "    Left = 152\n"
    "    Top = 8\n"
    "    Width = 73\n"
    "    Height = 20\n"
    "    TabOrder = 0\n"
    "    Text = '66'\n"
    "  end\n"
    "  object UpDown1: TUpDown\n"
    "    Left = 225\n"
    "    Top = 8\n"
    "    Width = 15\n"
    "    Height = 20\n"
    "    Associate = Edit1\n"
    "    Min = 1\n"
    "    Max = 99\n"
    "    Position = 66\n"
    "    TabOrder = 1\n"
    "  end\n"
    "  object ProgressBar1: TProgressBar\n"
    "    Left = 8\n"
    "    Top = 88\n"
    "    Width = 241\n"
    "    Height = 9\n"
    "    Min = 0\n"
    "    Max = 100\n"
    "    TabOrder = 2\n"
    "  end\n"
    "end\n";
const bool kMainFormRegistered = RegisterFormResource("TMainForm", kMainForm);

class TMainForm : public TForm {
 public:
  explicit TMainForm(TComponent* AOwner) : TForm(AOwner) {}
  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TEdit* Edit1 = nullptr;
  TUpDown* UpDown1 = nullptr;
  TProgressBar* ProgressBar1 = nullptr;
  TCheckBox* CheckBox1 = nullptr;

  std::vector<std::string> Log;
  std::string EditAtCreate;
  std::function<void()> OnActivateDo;
  std::function<void(TCloseAction&)> OnCloseDo;
  std::function<void()> OnLabelClickDo;

  void FormCreate(TObject*) {
    Log.push_back("create");
    EditAtCreate = Edit1 ? Edit1->Text() : "(unbound)";
  }
  void FormActivate(TObject*) {
    Log.push_back("activate");
    if (OnActivateDo) OnActivateDo();
  }
  void FormClose(TObject*, TCloseAction& Action) {
    Log.push_back("close");
    EXPECT_EQ(Action, caHide);
    if (OnCloseDo) OnCloseDo(Action);
  }
  void Label2Click(TObject*) {
    Log.push_back("click");
    if (OnLabelClickDo) OnLabelClickDo();
  }
  std::any MethodAddress(const std::string& name) override {
    VORNEL_PUBLISH(FormCreate);
    VORNEL_PUBLISH(FormActivate);
    VORNEL_PUBLISH(FormClose);
    VORNEL_PUBLISH(Label2Click);
    return TForm::MethodAddress(name);
  }

 protected:
  void BindFields() override {
    VORNEL_BIND(Label1);
    VORNEL_BIND(Label2);
    VORNEL_BIND(Edit1);
    VORNEL_BIND(UpDown1);
    VORNEL_BIND(ProgressBar1);
    VORNEL_BIND(CheckBox1);
  }
};

using FormsTest = GuiTest;

TEST_F(FormsTest, CreateFormBuildsTheFormFromItsResource) {
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Application->MainForm(), form);
  EXPECT_EQ(form->Name(), "Form1");
  EXPECT_EQ(form->Log, (std::vector<std::string>{"create"}));
  EXPECT_EQ(form->EditAtCreate, "66") << "OnCreate runs after fields, properties and Loaded";

  QWidget* w = form->Widget();
  EXPECT_EQ(w->windowTitle().toStdString(), "Vornel_L(Ver0.15)");
  EXPECT_EQ(form->ClientWidth(), 257);
  EXPECT_EQ(form->ClientHeight(), 99);
  EXPECT_EQ(w->minimumSize(), w->maximumSize()) << "a single border is a fixed size";
  EXPECT_TRUE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(form->Left(), 227);
  EXPECT_EQ(form->Top(), 120);
  EXPECT_FALSE(w->isVisible()) << "a form shows when the loop runs";

  // Places are client pixels exactly as the resource says.
  EXPECT_EQ(form->Label1->Widget()->geometry(), QRect(16, 8, 120, 12));
  EXPECT_EQ(form->Edit1->Widget()->geometry(), QRect(152, 8, 73, 20));
  EXPECT_EQ(form->UpDown1->Widget()->geometry(), QRect(225, 8, 15, 20));
  EXPECT_EQ(form->ProgressBar1->Widget()->geometry(), QRect(8, 88, 241, 9));
  EXPECT_EQ(form->CheckBox1->Widget()->geometry(), QRect(16, 32, 137, 17));
  EXPECT_EQ(form->Label1->Widget()->parentWidget(), w);

  // The form's font reaches the controls; the link label has its own.
  EXPECT_EQ(form->Edit1->Font()->Name(), "ＭＳ Ｐゴシック");
  QFontInfo info(form->Label1->Widget()->font());
  EXPECT_EQ(info.family().toStdString(), "IPAPGothic");
  EXPECT_EQ(info.pixelSize(), 12);
  EXPECT_TRUE(form->Label2->Widget()->font().underline());
  EXPECT_FALSE(form->Label1->Widget()->font().underline());
  EXPECT_EQ(form->Label2->Widget()->palette().color(QPalette::WindowText), ColorToQColor(clActiveCaption));
  EXPECT_EQ(form->Label1->Widget()->palette().color(QPalette::WindowText), ColorToQColor(clWindowText));
  EXPECT_EQ(w->palette().color(QPalette::Window), ColorToQColor(clBtnFace));
  EXPECT_EQ(form->Edit1->Color(), clWindow);
  EXPECT_EQ(form->CheckBox1->Color(), clBtnFace) << "parent colour";

  EXPECT_EQ(form->UpDown1->Position(), 66);
  EXPECT_EQ(form->UpDown1->Associate(), form->Edit1);
  EXPECT_EQ(form->ProgressBar1->Max(), 100);
  EXPECT_FALSE(form->CheckBox1->Checked());
  EXPECT_EQ(static_cast<QCheckBox*>(form->CheckBox1->Widget())->text().toStdString(), "処理後終了する");

  // Tab order follows TabOrder, not the resource's order.
  QWidget* edit = form->Edit1->Widget();
  QWidget* check = form->CheckBox1->Widget();
  int steps = 0;
  for (QWidget* x = edit->nextInFocusChain(); x != edit && x != check && steps < 100; x = x->nextInFocusChain()) ++steps;
  EXPECT_LT(steps, 100) << "CheckBox1 follows Edit1 in the focus chain";
}

TEST_F(FormsTest, ResourceErrorsFailCreateFormAndLeaveNothing) {
  static const char badProperty[] = "object Form1: TMainForm\n  Colour = clRed\nend\n";
  RegisterFormResource("BadProperty", badProperty);
  TMainForm* form = reinterpret_cast<TMainForm*>(1);
  try {
    Application->CreateForm(form, "BadProperty");
    FAIL() << "no error";
  } catch (const EResourceError& e) {
    EXPECT_EQ(e.Message(), "form resource BadProperty, line 2: unknown property 'Colour' of Form1 (TMainForm)");
  }
  EXPECT_EQ(form, nullptr);
  EXPECT_EQ(Application->ComponentCount(), 0);
  EXPECT_EQ(Application->MainForm(), nullptr);

  // A field the resource does not provide, or provides with another class.
  static const char missing[] = "object Form1: TMainForm\n  object Label1: TLabel\n  end\nend\n";
  RegisterFormResource("Missing", missing);
  try {
    Application->CreateForm(form, "Missing");
    FAIL() << "no error";
  } catch (const EResourceError& e) {
    EXPECT_EQ(e.Message(), "form TMainForm: the resource has no component 'Label2'");
  }
  static const char wrongClass[] =
      "object Form1: TMainForm\n  object Label1: TLabel\n  end\n  object Label2: TEdit\n  end\nend\n";
  RegisterFormResource("WrongClass", wrongClass);
  try {
    Application->CreateForm(form, "WrongClass");
    FAIL() << "no error";
  } catch (const EResourceError& e) {
    EXPECT_EQ(e.Message(), "form TMainForm: component 'Label2' is a TEdit, not a TLabel");
  }
  EXPECT_THROW(Application->CreateForm(form, "NoSuchResource"), EResourceError);
  EXPECT_EQ(Application->ComponentCount(), 0);
}

TEST_F(FormsTest, ErrorBoxTextGetsAFullStopWhenTheLastByteSortsAboveIt) {
  EXPECT_EQ(TApplication::ErrorBoxText("abc"), "abc.");
  EXPECT_EQ(TApplication::ErrorBoxText("abc."), "abc.");
  EXPECT_EQ(TApplication::ErrorBoxText("abc-"), "abc-") << "'-' sorts below '.'";
  EXPECT_EQ(TApplication::ErrorBoxText("abc "), "abc ");
  EXPECT_EQ(TApplication::ErrorBoxText("abc/"), "abc/.");
  EXPECT_EQ(TApplication::ErrorBoxText("(50)"), "(50)") << "')' sorts below '.'";
  EXPECT_EQ(TApplication::ErrorBoxText(""), "");
  EXPECT_EQ(TApplication::ErrorBoxText("'abc' は整数ではありません"), "'abc' は整数ではありません.");
  EXPECT_EQ(TApplication::ErrorBoxText("。"), "。.") << "bytes above 0x7F sort above '.'";
}

TEST_F(FormsTest, HandleExceptionShowsTheErrorBox) {
  Application->SetTitle("Vornel_R");
  TBoxWatcher boxes;
  try {
    throw EConvertError("'abc' は整数ではありません");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  try {
    throw EAbort("silent");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  try {
    throw std::runtime_error("plain");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  ASSERT_EQ(boxes.Boxes.size(), 2u) << "nothing for EAbort";
  EXPECT_EQ(boxes.Boxes[0].Title, "Vornel_R");
  EXPECT_EQ(boxes.Boxes[0].Text, "'abc' は整数ではありません.");
  EXPECT_EQ(boxes.Boxes[0].Icon, QMessageBox::Critical);
  EXPECT_EQ(boxes.Boxes[1].Text, "plain.");
}

TEST_F(FormsTest, RunShowsTheFormReportsActivationOnceAndEndsAfterClose) {
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  TWatchdog watchdog;
  bool terminatedInside = true, quitPendingInside = false, returned = false;
  std::vector<std::string> logAfterClose;
  form->OnActivateDo = [&] {
    // The close runs the close handler at once, posts the quit and returns.
    form->Close();
    returned = true;
    logAfterClose = form->Log;
    terminatedInside = Application->Terminated();
    quitPendingInside = QuitPending();
  };
  Application->Run();
  EXPECT_FALSE(watchdog.Fired);
  EXPECT_TRUE(returned);
  EXPECT_EQ(logAfterClose, (std::vector<std::string>{"create", "activate", "close"}));
  EXPECT_FALSE(terminatedInside) << "the loop ends only when the handler has returned";
  EXPECT_TRUE(quitPendingInside);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_TRUE(form->Widget()->isVisible()) << "the window stays up until the program ends";
}

TEST_F(FormsTest, LaterActivationsReportNothing) {
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  TWatchdog watchdog;
  QWidget other;
  other.resize(50, 50);
  form->OnActivateDo = [&] {
    if (form->Log.size() > 2) return;
    // Another window takes the focus, then the form gets it back.
    other.show();
    other.activateWindow();
    PumpUntil([&] { return QApplication::activeWindow() == &other; });
    form->Widget()->activateWindow();
    PumpUntil([&] { return QApplication::activeWindow() == form->Widget(); });
    // A message box and its end: the form is active again afterwards.
    TBoxWatcher boxes;
    Application->HandleException(nullptr, std::make_exception_ptr(Exception("box")));
    form->Widget()->activateWindow();
    PumpUntil([&] { return QApplication::activeWindow() == form->Widget(); });
    Application->ProcessMessages();
    form->Close();
  };
  Application->Run();
  EXPECT_FALSE(watchdog.Fired);
  EXPECT_EQ(form->Log, (std::vector<std::string>{"create", "activate", "close"}));
}

TEST_F(FormsTest, TheCloseBoxClosesThroughTheFormsWindow) {
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  TWatchdog watchdog;
  bool closedByQt = true;
  form->OnActivateDo = [&] { closedByQt = form->Widget()->close(); };
  Application->Run();
  EXPECT_FALSE(watchdog.Fired);
  EXPECT_FALSE(closedByQt) << "Qt's close is refused; the form decides";
  EXPECT_EQ(form->Log, (std::vector<std::string>{"create", "activate", "close"}));
}

TEST_F(FormsTest, AFailingCloseHandlerKeepsTheProgramRunning) {
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  Application->SetTitle("Vornel_L");
  TWatchdog watchdog;
  int attempts = 0;
  form->OnCloseDo = [&](TCloseAction&) {
    if (++attempts == 1) throw EConvertError("'abc' は整数ではありません");
  };
  // The close box: the error goes to the error box, the loop goes on; the
  // next close (posted while the box is up) succeeds.
  TBoxWatcher boxes([&] { PostMessageA(form->Handle(), WM_CLOSE, 0, 0); });
  form->OnActivateDo = [&] { form->Widget()->close(); };
  Application->Run();
  EXPECT_FALSE(watchdog.Fired);
  EXPECT_EQ(attempts, 2);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "'abc' は整数ではありません.");
  EXPECT_EQ(boxes.Boxes[0].Title, "Vornel_L");
}

TEST_F(FormsTest, CloseFromCodePassesTheHandlersErrorToTheCaller) {
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  form->OnCloseDo = [](TCloseAction&) { throw Exception("cannot write"); };
  EXPECT_THROW(form->Close(), Exception);
  EXPECT_FALSE(QuitPending()) << "no quit after a failing close handler";
  form->OnCloseDo = [](TCloseAction& a) { a = caNone; };
  form->Close();
  EXPECT_FALSE(QuitPending()) << "caNone keeps the program";
  form->OnCloseDo = nullptr;
  form->OnCloseQuery = [](TObject*, bool& canClose) { canClose = false; };
  form->Close();
  EXPECT_EQ(form->Log.back(), "close") << "a refused close query runs no close handler";
  EXPECT_EQ(form->Log.size(), 3u);
  EXPECT_FALSE(QuitPending());
  form->OnCloseQuery = nullptr;
  form->Close();
  EXPECT_TRUE(QuitPending());
  Application->ProcessMessages();
  EXPECT_TRUE(Application->Terminated()) << "a quit met by ProcessMessages is recorded";
}

TEST_F(FormsTest, AFormThatIsNotTheMainFormHidesOnClose) {
  TMainForm* main = nullptr;
  Application->CreateForm(main);
  TMainForm* second = nullptr;
  Application->CreateForm(second);
  EXPECT_EQ(Application->MainForm(), main);
  second->Show();
  second->Close();
  EXPECT_FALSE(second->Widget()->isVisible());
  EXPECT_FALSE(QuitPending());
  second->OnCloseDo = [](TCloseAction& a) { a = caFree; };
  second->Close();
  PumpUntil([&] { return Application->ComponentCount() == 1; });
  EXPECT_EQ(Application->ComponentCount(), 1) << "caFree frees the form from the loop";
}

TEST_F(FormsTest, ProcessMessagesInsideAHandlerRecordsTheQuitAndTheHandlerGoesOn) {
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  TWatchdog watchdog;
  std::vector<std::string> steps;
  const UINT kWork = WM_USER + 50;
  HWND h = CreateWindowExA(
      [](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_USER + 50) Application->ProcessMessages();
        return 0;
      },
      0);
  form->OnActivateDo = [&] {
    form->Close();
    steps.push_back(Application->Terminated() ? "terminated" : "running");
    PostMessageA(h, kWork, 0, 0);  // nested: handled inside the pump below
    Application->ProcessMessages();
    steps.push_back(Application->Terminated() ? "terminated" : "running");
    steps.push_back("went on");
  };
  Application->Run();
  EXPECT_FALSE(watchdog.Fired);
  EXPECT_EQ(steps, (std::vector<std::string>{"running", "terminated", "went on"}));
  DestroyWindow(h);
}

TEST_F(FormsTest, ErrorsFromCreateAndClickHandlersReachTheErrorBox) {
  static const char text[] =
      "object Form1: TMainForm\n"
      "  OnCreate = FormCreate\n"
      "  OnActivate = FormActivate\n"
      "  object Label1: TLabel\n  end\n"
      "  object Label2: TLabel\n    Left = 10\n    Top = 10\n    Width = 50\n    Height = 12\n"
      "    AutoSize = False\n    OnClick = Label2Click\n  end\n"
      "  object Edit1: TEdit\n  end\n  object UpDown1: TUpDown\n  end\n"
      "  object ProgressBar1: TProgressBar\n  end\n  object CheckBox1: TCheckBox\n  end\n"
      "end\n";
  RegisterFormResource("ClickForm", text);
  TMainForm* form = nullptr;
  TBoxWatcher boxes;
  Application->CreateForm(form, "ClickForm");
  EXPECT_EQ(boxes.Boxes.size(), 0u);

  TWatchdog watchdog;
  form->OnLabelClickDo = [] { throw Exception("click failed"); };
  form->OnActivateDo = [&] {
    QWidget* label = form->Label2->Widget();
    QPointF at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, label->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, label->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(label, &press);
    QApplication::sendEvent(label, &release);
    EXPECT_EQ(form->Log.back(), "activate") << "the click runs from the loop, not inside Qt's delivery";
    PumpUntil([&] { return form->Log.back() == "click"; });
    form->Close();
  };
  Application->Run();
  EXPECT_FALSE(watchdog.Fired);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "click failed.");
}

TEST_F(FormsTest, OnCreateFailureIsShownAndTheFormStillComes) {
  TBoxWatcher boxes;
  TMainForm* form = nullptr;
  static const char text[] = "object Form1: TMainForm\n  OnCreate = FormCreate\n"
                             "  object Label1: TLabel\n  end\n  object Label2: TLabel\n  end\n"
                             "  object Edit1: TEdit\n  end\n  object UpDown1: TUpDown\n  end\n"
                             "  object ProgressBar1: TProgressBar\n  end\n  object CheckBox1: TCheckBox\n  end\nend\n";
  RegisterFormResource("CreateFails", text);
  Application->CreateForm(form, "CreateFails");
  form->OnCreate = [](TObject*) { throw Exception("create failed"); };
  form->DoCreate();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "create failed.");
  EXPECT_EQ(Application->MainForm(), form);
}

TEST_F(FormsTest, LeftAndTopMoveTheWindowAtOnce) {
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  form->SetLeft(-40);
  form->SetTop(-3000);
  EXPECT_EQ(form->Left(), -40);
  EXPECT_EQ(form->Top(), -3000);
  form->Show();
  PumpUntil([&] { return form->Widget()->isVisible(); });
  form->SetLeft(50);
  form->SetTop(60);
  EXPECT_EQ(form->Left(), 50);
  EXPECT_EQ(form->Top(), 60);
  EXPECT_EQ(form->ClientWidth(), 257) << "moving keeps the client size";
  EXPECT_EQ(form->ClientHeight(), 99);
}

// The settings through which Qt would scale the windows.
const char* const kScalingSettings[] = {"QT_ENABLE_HIGHDPI_SCALING", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS"};

std::optional<std::string> Setting(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

TEST_F(FormsTest, MakingTheApplicationLeavesNothingInTheEnvironment) {
  // The test main made this application as programs do: the programs that
  // links start must inherit the settings as the user had them.
  for (const char* name : kScalingSettings) {
    std::optional<std::string> before;
    const std::string prefix = std::string(name) + "=";
    for (const std::string& entry : EnvironmentBeforeTheApplication)
      if (entry.rfind(prefix, 0) == 0) before = entry.substr(prefix.size());
    EXPECT_EQ(Setting(name), before) << name;
  }
}

// What the scaling settings hold when the application is to be made
// (nullptr: unset).
struct TScalingRow {
  const char* Name;
  const char* Before[3];
};
void PrintTo(const TScalingRow& row, std::ostream* os) { *os << row.Name; }
const TScalingRow kScalingRows[] = {
    {"Unset", {nullptr, nullptr, nullptr}},
    {"Set", {"1", "2", "2;1.5"}},
    {"SetEmpty", {"", "", ""}},
};

class ScalingSettings : public testing::TestWithParam<TScalingRow> {
 protected:
  // This process's own settings come back after each row.
  void SetUp() override {
    for (const char* name : kScalingSettings) Own.push_back(Setting(name));
  }
  void TearDown() override {
    for (std::size_t i = 0; i < Own.size(); ++i) Put(kScalingSettings[i], Own[i] ? Own[i]->c_str() : nullptr);
  }
  static void Put(const char* name, const char* value) {
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  std::vector<std::optional<std::string>> Own;
};

TEST_P(ScalingSettings, AreOffWhileTheApplicationIsMadeAndAsTheyWereAfterwards) {
  const TScalingRow& row = GetParam();
  for (std::size_t i = 0; i < 3; ++i) Put(kScalingSettings[i], row.Before[i]);
  std::vector<std::optional<std::string>> during;
  QtBridge::WithoutScaling([&] {
    for (const char* name : kScalingSettings) during.push_back(Setting(name));
  });
  EXPECT_EQ(during, (std::vector<std::optional<std::string>>{"0", std::nullopt, std::nullopt}));
  for (std::size_t i = 0; i < 3; ++i) {
    const auto expected = row.Before[i] ? std::optional<std::string>(row.Before[i]) : std::nullopt;
    EXPECT_EQ(Setting(kScalingSettings[i]), expected) << kScalingSettings[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ScalingSettings, testing::ValuesIn(kScalingRows),
                         [](const testing::TestParamInfo<TScalingRow>& info) { return info.param.Name; });

TEST_F(FormsTest, TheIconComesFromACompiledInPicture) {
  static const char* const icon[] = {"4 4 2 1", "  c None", "x c #800080", "xxxx", "x  x", "x  x", "xxxx"};
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  EXPECT_TRUE(form->Widget()->windowIcon().isNull());
  form->SetIconXpm(icon);
  ASSERT_FALSE(form->Widget()->windowIcon().isNull());
  QImage shown = form->Widget()->windowIcon().pixmap(4, 4).toImage();
  EXPECT_EQ(shown.pixelColor(0, 0), QColor(0x80, 0x00, 0x80));
  EXPECT_EQ(shown.pixelColor(1, 1).alpha(), 0);
}

// Counts pixels much darker than the button face in a rectangle of the image.
int DarkPixels(const QImage& image, QRect r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (qGray(image.pixel(x, y)) < 120) ++n;
  return n;
}

TEST_F(FormsTest, JapaneseCaptionsShowAsGlyphs) {
  TMainForm* form = nullptr;
  Application->CreateForm(form);
  form->Show();
  PumpUntil([&] { return form->Widget()->isVisible(); });
  QImage shot = form->Widget()->grab().toImage();
  ASSERT_EQ(shot.width(), 257);
  shot.save("/tmp/vornel-form.png");
  // A missing glyph draws the same hollow box for every character; real glyphs
  // differ, so their columns of ink differ too.
  QRect label1(16, 8, 120, 12);
  int ink = DarkPixels(shot, label1);
  EXPECT_GT(ink, 150) << "the caption is drawn";
  std::vector<int> columns;
  for (int i = 0; i < 8; ++i) columns.push_back(DarkPixels(shot, QRect(16 + 12 * i, 8, 12, 12)));
  std::sort(columns.begin(), columns.end());
  EXPECT_NE(columns.front(), columns.back()) << "every character cell alike: boxes, not glyphs";
  // The check box's caption is drawn too.
  EXPECT_GT(DarkPixels(shot, QRect(36, 32, 100, 17)), 60);
}

}  // namespace
