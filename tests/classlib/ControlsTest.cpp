// Controls: window-procedure stubs, the up-down control, the progress bar,
// edits and fonts.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolButton>
#include <memory>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "tests/support/GuiTestSupport.h"
#include "classlib/StdCtrls.h"
#include "platform/Windows.h"

namespace {

TEST(StubTest, AStubPacksTheMessageAndReturnsTheResult) {
  std::vector<TMessage> seen;
  WNDPROC stub = MakeObjectInstance([&](TMessage& m) {
    seen.push_back(m);
    m.Result = static_cast<LRESULT>(m.WParam + 1);
  });
  ASSERT_NE(stub, nullptr);
  HWND h = CreateWindowExA(stub, 0);
  EXPECT_EQ(SendMessageA(h, WM_USER + 3, 41, -5), 42);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Msg, WM_USER + 3);
  EXPECT_EQ(seen[0].WParam, 41u);
  EXPECT_EQ(seen[0].LParam, -5);
  EXPECT_EQ(seen[0].Result, 0) << "the record's result starts at 0";

  WNDPROC other = MakeObjectInstance([](TMessage& m) { m.Result = 7; });
  EXPECT_NE(other, stub) << "each bound method has its own stub";
  EXPECT_EQ(CallWindowProcA(other, h, WM_NULL, 0, 0), 7);
  DestroyWindow(h);
  FreeObjectInstance(stub);
  FreeObjectInstance(other);
}

TEST(StubTest, ReleasedStubsAreReusedAndExhaustionIsAnError) {
  int base = ObjectInstancesInUse();
  std::vector<WNDPROC> all;
  try {
    for (int i = 0; i < 10000; ++i) all.push_back(MakeObjectInstance([](TMessage&) {}));
    FAIL() << "the pool never ran out";
  } catch (const EOutOfResources& e) {
    EXPECT_NE(e.Message().find("exhausted"), std::string::npos);
  }
  EXPECT_GT(all.size(), 100u);
  WNDPROC freed = all[5];
  FreeObjectInstance(freed);
  WNDPROC again = MakeObjectInstance([](TMessage& m) { m.Result = 99; });
  EXPECT_EQ(again, freed) << "a released stub is used again";
  EXPECT_EQ(again(nullptr, 0, 0, 0), 99) << "bound to its new method";
  for (std::size_t i = 0; i < all.size(); ++i) FreeObjectInstance(all[i]);
  EXPECT_EQ(ObjectInstancesInUse(), base);
}

using UpDownTest = GuiTest;

struct TUpDownFixture {
  TForm Form{nullptr};
  TEdit* Edit = new TEdit(&Form);
  TUpDown* UpDown = new TUpDown(&Form);
  TUpDownFixture() {
    Edit->SetParent(&Form);
    UpDown->SetParent(&Form);
    UpDown->SetMin(1);
    UpDown->SetMax(99);
    UpDown->SetPosition(66);
    UpDown->SetAssociate(Edit);
  }
  QLineEdit* Line() const { return static_cast<QLineEdit*>(Edit->Widget()); }
  void Key(int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(Line(), &press);
  }
  QToolButton* Button(Qt::ArrowType arrow) const {
    for (QToolButton* b : UpDown->Widget()->findChildren<QToolButton*>())
      if (b->arrowType() == arrow) return b;
    return nullptr;
  }
};

TEST_F(UpDownTest, PositionIsWrittenIntoTheEditAndClamped) {
  TUpDownFixture f;
  EXPECT_EQ(f.Edit->Text(), "66");
  f.UpDown->SetPosition(80);
  EXPECT_EQ(f.Edit->Text(), "80");
  EXPECT_EQ(f.Line()->text().toStdString(), "80");
  // Setting the same position writes it again (the edit may hold something else).
  f.Edit->SetText("abc");
  f.UpDown->SetPosition(80);
  EXPECT_EQ(f.Edit->Text(), "80");
  f.UpDown->SetPosition(150);
  EXPECT_EQ(f.UpDown->Position(), 99);
  EXPECT_EQ(f.Edit->Text(), "99");
  f.UpDown->SetPosition(-5);
  EXPECT_EQ(f.UpDown->Position(), 1);
  // 16 bits: the low half of a 32-bit number, taken as signed.
  Integer stored = 65536 + 70;
  f.UpDown->SetPosition(static_cast<SmallInt>(stored));
  EXPECT_EQ(f.UpDown->Position(), 70);
  f.UpDown->SetMin(-32768);
  f.UpDown->SetMax(32767);
  f.UpDown->SetPosition(static_cast<SmallInt>(Integer{40000}));
  EXPECT_EQ(f.UpDown->Position(), -25536);
  EXPECT_EQ(f.Edit->Text(), "-25536");
}

