// The rotation tool's main form (Vornel_L's build): creation and close with the
// settings, the layout of both form resources, the rotation routine and the
// batch intake from the command line and from drops.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include <QFontMetrics>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "tests/support/FakeOpener.h"
#include "tests/support/GuiTestSupport.h"
#include "classlib/Resources.h"
#include "platform/CommandLine.h"
#include "platform/Drop.h"
#include "platform/Module.h"
#include "platform/Windows.h"
#include "tests/support/RotateTestUtil.h"
#include "rotate/Rw_ini.h"
#include "rotate/Unit1.h"
#include "tests/support/ToolFormTest.h"

using namespace rotate_test;
namespace fs = std::filesystem;

namespace {

// Hands every path of a batch to a recorder instead of the rotation.
class TRecordingForm : public TForm1 {
 public:
  using TForm1::TForm1;
  std::vector<std::string> Paths;
  std::string FailOn;  // a path whose handling raises

 protected:
  void ProcessFile(const std::string& FileName) override {
    Paths.push_back(FileName);
    if (FileName == FailOn) throw Exception("failed on " + FileName);
  }
};

class RotateForm : public ToolFormTest {
 protected:
  RotateForm() : ToolFormTest("Vornel_L") {}
  void TearDown() override {
    ToolFormTest::TearDown();
    Form1 = nullptr;
  }
  // Creates the form from its resource and counts the close requests.
  template <class T = TForm1>
  T* Create(T*& form, const std::string& resource = "TForm1") {
    Application->CreateForm(form, resource);
    TCloseEvent inner = form->OnClose;
    form->OnClose = [this, inner](TObject* sender, TCloseAction& action) {
      ++closes;
      inner(sender, action);
      if (afterClose) afterClose();
    };
    return form;
  }
  void CreateMain() {
    Create(Form1);
    Form1->CheckBox1->SetChecked(false);
  }
  std::string Photo(const std::string& name, int w = 48, int h = 32, const TestJpegOptions& o = {}) {
    const std::string path = dir / name;
    originals[path] = WritePhoto(path, w, h, o);
    SetMTime(path, OldTime());
    return path;
  }
  bool TurnedOnce(const std::string& path) { return TurnError(originals[path], path, true) < kTurnTolerance; }
  bool Untouched(const std::string& path) { return ReadBytes(path) == originals[path]; }

  // The message of the EWriteError a conversion of path raises, or "" when none.
  std::string WriteErrorOf(const std::string& path) {
    try {
      Form1->ConvFile(path);
    } catch (const EWriteError& e) {
      return e.Message();
    }
    return "";
  }
  static std::string ChangedMessage(const std::string& path) {
    return "File " + path + " was changed during conversion and was not written";
  }
  void PostDrop(const std::vector<std::string>& paths) {
    PostMessageA(Form1->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(CreateDropHandle(paths, POINT{5, 5})), 0);
  }

  int closes = 0;
  std::function<void()> afterClose;  // runs after each close request that went through
  std::map<std::string, std::string> originals;
};

// What the file-size signal does while a test has it: the photo at
// gSavedOverPath is replaced by gSavedOverBy, once, as when another program
// saves over it just as the write fails.
char gSavedOverBy[4096];
char gSavedOverPath[4096];
volatile std::sig_atomic_t gSavedOver = 0;
void SaveOverOnFileSizeSignal(int) {
  if (gSavedOver || gSavedOverBy[0] == '\0') return;
  gSavedOver = 1;
  ::rename(gSavedOverBy, gSavedOverPath);
}

// While it lives, files this process writes stop at a few bytes and the
// file-size signal runs SaveOverOnFileSizeSignal.
class TWriteCutShort {
 public:
  TWriteCutShort() {
    struct sigaction action {};
    action.sa_handler = SaveOverOnFileSizeSignal;
    ::sigaction(SIGXFSZ, &action, &FOldAction);
    ::getrlimit(RLIMIT_FSIZE, &FOldLimit);
    rlimit limit = FOldLimit;
    limit.rlim_cur = 64;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TWriteCutShort() {
    ::setrlimit(RLIMIT_FSIZE, &FOldLimit);
    ::sigaction(SIGXFSZ, &FOldAction, nullptr);
  }
  TWriteCutShort(const TWriteCutShort&) = delete;
  TWriteCutShort& operator=(const TWriteCutShort&) = delete;

 private:
  struct sigaction FOldAction {};
  rlimit FOldLimit{};
};

// While gSyncSavedOverPath names a photo, the sync of the new file written beside
// it (between the encode and the rename) is preceded, once, by another program
// saving gSavedOverBy over the photo.
char gSyncSavedOverPath[4096];
bool gSyncSavedOver = false;

}  // namespace

extern "C" int fsync(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  if (gSyncSavedOverPath[0] != '\0' && !gSyncSavedOver) {
    char name[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), name, sizeof name - 1);
    const fs::path photo(gSyncSavedOverPath);
    if (n > 0 && fs::path(std::string(name, static_cast<std::size_t>(n))).parent_path() == photo.parent_path() &&
        fs::path(std::string(name, static_cast<std::size_t>(n))).filename().string().rfind("." + photo.filename().string(), 0) == 0) {
      gSyncSavedOver = true;
      ::rename(gSavedOverBy, gSyncSavedOverPath);
    }
  }
  return real(fd);
}

