// Quillet's main form: the settings between file, variables and controls, the
// layout of its resource, and the batches it takes through the shared handlers.
#include <gtest/gtest.h>

#include <QFont>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/FakeOpener.h"
#include "tests/support/GuiTestSupport.h"
#include "platform/CommandLine.h"
#include "platform/Module.h"
#include "tests/support/JpegTestUtil.h"
#include "tests/support/TempFolder.h"
#include "tests/support/ToolFormTest.h"
#include "thumb/Rw_ini.h"
#include "thumb/Unit1.h"

namespace {

class QuilletForm : public ToolFormTest {
 protected:
  QuilletForm() : ToolFormTest("Quillet") {}
  void TearDown() override {
    ToolFormTest::TearDown();
    Form1 = nullptr;
  }
  void Create() {
    Application->CreateForm(Form1);
    ASSERT_NE(Form1, nullptr);
  }
  std::string Photo(const std::string& name) {
    const std::string path = dir / name;
    WriteBytes(path, EncodeTestJpeg(TestCard(160, 120, 3), 160, 120));
    return path;
  }
  // Whether the application has been told to end (a close of the main form).
  bool QuitRequested() {
    Application->ProcessMessages();
    return Application->Terminated();
  }
};

}  // namespace

TEST_F(QuilletForm, WithoutSettingsTheDefaultsShowAndACloseWritesAllSixKeys) {
  Create();
  EXPECT_EQ(Form1->Left(), 50);
  EXPECT_EQ(Form1->Top(), 50);
  EXPECT_TRUE(Form1->CheckBox1->Checked());
  EXPECT_EQ(Form1->Edit1->Text(), "66");
  EXPECT_EQ(Form1->Edit2->Text(), "64");
  EXPECT_EQ(Form1->Edit3->Text(), "$_");
  Form1->Close();
  EXPECT_EQ(ReadBytes(Ini()),
            "[Pos]\nTop=50\nLeft=50\n[Mode]\nClose=1\n[Jpeg]\nComp=66\n[Thumb]\nMax=64\nChar=$_\n");
  EXPECT_TRUE(QuitRequested());
}

TEST_F(QuilletForm, StoredSettingsReachTheControlsAndComeBackThroughThem) {
  // "Max" beyond 16 bits reaches the up-down as its low 16 bits (65576 → 40);
  // an empty "Char" is an empty prefix.
  WriteBytes(Ini(), "[Pos]\nTop=-30\nLeft=120\n[Mode]\nClose=5\n[Jpeg]\nComp=80\n[Thumb]\nMax=65576\nChar=\n");
  Create();
  EXPECT_EQ(Form1->Left(), 120);
  EXPECT_EQ(Form1->Top(), -30);
  EXPECT_TRUE(Form1->CheckBox1->Checked());
  EXPECT_EQ(Form1->Edit1->Text(), "80");
  EXPECT_EQ(Form1->UpDown2->Position(), 40);
  EXPECT_EQ(Form1->Edit2->Text(), "40");
  EXPECT_EQ(Form1->Edit3->Text(), "");
  Form1->Close();
  EXPECT_EQ(ReadBytes(Ini()),
            "[Pos]\nTop=-30\nLeft=120\n[Mode]\nClose=1\n[Jpeg]\nComp=80\n[Thumb]\nMax=40\nChar=\n");

  // A file without the section "Thumb" gives the defaults, and a close adds it.
  Application->Reset();
  WriteBytes(Ini(), "[Mode]\nClose=0\n");
  Create();
  EXPECT_FALSE(Form1->CheckBox1->Checked());
  EXPECT_EQ(Form1->Edit2->Text(), "64");
  EXPECT_EQ(Form1->Edit3->Text(), "$_");
  Form1->Close();
  EXPECT_EQ(ReadBytes(Ini()),
            "[Mode]\nClose=0\n[Pos]\nTop=50\nLeft=50\n[Jpeg]\nComp=66\n[Thumb]\nMax=64\nChar=$_\n");
}