TEST_F(UpDownTest, ArrowsAndKeysStepByOneWithoutWrapping) {
  TUpDownFixture f;
  f.Button(Qt::UpArrow)->click();
  EXPECT_EQ(f.UpDown->Position(), 67);
  EXPECT_EQ(f.Edit->Text(), "67");
  f.Button(Qt::DownArrow)->click();
  f.Button(Qt::DownArrow)->click();
  EXPECT_EQ(f.Edit->Text(), "65");
  f.Key(Qt::Key_Up);
  EXPECT_EQ(f.Edit->Text(), "66");
  f.Key(Qt::Key_Down);
  EXPECT_EQ(f.Edit->Text(), "65");

  f.UpDown->SetPosition(99);
  f.Key(Qt::Key_Up);
  f.Button(Qt::UpArrow)->click();
  EXPECT_EQ(f.UpDown->Position(), 99) << "no wrap-around at Max";
  f.UpDown->SetPosition(1);
  f.Key(Qt::Key_Down);
  EXPECT_EQ(f.UpDown->Position(), 1) << "no wrap-around at Min";
  EXPECT_EQ(f.Edit->Text(), "1");

  EXPECT_TRUE(f.Button(Qt::UpArrow)->autoRepeat());
  EXPECT_EQ(f.Button(Qt::UpArrow)->focusPolicy(), Qt::NoFocus);
}

TEST_F(UpDownTest, TheEditsTextStaysFree) {
  TUpDownFixture f;
  for (const char* text : {"150", "abc", "", " 70", "$46", "70 "}) {
    f.Edit->SetText(text);
    EXPECT_EQ(f.Edit->Text(), text);
    EXPECT_EQ(f.Line()->text().toStdString(), text);
  }
  // Typing goes into the control's text at once.
  f.Line()->setText("12");
  EXPECT_EQ(f.Edit->Text(), "12");
  // A step starts from the number the edit holds...
  f.Key(Qt::Key_Up);
  EXPECT_EQ(f.Edit->Text(), "13");
  f.Edit->SetText("150");
  f.Key(Qt::Key_Down);
  EXPECT_EQ(f.Edit->Text(), "99") << "clamped into the range";
  // ...or from the position when the edit holds no number.
  f.UpDown->SetPosition(40);
  f.Edit->SetText("abc");
  f.Key(Qt::Key_Up);
  EXPECT_EQ(f.Edit->Text(), "41");
  // Other keys reach the edit itself.
  QKeyEvent x(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
  QApplication::sendEvent(f.Line(), &x);
  EXPECT_EQ(f.Edit->Text(), "41x");
}

TEST_F(UpDownTest, AFreedEditIsForgotten) {
  TUpDownFixture f;
  delete f.Edit;
  EXPECT_EQ(f.UpDown->Associate(), nullptr);
  f.UpDown->SetPosition(10);
  f.UpDown->StepUp();
  EXPECT_EQ(f.UpDown->Position(), 11);
}

TEST_F(UpDownTest, AnEditTakenAwayAliveIsForgottenSafely) {
  auto f = std::make_unique<TUpDownFixture>();
  TEdit* edit = f->Edit;
  f->Form.RemoveComponent(edit);
  std::unique_ptr<TEdit> owned(edit);
  EXPECT_EQ(f->UpDown->Associate(), nullptr);
  f->UpDown->StepUp();
  EXPECT_EQ(edit->Text(), "66") << "no longer written";
  delete f->UpDown;  // the edit must not keep a link to the freed up-down
  owned.reset();
}

using ProgressBarTest = GuiTest;

TEST_F(ProgressBarTest, PositionStaysWithinMinAndMax) {
  TForm form(nullptr);
  auto* bar = new TProgressBar(&form);
  bar->SetParent(&form);
  auto* q = static_cast<QProgressBar*>(bar->Widget());
  bar->SetMax(4000);
  bar->SetPosition(2500);
  EXPECT_EQ(q->maximum(), 4000);
  EXPECT_EQ(q->value(), 2500);
  bar->SetPosition(5000);
  EXPECT_EQ(bar->Position(), 4000);
  bar->SetMax(100);
  EXPECT_EQ(bar->Position(), 100);
  EXPECT_EQ(q->value(), 100);
  bar->SetPosition(-1);
  EXPECT_EQ(bar->Position(), 0);
}

using FontTest = GuiTest;

TEST_F(FontTest, HeightSizeAndParentFonts) {
  TFont font;
  font.SetHeight(-12);
  EXPECT_EQ(font.Size(), 9);
  font.SetSize(8);
  EXPECT_EQ(font.Height(), -11);
  font.SetHeight(-12);
  font.SetName("ＭＳ Ｐゴシック");
  EXPECT_EQ(font.ToQFont().pixelSize(), 12);

  TForm form(nullptr);
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  form.Font()->SetName("ＭＳ Ｐゴシック");
  form.Font()->SetHeight(-12);
  EXPECT_EQ(edit->Font()->Name(), "ＭＳ Ｐゴシック") << "a child follows its parent's font";
  EXPECT_TRUE(edit->ParentFont());
  edit->Font()->SetColor(clPurple);
  EXPECT_FALSE(edit->ParentFont()) << "a font of its own";
  form.Font()->SetHeight(-20);
  EXPECT_EQ(edit->Font()->Height(), -12);
  EXPECT_EQ(ColorToQColor(clPurple), QColor(0x80, 0x00, 0x80));
  EXPECT_EQ(ColorToQColor(clRed), QColor(0xFF, 0, 0)) << "colours are $00BBGGRR";
}

}  // namespace