namespace {

// ---- Creation, close and the settings ------------------------------------------------

TEST_F(RotateForm, CreationAppliesTheStoredSettingsAndCloseWritesThemBack) {
  WriteBytes(Ini(), "[Pos]\nTop=-30\nLeft=-40\n[Mode]\nClose=2\n[Jpeg]\nComp=80\n");
  Create(Form1);
  EXPECT_EQ(Form1->Left(), -40);
  EXPECT_EQ(Form1->Top(), -30);
  EXPECT_TRUE(Form1->CheckBox1->Checked());
  EXPECT_EQ(Form1->Edit1->Text(), "80");
  EXPECT_EQ(Form1->UpDown1->Position(), 80);

  Form1->Close();
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(ReadBytes(Ini()), "[Pos]\nTop=-30\nLeft=-40\n[Mode]\nClose=1\n[Jpeg]\nComp=80\n");
  Application->ProcessMessages();
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(RotateForm, WithoutSettingsTheDefaultsShowAndTheFirstCloseCreatesTheFourKeys) {
  Create(Form1);
  EXPECT_EQ(Form1->Left(), 50);
  EXPECT_EQ(Form1->Top(), 50);
  EXPECT_TRUE(Form1->CheckBox1->Checked());
  EXPECT_EQ(Form1->Edit1->Text(), "66");
  Form1->Close();
  EXPECT_EQ(ReadBytes(Ini()), "[Pos]\nTop=50\nLeft=50\n[Mode]\nClose=1\n[Jpeg]\nComp=66\n");
}

TEST_F(RotateForm, TheQualityIsTheEditsTextAndANonNumberKeepsTheWindowOpen) {
  struct TCase {
    const char* text;
    const char* written;  // nullptr: refused
  } cases[] = {{"150", "150"}, {" 70", "70"}, {"$46", "70"}, {"abc", nullptr}, {"", nullptr}, {"70 ", nullptr}};
  for (const TCase& c : cases) {
    std::filesystem::remove(Ini());
    Application->Reset();
    Form1 = nullptr;
    Create(Form1);
    Form1->Edit1->SetText(c.text);
    if (c.written) {
      Form1->Close();
      EXPECT_NE(ReadBytes(Ini()).find(std::string("Comp=") + c.written + "\n"), std::string::npos) << c.text;
    } else {
      try {
        Form1->Close();
        ADD_FAILURE() << "no error for '" << c.text << "'";
      } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), std::string("'") + c.text + "' は整数ではありません");
      }
      EXPECT_FALSE(fs::exists(Ini())) << c.text;
      Application->ProcessMessages();
      EXPECT_FALSE(Application->Terminated()) << c.text;
    }
  }
}

// ---- The two form resources --------------------------------------------------------------

TEST_F(RotateForm, BothResourcesGiveTheWindowsOfTheirProgram) {
  static const std::string text = ReadBytes(std::string(VORNEL_SOURCE_DIR) + "/rotate/Vornel_R.dfm");
  RegisterFormResource("Vornel_R_form", text);
  TForm1* right = nullptr;
  Create(Form1);
  Create(right, "Vornel_R_form");
  for (TForm1* f : {Form1, right}) {
    const bool R = f == right;
    SCOPED_TRACE(R ? "Vornel_R" : "Vornel_L");
    EXPECT_EQ(f->Caption(), R ? "Vornel_R(Ver0.15)" : "Vornel_L(Ver0.15)");
    EXPECT_EQ(f->ClientWidth(), 257);
    EXPECT_EQ(f->ClientHeight(), R ? 101 : 99);
    EXPECT_EQ(f->BorderStyle(), bsSingle);
    EXPECT_EQ(f->BorderIcons(), biSystemMenu | biMinimize | biMaximize);
    EXPECT_EQ(f->Font()->Name(), "ＭＳ Ｐゴシック");
    EXPECT_EQ(f->Font()->Height(), -12);
    EXPECT_EQ(f->Font()->Charset(), SHIFTJIS_CHARSET);

    auto place = [](TControl* c) {
      return std::vector<Integer>{c->Left(), c->Top(), c->Width(), c->Height()};
    };
    const Integer x = R ? 8 : 16;
    EXPECT_EQ(f->Label1->Left(), 16);
    EXPECT_EQ(f->Label1->Top(), 8);
    EXPECT_EQ(f->Label2->Left(), x);
    EXPECT_EQ(f->Label2->Top(), 48);
    EXPECT_EQ(f->Label3->Left(), x);
    EXPECT_EQ(f->Label3->Top(), 64);
    EXPECT_EQ(place(f->Edit1), (std::vector<Integer>{152, 8, 73, 20}));
    EXPECT_EQ(place(f->UpDown1), (std::vector<Integer>{225, 8, 15, 20}));
    EXPECT_EQ(place(f->ProgressBar1), (std::vector<Integer>{8, 88, 241, 9}));
    EXPECT_EQ(place(f->CheckBox1), (std::vector<Integer>{x, 32, R ? 169 : 137, 17}));
    EXPECT_EQ(f->Edit1->TabOrder(), 0);
    EXPECT_EQ(f->UpDown1->TabOrder(), 1);
    EXPECT_EQ(f->ProgressBar1->TabOrder(), 2);
    EXPECT_EQ(f->CheckBox1->TabOrder(), 3);

    EXPECT_EQ(f->Label1->Caption(), "圧縮率（１：高－低：９９）");
    EXPECT_EQ(f->CheckBox1->Caption(), "処理後終了する");
    EXPECT_EQ(f->Label2->Font()->Color(), clActiveCaption);
    EXPECT_EQ(f->Label2->Font()->Style(), fsUnderline);
    EXPECT_EQ(f->Label2->Color(), clBtnFace);
    EXPECT_EQ(f->Label3->Font()->Color(), clPurple);
    EXPECT_EQ(f->Label3->Font()->Style(), fsUnderline);
    // Each address stands in the link component and in its label.
    EXPECT_EQ(f->Label2->Caption(), f->MailAndHP1->HomePageAddress);
    EXPECT_EQ(f->Label3->Caption(), f->MailAndHP1->MailAddress);
    EXPECT_NE(f->MailAndHP1->HomePageAddress.find("example.org"), std::string::npos);
    EXPECT_TRUE(f->Label2->OnClick && f->Label3->OnClick);

    EXPECT_EQ(f->UpDown1->Associate(), f->Edit1);
    EXPECT_EQ(f->UpDown1->Min(), 1);
    EXPECT_EQ(f->UpDown1->Max(), 99);
    EXPECT_EQ(f->ProgressBar1->Max(), 100);
    EXPECT_TRUE(f->FileDrop1->Accept());
    EXPECT_EQ(f->FileDrop1->Control(), nullptr);
    EXPECT_TRUE(f->FileDrop1->OnFileDrop);
    EXPECT_EQ(f->FileDrop1->HookedWindow(), f->Handle());
    EXPECT_TRUE(f->OnActivate && f->OnCreate && f->OnClose);
  }
}