TEST_F(QuilletForm, AStoredMaxOutsideTheUpDownsRangeIsHandedOverAndTheUpDownClampsIt) {
  // The tool hands the stored number to UpDown2 as it is; the up-down keeps its
  // position within 32..640, shows that, and that is what is used and stored.
  struct TCase {
    const char* stored;
    Integer shown;
    int thumbW, thumbH;  // of a 160 x 120 photo
  } cases[] = {{"1000", 640, 640, 480}, {"10", 32, 32, 24}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.stored);
    Application->Reset();
    WriteBytes(Ini(), std::string("[Thumb]\nMax=") + c.stored + "\n");
    Create();
    Form1->CheckBox1->SetChecked(false);
    EXPECT_EQ(Form1->UpDown2->Position(), c.shown);
    EXPECT_EQ(Form1->Edit2->Text(), std::to_string(c.shown));
    const std::string a = Photo("a.jpg");
    TStringList files;
    files.Add(a);
    Form1->FileDrop1FileDrop(Form1->FileDrop1, 1, &files, 0, 0);
    const TestJpegInfo t = DecodeTestJpeg(ReadBytes(dir / "$_a.jpg"));
    EXPECT_EQ(t.width, c.thumbW);
    EXPECT_EQ(t.height, c.thumbH);
    Form1->Close();
    EXPECT_NE(ReadBytes(Ini()).find("Max=" + std::to_string(c.shown) + "\n"), std::string::npos) << ReadBytes(Ini());
  }
}

TEST_F(QuilletForm, TheEditsTextsAreStoredAsTypedAndANonNumberKeepsTheWindowOpen) {
  Create();
  Form1->Edit2->SetText("1000");
  Form1->Edit3->SetText("th_");
  Form1->Close();
  EXPECT_NE(ReadBytes(Ini()).find("[Thumb]\nMax=1000\nChar=th_\n"), std::string::npos) << ReadBytes(Ini());

  Application->Reset();
  std::filesystem::remove(Ini());
  Create();
  for (TEdit* edit : {Form1->Edit1, Form1->Edit2}) {
    const std::string kept = edit->Text();
    edit->SetText("abc");
    try {
      Form1->Close();
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'abc' は整数ではありません");
    }
    EXPECT_FALSE(std::filesystem::exists(Ini()));
    EXPECT_FALSE(QuitRequested());
    edit->SetText(kept);
  }
  // Put right, the close goes through.
  Form1->Close();
  EXPECT_TRUE(std::filesystem::exists(Ini()));
  EXPECT_TRUE(QuitRequested());
}

TEST_F(QuilletForm, TheResourceGivesTheWindowItsLayout) {
  Create();
  EXPECT_EQ(Form1->Caption(), "Quillet(Ver0.15)");
  EXPECT_EQ(Form1->ClientWidth(), 260);
  EXPECT_EQ(Form1->ClientHeight(), 130);
  EXPECT_EQ(Form1->BorderStyle(), bsSingle);
  EXPECT_EQ(Form1->BorderIcons(), biSystemMenu | biMinimize);
  EXPECT_EQ(Form1->Label5->Caption(), "Orvelda");
  EXPECT_EQ(Form1->Label5->Font()->Style(), fsBold);
  EXPECT_EQ(Form1->Label5->Font()->Name(), Form1->Font()->Name());
  EXPECT_EQ(Form1->Label6->Caption(), "長辺のサイズ（ｄｏｔ）");
  EXPECT_EQ(Form1->Label7->Caption(), "先頭文字");
  EXPECT_EQ(Form1->CheckBox1->Caption(), "処理後終了する");
  EXPECT_EQ(Form1->UpDown2->Associate(), Form1->Edit2);
  EXPECT_EQ(Form1->UpDown2->Min(), 32);
  EXPECT_EQ(Form1->UpDown2->Max(), 640);
  // The quality's controls lie wholly below the client area.
  for (TControl* hidden : {static_cast<TControl*>(Form1->Label1), static_cast<TControl*>(Form1->Edit1),
                           static_cast<TControl*>(Form1->UpDown1)})
    EXPECT_GE(hidden->Top(), 130) << hidden->Name();
  const std::pair<TWinControl*, Integer> tabs[] = {{Form1->Edit1, 0}, {Form1->UpDown1, 1}, {Form1->ProgressBar1, 2},
                                                   {Form1->CheckBox1, 3}, {Form1->Edit2, 4}, {Form1->UpDown2, 5},
                                                   {Form1->Edit3, 6}};
  for (auto [control, order] : tabs) EXPECT_EQ(control->TabOrder(), order) << control->Name();
  // The links show the addresses they open, the rotation tools' own.
  EXPECT_EQ(Form1->Label2->Caption(), Form1->MailAndHP1->HomePageAddress);
  EXPECT_EQ(Form1->Label3->Caption(), Form1->MailAndHP1->MailAddress);
  const std::string rotation = ReadBytes(std::string(VORNEL_SOURCE_DIR) + "/rotate/Vornel_L.dfm");
  EXPECT_NE(rotation.find("HomePageAddress = '" + Form1->MailAndHP1->HomePageAddress + "'"), std::string::npos);
  EXPECT_NE(rotation.find("MailAddress = '" + Form1->MailAndHP1->MailAddress + "'"), std::string::npos);
}

