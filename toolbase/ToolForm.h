// ToolForm unit: what the main forms of the rotation tools and the thumbnail
// tool have in common — the components both resources declare, the batch
// intake (command line at the first activation, drops), the two link labels and
// the long-path expansion. Each tool derives its TForm1 from TToolForm and
// overrides ProcessFile with its per-file routine (ConvFile, MakeThumbnail).
//
//   class TForm1 : public TToolForm {
//    public:
//     explicit TForm1(TComponent* AOwner) : TToolForm(AOwner) {}
//     void ConvFile(const std::string& FileName);
//     std::any MethodAddress(const std::string& name) override {
//       VORNEL_PUBLISH(ConvFile);
//       return TToolForm::MethodAddress(name);     // FormActivate, Label2Click, ...
//     }
//    protected:
//     void ProcessFile(const std::string& FileName) override { ConvFile(FileName); }
//     void BindFields() override { TToolForm::BindFields(); /* own fields */ }
//   };
#pragma once
#include <any>
#include <functional>
#include <string>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "classlib/SysUtils.h"
#include "imaging/MailHP.h"
#include "imaging/NewCtrls.h"

// The directory search the long-path expansion uses: the runtime's FindFirst and
// FindClose by default; tests put a fake file system in their place (for
// instance one with "\" and ":" paths in Shift-JIS).
struct TLongPathSearch {
  std::function<Integer(const std::string& path, Integer attr, TSearchRec& F)> FindFirst;
  std::function<void(TSearchRec& F)> FindClose;
};
// The runtime's search.
TLongPathSearch RuntimeLongPathSearch();

// Expands an absolute path, component by component, to the names the file system
// stores (long form, stored letter case), by the platform's path rules
// (PathRules()). An empty path leaves Result as it was; a path that does not
// exist comes back unchanged but for a trailing separator.
void ExpandLongFilePathName(const std::string& Path, std::string& Result,
                            const TLongPathSearch& search);

// Whether path is absolute by the platform's path rules: it begins with a
// separator, or (where there are drives) with a drive letter, the drive
// delimiter and a separator.
bool IsAbsoluteFilePath(const std::string& path);
// A command-line parameter made absolute against folder (the current folder),
// so that the long-path expansion names the file meant; absolute paths and empty
// ones come back unchanged.
std::string AbsoluteParamPath(const std::string& param, const std::string& folder);

// What an up-down control holds of a stored number: its low 16 bits, taken as a
// signed number.
SmallInt UpDownPosition(Integer value);

class TToolForm : public TForm {
 public:
  // Component fields, bound by name from the form resource.
  TEdit* Edit1 = nullptr;
  TLabel* Label1 = nullptr;
  TUpDown* UpDown1 = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TMailAndHP* MailAndHP1 = nullptr;
  TProgressBar* ProgressBar1 = nullptr;
  TFileDrop* FileDrop1 = nullptr;
  TCheckBox* CheckBox1 = nullptr;

  explicit TToolForm(TComponent* AOwner);
  ~TToolForm() override;

  // OnActivate (reported once per run): each command-line parameter, made
  // absolute and expanded, to the per-file routine; then the close when
  // CheckBox1 is checked. Nothing at all when there is no parameter.
  void FormActivate(TObject* Sender);
  // Label2's click: the homepage. Label3's click: a new mail.
  void Label2Click(TObject* Sender);
  void Label3Click(TObject* Sender);
  // OnFileDrop: the paths at 0..Num-1 of Files, unexpanded, to the per-file
  // routine; then the close when CheckBox1 is checked. Nothing when Num is 0.
  void FileDrop1FileDrop(TObject* Sender, Integer Num, TStrings* Files, Integer X, Integer Y);
  // The long form of an absolute path (see ExpandLongFilePathName), through
  // the form's search.
  void GetLongFilePathName(const std::string& path, std::string& result);

  // The four settings every tool keeps, put into the window (position, CheckBox1,
  // UpDown1) and taken back from it (Edit1's text, through StrToInt).
  void ShowToolSettings(Integer PosTop, Integer PosLeft, Integer ModeClose, Integer JpegComp);
  void TakeToolSettings(Integer& PosTop, Integer& PosLeft, Integer& ModeClose, Integer& JpegComp);

  std::any MethodAddress(const std::string& name) override;

 protected:
  // The tool's per-file routine, called once for every path of a batch.
  virtual void ProcessFile(const std::string& FileName) = 0;
  void BindFields() override;
};