TEST_F(RotateForm, TheWindowShowsTheJapaneseCaptionsAsGlyphs) {
  CreateMain();
  Form1->Show();
  ASSERT_TRUE(PumpUntil([&] { return Form1->Widget()->isVisible(); }));
  const QImage shot = Form1->Widget()->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  shot.save(QString::fromStdString(dir / "Vornel_L.png"));
  for (TControl* c : std::vector<TControl*>{Form1->Label1, Form1->CheckBox1}) {
    const QString text = QString::fromStdString(c->Caption());
    const QFontMetrics metrics(c->Widget()->font());
    for (QChar ch : text) EXPECT_TRUE(metrics.inFont(ch)) << c->Caption();
    // Something is drawn where the caption stands.
    const QRect area = c->Widget()->geometry() & shot.rect();
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x) dark += qGray(shot.pixel(x, y)) < 100;
    EXPECT_GT(dark, 30) << c->Caption();
  }
}

// ---- The rotation routine ------------------------------------------------------------------

TEST_F(RotateForm, JpegFilesAreTurnedInPlaceKeepingDensitiesAndTime) {
  CreateMain();
  TestJpegOptions dense;
  dense.xDensity = 72;
  dense.yDensity = 144;
  TestJpegOptions exif;
  exif.jfif = false;
  exif.app1 = std::string("Exif\0\0MM\0\x2a\0\0\0\x08\0\0", 16);
  TestJpegOptions zeroX;
  zeroX.xDensity = 0;
  zeroX.yDensity = 300;
  TestJpegOptions noUnit;
  noUnit.densityUnit = 0;
  noUnit.xDensity = 1;
  noUnit.yDensity = 1;
  struct TCase {
    std::string path;
    int x, y;
  } cases[] = {{Photo("a.JPG", 48, 32, dense), 72, 144},
               {Photo("b.Jpeg", 40, 25, exif), 72, 72},
               {Photo("c.jpg", 31, 17, zeroX), 72, 300},
               {Photo("d.jpeg", 20, 20, noUnit), 1, 1},
               {Photo("row.jpg", 40, 1), 72, 72}};
  int expectedCloses = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.path);
    const TestJpegInfo before = DecodeTestJpeg(originals[c.path]);
    Form1->ConvFile(c.path);
    EXPECT_EQ(closes, ++expectedCloses);
    const TestJpegInfo after = DecodeTestJpeg(ReadBytes(c.path));
    EXPECT_EQ(after.width, before.height);
    EXPECT_EQ(after.height, before.width);
    EXPECT_LT(TurnError(originals[c.path], c.path, true), kTurnTolerance);
    EXPECT_EQ(after.densityUnit, 1);
    EXPECT_EQ(after.xDensity, c.x);
    EXPECT_EQ(after.yDensity, c.y);
    EXPECT_LE(std::abs(MTime(c.path) - OldTime()), 2);
    EXPECT_EQ(Form1->ProgressBar1->Max(), before.height);
    EXPECT_EQ(Form1->ProgressBar1->Position(), 0);
  }
}

