#include "toolbase/ToolForm.h"

#include <cstdint>
#include <string_view>

#include "platform/CodePage.h"

namespace {

bool IsPathDelimAt(const std::string& s, std::size_t index) {
  return IsDelimiter(std::string_view(&PathRules().PathDelim, 1), s, index);
}

bool IsDriveDelimAt(const std::string& s, std::size_t index) {
  const char drive = PathRules().DriveDelim;
  return drive != 0 && IsDelimiter(std::string_view(&drive, 1), s, index);
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A drive alone: exactly two characters, the second the drive delimiter.
bool IsDrive(const std::string& s) { return s.size() == 2 && IsDriveDelimAt(s, 1); }

// The folder part of a path for the expansion: up to the last separator or
// drive delimiter; the separator itself stays when it is the root (the first
// character, or right behind a drive delimiter or another separator).
std::string DirectoryPart(const std::string& s) {
  std::string delims(1, PathRules().PathDelim);
  if (PathRules().DriveDelim != 0) delims += PathRules().DriveDelim;
  const std::size_t last = LastDelimiter(delims, s);
  if (last == std::string::npos) return {};
  if (s[last] == PathRules().PathDelim && last > 0 && !IsDriveDelimAt(s, last - 1) &&
      !IsPathDelimAt(s, last - 1)) {
    return s.substr(0, last);
  }
  return s.substr(0, last + 1);
}

// Ends a search however the expansion leaves.
class TSearchGuard {
 public:
  TSearchGuard(const TLongPathSearch& search, TSearchRec& rec) : FSearch(search), FRec(rec) {}
  ~TSearchGuard() {
    if (FSearch.FindClose) FSearch.FindClose(FRec);
  }
  TSearchGuard(const TSearchGuard&) = delete;
  TSearchGuard& operator=(const TSearchGuard&) = delete;

 private:
  const TLongPathSearch& FSearch;
  TSearchRec& FRec;
};

}  // namespace

TLongPathSearch RuntimeLongPathSearch() {
  return TLongPathSearch{
      [](const std::string& path, Integer attr, TSearchRec& F) { return FindFirst(path, attr, F); },
      [](TSearchRec& F) { FindClose(F); }};
}

void ExpandLongFilePathName(const std::string& Path, std::string& Result,
                            const TLongPathSearch& search) {
  if (Path.empty()) return;
  Result = Path;
  if (IsPathDelimAt(Result, Result.size() - 1)) Result.pop_back();
  if (IsDrive(Result)) return;

  if (Result.empty() || !search.FindFirst) return;  // the empty name finds nothing
  TSearchRec F;
  const Integer found = search.FindFirst(Result, faAnyFile, F);
  TSearchGuard guard(search, F);
  if (found != 0) return;

  const std::string dir = DirectoryPart(Result);
  // A root that the search reports as an entry of itself would recurse without
  // end; it is kept as it stands.
  if (dir.size() >= Result.size()) return;
  std::string expandedDir;
  ExpandLongFilePathName(dir, expandedDir, search);
  Result = expandedDir + PathRules().PathDelim + F.Name;
}

bool IsAbsoluteFilePath(const std::string& path) {
  if (IsPathDelimAt(path, 0)) return true;
  return path.size() >= 3 && IsAsciiLetter(path[0]) && IsDriveDelimAt(path, 1) &&
         IsPathDelimAt(path, 2);
}

std::string AbsoluteParamPath(const std::string& param, const std::string& folder) {
  if (param.empty() || folder.empty() || IsAbsoluteFilePath(param)) return param;
  // Relative to a drive's own current folder: only that drive could complete it.
  if (param.size() >= 2 && IsAsciiLetter(param[0]) && IsDriveDelimAt(param, 1)) return param;
  if (IsPathDelimAt(folder, folder.size() - 1)) return folder + param;
  return folder + PathRules().PathDelim + param;
}

SmallInt UpDownPosition(Integer value) { return static_cast<SmallInt>(static_cast<std::uint16_t>(value)); }

TToolForm::TToolForm(TComponent* AOwner) : TForm(AOwner) {}

TToolForm::~TToolForm() = default;

void TToolForm::FormActivate(TObject* /*Sender*/) {
  const int count = ParamCount();
  if (count == 0) return;
  const std::string folder = GetCurrentDir();
  std::string path;
  for (int i = 1; i <= count; ++i) {
    const std::string param = AbsoluteParamPath(ParamStr(i), folder);
    if (IsAbsoluteFilePath(param)) {
      GetLongFilePathName(param, path);
    } else {
      path = param;  // no folder to complete it: handed on as given
    }
    ProcessFile(path);
  }
  if (CheckBox1->Checked()) Close();
}

void TToolForm::ShowToolSettings(Integer PosTop, Integer PosLeft, Integer ModeClose, Integer JpegComp) {
  SetLeft(PosLeft);
  SetTop(PosTop);
  CheckBox1->SetChecked(ModeClose != 0);
  UpDown1->SetPosition(UpDownPosition(JpegComp));
}

void TToolForm::TakeToolSettings(Integer& PosTop, Integer& PosLeft, Integer& ModeClose, Integer& JpegComp) {
  PosLeft = Left();
  PosTop = Top();
  ModeClose = CheckBox1->Checked() ? 1 : 0;
  JpegComp = StrToInt(Edit1->Text());
}

void TToolForm::Label2Click(TObject* /*Sender*/) { MailAndHP1->OpenHomePage(); }

void TToolForm::Label3Click(TObject* /*Sender*/) { MailAndHP1->SendMail(); }

void TToolForm::FileDrop1FileDrop(TObject* /*Sender*/, Integer Num, TStrings* Files,
                                  Integer /*X*/, Integer /*Y*/) {
  if (Num == 0) return;
  for (Integer i = 0; i < Num; ++i) {
    // A copy: the routine lets messages run, and the list is the drop target's.
    const std::string path = Files->Strings(i);
    ProcessFile(path);
  }
  if (CheckBox1->Checked()) Close();
}

void TToolForm::GetLongFilePathName(const std::string& path, std::string& result) {
  ExpandLongFilePathName(path, result, RuntimeLongPathSearch());
}

std::any TToolForm::MethodAddress(const std::string& name) {
  VORNEL_PUBLISH(FormActivate);
  VORNEL_PUBLISH(Label2Click);
  VORNEL_PUBLISH(Label3Click);
  VORNEL_PUBLISH(FileDrop1FileDrop);
  VORNEL_PUBLISH(GetLongFilePathName);
  return TForm::MethodAddress(name);
}

void TToolForm::BindFields() {
  VORNEL_BIND(Edit1);
  VORNEL_BIND(Label1);
  VORNEL_BIND(UpDown1);
  VORNEL_BIND(Label2);
  VORNEL_BIND(Label3);
  VORNEL_BIND(MailAndHP1);
  VORNEL_BIND(ProgressBar1);
  VORNEL_BIND(FileDrop1);
  VORNEL_BIND(CheckBox1);
  TForm::BindFields();
}