TEST_F(QuilletForm, EachLinkLabelOpensItsOwnAddress) {
  Create();
  FakeOpener opener;
  ASSERT_NE(Form1->MailAndHP1->HomePageAddress, "mailto:" + Form1->MailAndHP1->MailAddress);
  Form1->Label2->Click();
  EXPECT_EQ(opener.Next(), Form1->MailAndHP1->HomePageAddress);
  Form1->Label3->Click();
  EXPECT_EQ(opener.Next(), "mailto:" + Form1->MailAndHP1->MailAddress);
}

TEST_F(QuilletForm, ADroppedBatchIsMadeIntoThumbnailsAndTheCheckBoxAloneDecidesTheClose) {
  Create();
  Form1->CheckBox1->SetChecked(false);
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg");
  TStringList files;
  files.Add(a);
  files.Add(b);
  Form1->FileDrop1FileDrop(Form1->FileDrop1, 2, &files, 0, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "$_a.jpg"));
  EXPECT_TRUE(std::filesystem::exists(dir / "$_b.jpg"));
  EXPECT_FALSE(QuitRequested()) << "the routine makes no close request";
  EXPECT_FALSE(std::filesystem::exists(Ini()));

  // Checked: one close after the batch, the settings written.
  Form1->CheckBox1->SetChecked(true);
  Form1->FileDrop1FileDrop(Form1->FileDrop1, 1, &files, 0, 0);
  EXPECT_TRUE(std::filesystem::exists(Ini()));
  EXPECT_TRUE(QuitRequested());
}

TEST_F(QuilletForm, ADropFromTheFileManagerReachesTheRoutineAndAFailureEndsTheBatchInTheErrorBox) {
  Create();
  Form1->CheckBox1->SetChecked(false);
  Form1->Show();
  const std::string good = Photo("good.jpg");
  ASSERT_TRUE(DropUrls(Form1->Widget(), FileUrls({good}), QPoint(30, 30)));
  ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(dir / "$_good.jpg"); }));

  // The first path fails: the box names the failure, the rest of the batch is dropped.
  WriteBytes(dir / "bad.jpg", "no picture");
  const std::string later = Photo("later.jpg");
  TBoxWatcher boxes;
  ASSERT_TRUE(DropUrls(Form1->Widget(), FileUrls({dir / "bad.jpg", later}), QPoint(30, 30)));
  ASSERT_TRUE(PumpUntil([&] { return !boxes.Boxes.empty(); }));
  EXPECT_EQ(boxes.Boxes[0].Title, "Quillet");
  EXPECT_EQ(boxes.Boxes[0].Text.rfind("JPEG エラー #", 0), 0u) << boxes.Boxes[0].Text;
  Application->ProcessMessages();
  EXPECT_FALSE(std::filesystem::exists(dir / "$_later.jpg"));
  EXPECT_FALSE(std::filesystem::exists(dir / "$_bad.jpg"));
  EXPECT_FALSE(Application->Terminated());
}

TEST_F(QuilletForm, TheCommandLineIsTakenAtActivation) {
  const std::string a = Photo("a.jpg");
  SetCommandLineParamsForTest({a, dir / "missing.jpg", "relative-and-missing.jpg"});
  Create();
  Form1->CheckBox1->SetChecked(true);
  Form1->FormActivate(Form1);
  EXPECT_TRUE(std::filesystem::exists(dir / "$_a.jpg"));
  EXPECT_TRUE(QuitRequested());
}