TEST_F(RotateForm, ProgressAndMessagesComeAfterEveryTenthSourceRow) {
  CreateMain();
  // A posted call that notes the progress bar each time messages are let
  // through, and posts itself again for the next time.
  struct TNote {
    int max;
    int position;
  };
  std::vector<TNote> notes;
  bool converting = true;
  std::function<void()> note = [&] {
    if (!converting) return;
    notes.push_back({Form1->ProgressBar1->Max(), Form1->ProgressBar1->Position()});
    QMetaObject::invokeMethod(qApp, note, Qt::QueuedConnection);
  };
  for (int H : {25, 1, 30}) {
    SCOPED_TRACE(H);
    notes.clear();
    converting = true;
    const std::string path = Photo("p" + std::to_string(H) + ".jpg", 17, H);
    QMetaObject::invokeMethod(qApp, note, Qt::QueuedConnection);
    Form1->ConvFile(path);
    converting = false;
    Application->ProcessMessages();
    EXPECT_TRUE(TurnedOnce(path));
    std::vector<int> positions;
    for (const TNote& n : notes) {
      EXPECT_EQ(n.max, H);
      if (positions.empty() || positions.back() != n.position) positions.push_back(n.position);
    }
    std::vector<int> expected;
    for (int y = 0; y < H; y += 10) expected.push_back(y);
    EXPECT_EQ(positions, expected);
    EXPECT_EQ(Form1->ProgressBar1->Position(), 0);
  }
}

// A photograph large enough to be decoded ahead on worker threads (in parts
// side by side) shows the same progress and lets messages through at the same
// rows.
TEST_F(RotateForm, APhotoDecodedAheadShowsProgressAtTheSameRows) {
  CreateMain();
  const int H = 6003;
  const std::string path = Photo("tall.jpg", 700, H);
  std::vector<int> positions;
  bool converting = true;
  std::function<void()> note = [&] {
    if (!converting) return;
    EXPECT_EQ(Form1->ProgressBar1->Max(), H);
    const int position = Form1->ProgressBar1->Position();
    if (positions.empty() || positions.back() != position) positions.push_back(position);
    QMetaObject::invokeMethod(qApp, note, Qt::QueuedConnection);
  };
  QMetaObject::invokeMethod(qApp, note, Qt::QueuedConnection);
  Form1->ConvFile(path);
  converting = false;
  Application->ProcessMessages();
  EXPECT_TRUE(TurnedOnce(path));
  std::vector<int> expected;
  for (int y = 0; y < H; y += 10) expected.push_back(y);
  EXPECT_EQ(positions, expected);
}

// Large photographs dropped while a large one is turned are turned nested, as
// small ones are, while the outer one's decoding workers wait.
TEST_F(RotateForm, LargePhotosDroppedDuringAConversionAreTurnedNested) {
  CreateMain();
  TBoxWatcher boxes;
  const std::string outer = Photo("outer.jpg", 1200, 3600), inner = Photo("inner.jpg", 2400, 1800),
                    second = Photo("second.jpg", 1000, 700);
  PostMessageA(Form1->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(CreateDropHandle({inner, second}, POINT{5, 5})), 0);
  Form1->ConvFile(outer);
  EXPECT_TRUE(TurnedOnce(inner));
  EXPECT_TRUE(TurnedOnce(second));
  EXPECT_TRUE(TurnedOnce(outer));
  EXPECT_EQ(closes, 3);  // one a file
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(RotateForm, APhotoTheDecoderRefusesIsLeftAsItWasAndTheProgressUntouched) {
  CreateMain();
  // A progressive photo whose last scan repeats far beyond any real file.
  TestJpegOptions o;
  o.progressive = true;
  const std::string bytes = EncodeTestJpeg(TestCard(16, 16, 3), 16, 16, o);
  const std::size_t last = bytes.rfind(std::string("\xFF\xDA", 2));
  ASSERT_NE(last, std::string::npos);
  std::string many = bytes.substr(0, bytes.size() - 2);
  for (int i = 0; i < 600; ++i) many += bytes.substr(last, bytes.size() - 2 - last);
  many += "\xFF\xD9";
  const std::string path = dir / "scans.jpg";
  WriteBytes(path, many);
  EXPECT_THROW(Form1->ConvFile(path), EJPEG);
  EXPECT_EQ(ReadBytes(path), many);
  EXPECT_EQ(Form1->ProgressBar1->Max(), 100);  // as the form resource has it
  EXPECT_EQ(closes, 0);
}

TEST_F(RotateForm, GrayscalePhotosStayGrayAndTheWrongTurnIsCaught) {
  CreateMain();
  TestJpegOptions gray;
  gray.input = JCS_GRAYSCALE;
  const std::string path = dir / "gray.jpg";
  const std::string original = EncodeTestJpeg(TestCard(30, 22, 1), 30, 22, gray);
  WriteBytes(path, original);
  Form1->ConvFile(path);
  const TestJpegInfo before = DecodeTestJpeg(original, JCS_GRAYSCALE);
  const TestJpegInfo after = DecodeTestJpeg(ReadBytes(path), JCS_GRAYSCALE);
  ASSERT_EQ(after.width, 22);
  ASSERT_EQ(after.height, 30);
  EXPECT_LT(MeanError(Turn(before.pixels, 30, 22, 1, true), after.pixels), kTurnTolerance);
  // The comparison can tell the directions apart.
  EXPECT_GT(MeanError(Turn(before.pixels, 30, 22, 1, false), after.pixels), 4 * kTurnTolerance);
}

TEST_F(RotateForm, RejectedPathsGetOneCloseRequestEachAndStayAsTheyWere) {
  CreateMain();
  std::vector<std::string> rejected = {dir / "missing.jpg", dir / "noext", dir / "x.jpe", dir / "x.jfif",
                                       dir / "x.jpg.bak", dir / "p.png", dir / "folder.jpg", dir / "old.jpg"};
  for (std::size_t i = 1; i < rejected.size(); ++i) {
    if (rejected[i].ends_with("folder.jpg")) {
      fs::create_directory(rejected[i]);
    } else {
      originals[rejected[i]] = WritePhoto(rejected[i], 8, 8);
    }
  }
  SetMTime(dir / "old.jpg", 100000000);  // 1973: outside the packed date's range
  for (const std::string& p : rejected) Form1->ConvFile(p);
  EXPECT_EQ(closes, static_cast<int>(rejected.size()));
  for (auto& [path, bytes] : originals) EXPECT_EQ(ReadBytes(path), bytes) << path;
  EXPECT_TRUE(fs::is_directory(dir / "folder.jpg"));
}

TEST_F(RotateForm, EachFileIsWrittenWithTheQualityHeldAtItsWrite) {
  CreateMain();
  const std::string a = Photo("a.jpg", 64, 48), b = Photo("b.jpg", 64, 48);
  const auto table = [](int q) {
    TestJpegOptions o;
    o.quality = q;
    return DecodeTestJpeg(EncodeTestJpeg(TestCard(16, 16, 3), 16, 16, o)).lumaTable;
  };
  Form1->Edit1->SetText("80");
  Form1->ConvFile(a);  // written with 66, then its close request takes 80
  Form1->ConvFile(b);
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(a)).lumaTable, table(66));
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(b)).lumaTable, table(80));
  EXPECT_NE(ReadBytes(Ini()).find("Comp=80\n"), std::string::npos);
}

TEST_F(RotateForm, BadPhotographsFailWithAMessageAndStayExactlyAsTheyWere) {
  CreateMain();
  const std::string png = dir / "png.jpg", empty = dir / "empty.jpg";
  WriteBytes(png, PngBytes());
  WriteBytes(empty, "");
  const std::string ro = Photo("readonly.jpg");
  ASSERT_EQ(chmod(ro.c_str(), 0444), 0);

  try {
    Form1->ConvFile(png);
    ADD_FAILURE() << "a PNG was turned";
  } catch (const EJPEG& e) {
    EXPECT_EQ(std::string(e.what()).rfind("JPEG エラー #", 0), 0u) << e.what();
  }
  EXPECT_EQ(ReadBytes(png), PngBytes());
  EXPECT_THROW(Form1->ConvFile(empty), Exception);
  EXPECT_EQ(ReadBytes(empty), "");
  try {
    Form1->ConvFile(ro);
    ADD_FAILURE() << "a read-only photo was written";
  } catch (const EWriteError& e) {
    EXPECT_STREQ(e.what(), "Error writing JPEG to file");
  }
  EXPECT_TRUE(Untouched(ro));
  struct stat st {};
  ASSERT_EQ(stat(ro.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  EXPECT_EQ(closes, 0);  // a failure makes no close request
  EXPECT_EQ(fs::directory_iterator(dir.Path()) == fs::directory_iterator(), false);
  for (auto& e : fs::directory_iterator(dir.Path()))  // no temporary file left behind
    EXPECT_TRUE(e.path().extension() == ".jpg" || e.path().extension() == ".INI") << e.path();
}

TEST_F(RotateForm, TruncatedPhotosInReadOnlyFoldersAndLongPathsAreTurnedWholeOrLeftAlone) {
  CreateMain();
  // Cut after half its bytes: decoded as far as it goes, then turned.
  const std::string cut = Photo("cut.jpg", 64, 64);
  WriteBytes(cut, originals[cut].substr(0, originals[cut].size() / 2));
  Form1->ConvFile(cut);
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(cut)).width, 64);

  fs::create_directory(dir / "locked");
  const std::string locked = Photo("locked/in.jpg");
  ASSERT_EQ(chmod((dir / "locked").c_str(), 0555), 0);
  try {
    Form1->ConvFile(locked);
    EXPECT_TRUE(TurnedOnce(locked));  // a user who may write anywhere
  } catch (const EWriteError&) {
    EXPECT_TRUE(Untouched(locked));
  }

  // 300 bytes of path below the temporary folder.
  std::string deep = dir.Path();
  while (deep.size() < 250) deep += "/" + std::string(60, 'd');
  fs::create_directories(deep);
  const std::string name = deep.substr(dir.Path().size() + 1) + "/" + std::string(300 - deep.size() - 5, 'n') + ".jpg";
  const std::string longPath = Photo(name);
  ASSERT_EQ(longPath.size(), 300u);
  Form1->ConvFile(longPath);
  EXPECT_TRUE(TurnedOnce(longPath));

  // A name of 250 bytes leaves little room for a temporary name beside it.
  const std::string longName = Photo(std::string(246, 'L') + ".jpg");
  try {
    Form1->ConvFile(longName);
    EXPECT_TRUE(TurnedOnce(longName));
  } catch (const EWriteError&) {
    EXPECT_TRUE(Untouched(longName));
  }
}

TEST_F(RotateForm, APhotoAnotherProgramChangedWhileMessagesRunIsNotWrittenOver) {
  CreateMain();
  TBoxWatcher boxes;
  const std::string replaced = Photo("replaced.jpg", 40, 30);
  const std::string other = WritePhoto(dir / "other.tmp", 30, 40);
  QTimer::singleShot(0, [&] { fs::rename(dir / "other.tmp", replaced); });
  EXPECT_EQ(WriteErrorOf(replaced), ChangedMessage(replaced));
  EXPECT_EQ(ReadBytes(replaced), other);

  const std::string deleted = Photo("deleted.jpg", 40, 30);
  QTimer::singleShot(0, [&] { fs::remove(deleted); });
  EXPECT_EQ(WriteErrorOf(deleted), ChangedMessage(deleted));
  EXPECT_FALSE(fs::exists(deleted));

  // Replaced, then dropped again: the nested call turns the newer photo, which
  // is not the file the outer call read, so the outer result does not go over it.
  const std::string again = Photo("again.jpg", 120, 90);
  const std::string newer = WritePhoto(dir / "newer.tmp", 60, 40);
  QTimer::singleShot(0, [&] {
    fs::rename(dir / "newer.tmp", again);
    PostDrop({again});
  });
  EXPECT_EQ(WriteErrorOf(again), ChangedMessage(again));
  EXPECT_LT(TurnError(newer, again, true), kTurnTolerance);

  // Turned by a nested call, then changed by another program: refused too.
  const std::string edited = Photo("edited.jpg", 120, 90);
  PostDrop({edited});
  afterClose = [&] { std::ofstream(edited, std::ios::app) << "edit"; };
  EXPECT_EQ(WriteErrorOf(edited), ChangedMessage(edited));
  afterClose = nullptr;
  const std::string kept = ReadBytes(edited);
  ASSERT_GE(kept.size(), 4u);
  EXPECT_EQ(kept.substr(kept.size() - 4), "edit");
  EXPECT_LT(TurnError(originals[edited], edited, true), kTurnTolerance);
  EXPECT_EQ(closes, 2);  // the nested calls' own
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(RotateForm, AFailedWriteSaysWhenAnotherProgramSavedThePhotoMeanwhile) {
  CreateMain();
  // The write fails, and another program has saved over the photo meanwhile.
  const std::string photo = Photo("photo.jpg");
  const std::string newer = WritePhoto(dir / "newer.tmp", 20, 20);
  std::snprintf(gSavedOverBy, sizeof gSavedOverBy, "%s", (dir / "newer.tmp").c_str());
  std::snprintf(gSavedOverPath, sizeof gSavedOverPath, "%s", photo.c_str());
  gSavedOver = 0;
  std::string message;
  {
    TWriteCutShort cut;
    message = WriteErrorOf(photo);
  }
  gSavedOverBy[0] = '\0';
  EXPECT_TRUE(gSavedOver);
  EXPECT_EQ(message, ChangedMessage(photo));
  EXPECT_EQ(ReadBytes(photo), newer);

  // The write fails on its own: the writer's message, the photo as it was.
  const std::string alone = Photo("alone.jpg");
  {
    TWriteCutShort cut;
    message = WriteErrorOf(alone);
  }
  EXPECT_EQ(message, "Error writing JPEG to file");
  EXPECT_TRUE(Untouched(alone));

  // Saved over while the new file is made, the write itself going well: the
  // new file does not take the place of the other program's.
  const std::string late = Photo("late.jpg");
  const std::string latest = WritePhoto(dir / "latest.tmp", 24, 24);
  std::snprintf(gSavedOverBy, sizeof gSavedOverBy, "%s", (dir / "latest.tmp").c_str());
  std::snprintf(gSyncSavedOverPath, sizeof gSyncSavedOverPath, "%s", late.c_str());
  message = WriteErrorOf(late);
  gSyncSavedOverPath[0] = gSavedOverBy[0] = '\0';
  EXPECT_TRUE(gSyncSavedOver);
  EXPECT_EQ(message, ChangedMessage(late));
  EXPECT_EQ(ReadBytes(late), latest);
  EXPECT_EQ(closes, 0);
}

TEST_F(RotateForm, DropsDuringAConversionAreHandledNested) {
  CreateMain();
  TBoxWatcher boxes;
  const std::string outer = Photo("outer.jpg", 120, 90), inner = Photo("inner.jpg", 30, 20);
  // A drop waiting when the conversion lets messages through.
  PostMessageA(Form1->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(CreateDropHandle({inner}, POINT{5, 5})), 0);
  Form1->ConvFile(outer);
  EXPECT_TRUE(TurnedOnce(inner));
  EXPECT_TRUE(TurnedOnce(outer));
  EXPECT_EQ(closes, 2);
  EXPECT_TRUE(boxes.Boxes.empty());

  // The same file dropped again while it is turned (by another spelling of its
  // path), in the middle of a batch of three: the inner call turns and writes
  // it, the outer one writes its own result over that, and the batch goes on.
  const std::string first = Photo("first.jpg"), same = Photo("same.jpg", 120, 90), last = Photo("last.jpg");
  afterClose = [&] {
    if (closes == 3) PostDrop({dir / "./same.jpg"});  // first.jpg done: waits for same.jpg's conversion
  };
  TStringList batch;
  for (const std::string& p : {first, same, last}) batch.Add(p);
  Form1->FileDrop1FileDrop(Form1->FileDrop1, 3, &batch, 0, 0);
  EXPECT_EQ(closes, 6);  // the nested call's among them
  for (const std::string& p : {first, same, last}) {
    EXPECT_TRUE(TurnedOnce(p)) << p;
    EXPECT_LE(std::abs(MTime(p) - OldTime()), 2) << p;
  }
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(OpenDropHandleCount(), 0u);
}

// ---- Batch intake ----------------------------------------------------------------------------

TEST_F(RotateForm, TheCommandLineBatchTurnsTheJpegsAndRequestsACloseForEveryPath) {
  const std::string jpg = Photo("B.JPG"), blanks = Photo("c d.jpg"), rel = Photo("rel.jpg");
  WriteBytes(dir / "a.png", PngBytes());
  fs::create_directory(dir / "f.jpg");
  const std::string cwd = GetCurrentDir();
  ASSERT_EQ(chdir(dir.Path().c_str()), 0);
  SetCommandLineParamsForTest({dir / "missing.jpg", dir / "a.png", jpg, blanks, "rel.jpg", dir / "f.jpg"});
  CreateMain();
  Form1->FormActivate(Form1);
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  EXPECT_TRUE(TurnedOnce(jpg));
  EXPECT_TRUE(TurnedOnce(blanks));
  EXPECT_TRUE(TurnedOnce(rel));
  EXPECT_EQ(ReadBytes(dir / "a.png"), PngBytes());
  EXPECT_EQ(closes, 6);
  Application->ProcessMessages();
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(RotateForm, TheShownFormTakesUpTheCommandLineAtItsFirstActivation) {
  const std::string a = Photo("a.jpg");
  SetCommandLineParamsForTest({a});
  CreateMain();
  Form1->CheckBox1->SetChecked(true);
  Form1->Show();
  ASSERT_TRUE(PumpUntil([&] { return closes == 2; }));  // ConvFile's close, then the box's
  EXPECT_TRUE(TurnedOnce(a));
  EXPECT_TRUE(Form1->ActivationReported());
}

TEST_F(RotateForm, IntakeHandsPathsOnAsGivenOrExpanded) {
  WriteBytes(dir / "Photo One.JPG", "x");
  SetCommandLineParamsForTest({dir / "photo one.jpg", dir / "PHOTO*", dir / "missing.jpg"});
  // Vornel_L's resource, describing the recording class.
  static const std::string text = [] {
    std::string t = ReadBytes(std::string(VORNEL_SOURCE_DIR) + "/rotate/Vornel_L.dfm");
    t.replace(t.find("TForm1"), 6, "TRecordingForm");
    return t;
  }();
  RegisterFormResource("TRecordingForm", text);
  TRecordingForm* form = nullptr;
  Create(form, "TRecordingForm");
  const std::string canon = fs::canonical(dir.Path()).string();
  form->CheckBox1->SetChecked(false);
  form->FormActivate(form);
  EXPECT_EQ(form->Paths, (std::vector<std::string>{canon + "/Photo One.JPG", canon + "/Photo One.JPG",
                                                   canon + "/missing.jpg"}));
  EXPECT_EQ(closes, 0);

  // Drops: Num is the bound, paths are not expanded; the close comes when checked.
  form->Paths.clear();
  form->CheckBox1->SetChecked(true);
  TStringList list;
  list.Add("/x/photo one.jpg");
  list.Add("relative.jpg");
  list.Add("never.jpg");
  form->FileDrop1FileDrop(form->FileDrop1, 2, &list, 0, 0);
  EXPECT_EQ(form->Paths, (std::vector<std::string>{"/x/photo one.jpg", "relative.jpg"}));
  EXPECT_EQ(closes, 1);
  form->FileDrop1FileDrop(form->FileDrop1, 0, &list, 0, 0);
  EXPECT_EQ(closes, 1);

  // A failing path ends the batch without the close.
  form->Paths.clear();
  form->FailOn = "relative.jpg";
  EXPECT_THROW(form->FileDrop1FileDrop(form->FileDrop1, 3, &list, 0, 0), Exception);
  EXPECT_EQ(form->Paths.size(), 2u);
  EXPECT_EQ(closes, 1);

  // No parameters: nothing, even with the box checked.
  SetCommandLineParamsForTest({});
  form->Paths.clear();
  form->FormActivate(form);
  EXPECT_TRUE(form->Paths.empty());
  EXPECT_EQ(closes, 1);
}

TEST_F(RotateForm, DroppedFilesFromTheFileManagerAndWmDropfilesAreTurned) {
  CreateMain();
  Form1->Show();
  const std::string a = Photo("a.jpg"), b = Photo("b b.jpg"), c = Photo("c.jpg"), d = Photo("d.jpg");
  ASSERT_TRUE(DropUrls(Form1->Widget(), FileUrls({a, b, c}), QPoint(20, 20)));
  ASSERT_TRUE(PumpUntil([&] { return closes == 3; }));
  EXPECT_TRUE(TurnedOnce(a));
  EXPECT_TRUE(TurnedOnce(b));
  EXPECT_TRUE(TurnedOnce(c));

  PostMessageA(Form1->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(CreateDropHandle({d}, POINT{1, 1})), 0);
  ASSERT_TRUE(PumpUntil([&] { return closes == 4; }));
  EXPECT_TRUE(TurnedOnce(d));
  EXPECT_EQ(OpenDropHandleCount(), 0u);
}

TEST_F(RotateForm, AFailingDropShowsOneBoxDropsTheRestAndTheNextDropWorks) {
  CreateMain();
  Form1->Show();
  TBoxWatcher boxes;
  WriteBytes(dir / "bad.jpg", PngBytes());
  const std::string good = Photo("good.jpg");
  PostMessageA(Form1->Handle(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(CreateDropHandle({dir / "bad.jpg", good}, POINT{1, 1})), 0);
  ASSERT_TRUE(PumpUntil([&] { return boxes.Boxes.size() == 1 && OpenDropHandleCount() == 0; }));
  EXPECT_EQ(boxes.Boxes[0].Text.rfind("JPEG エラー #", 0), 0u) << boxes.Boxes[0].Text;
  EXPECT_EQ(boxes.Boxes[0].Title, "Vornel_L");
  EXPECT_TRUE(Untouched(good));
  EXPECT_EQ(closes, 0);

  PostMessageA(Form1->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(CreateDropHandle({good}, POINT{1, 1})), 0);
  ASSERT_TRUE(PumpUntil([&] { return closes == 1; }));
  EXPECT_TRUE(TurnedOnce(good));
  EXPECT_EQ(boxes.Boxes.size(), 1u);
}

TEST_F(RotateForm, ANonNumberInTheQualityEndsTheBatchAfterItsFirstFileAndTheWindowStays) {
  CreateMain();
  Form1->Show();
  TBoxWatcher boxes;
  const std::string a = Photo("a.jpg"), b = Photo("b.jpg"), c = Photo("c.jpg");
  Form1->Edit1->SetText("7x");
  PostDrop({a, b, c});
  ASSERT_TRUE(PumpUntil([&] { return boxes.Boxes.size() == 1 && OpenDropHandleCount() == 0; }));
  EXPECT_EQ(boxes.Boxes[0].Text.rfind("'7x' は整数ではありません", 0), 0u) << boxes.Boxes[0].Text;
  EXPECT_TRUE(TurnedOnce(a));
  EXPECT_LE(std::abs(MTime(a) - OldTime()), 2);
  EXPECT_TRUE(Untouched(b));
  EXPECT_TRUE(Untouched(c));
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(fs::exists(Ini()));
  Application->ProcessMessages();
  EXPECT_FALSE(Application->Terminated());
  EXPECT_TRUE(Form1->Widget()->isVisible());
}

TEST_F(RotateForm, EachLinkLabelOpensItsOwnAddressInBothPrograms) {
  static const std::string text = ReadBytes(std::string(VORNEL_SOURCE_DIR) + "/rotate/Vornel_R.dfm");
  RegisterFormResource("Vornel_R_form", text);
  TForm1* right = nullptr;
  Create(Form1);
  Create(right, "Vornel_R_form");
  FakeOpener opener;
  for (TForm1* f : {Form1, right}) {
    SCOPED_TRACE(f == right ? "Vornel_R" : "Vornel_L");
    ASSERT_NE(f->MailAndHP1->HomePageAddress, "mailto:" + f->MailAndHP1->MailAddress);
    f->Label2->Click();
    EXPECT_EQ(opener.Next(), f->MailAndHP1->HomePageAddress);
    f->Label3->Click();
    EXPECT_EQ(opener.Next(), "mailto:" + f->MailAndHP1->MailAddress);
  }
}

TEST_F(RotateForm, AnInkPhotoWithoutTheAdobeSegmentIsTurnedInItsOwnColours) {
  CreateMain();
  // Ink stored the Adobe way, 255 minus the amount, but no Adobe segment:
  // smooth runs of cyan, magenta and black.
  std::vector<std::uint8_t> stored;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      stored.insert(stored.end(), {static_cast<std::uint8_t>(255 - 5 * x), static_cast<std::uint8_t>(255 - 7 * y),
                                   200, static_cast<std::uint8_t>(255 - 2 * (x + y))});
  const std::string original = EncodeInkJpegWithoutAdobe(stored, 40, 30);
  const std::string path = dir / "ink.jpg";
  WriteBytes(path, original);
  Form1->ConvFile(path);
  // The colour of each pixel: every stored ink value times the stored black.
  const TestJpegInfo ink = DecodeTestJpeg(original, JCS_CMYK);
  std::vector<std::uint8_t> rgb;
  for (std::size_t i = 0; i < ink.pixels.size(); i += 4)
    for (int c = 0; c < 3; ++c) rgb.push_back(static_cast<std::uint8_t>((ink.pixels[i + c] * ink.pixels[i + 3] + 127) / 255));
  const TestJpegInfo after = DecodeTestJpeg(ReadBytes(path));
  ASSERT_EQ(after.width, 30);
  ASSERT_EQ(after.height, 40);
  EXPECT_LT(MeanError(Turn(rgb, 40, 30, 3, true), after.pixels), kTurnTolerance);
}

}  // namespace
