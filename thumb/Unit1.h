// Form unit of the thumbnail tool Quillet: the main form with its creation and
// close handlers, the size and prefix controls, and the per-file routine that
// writes one prefixed thumbnail beside a JPEG file.
#pragma once
#include <any>
#include <string>

#include "toolbase/ToolForm.h"

class TForm1 : public TToolForm {
 public:
  // The tool's own controls (the shared ones come from TToolForm).
  TLabel* Label5 = nullptr;
  TLabel* Label6 = nullptr;
  TEdit* Edit2 = nullptr;
  TUpDown* UpDown2 = nullptr;
  TLabel* Label7 = nullptr;
  TEdit* Edit3 = nullptr;

  explicit TForm1(TComponent* AOwner) : TToolForm(AOwner) {}

  // OnCreate: the settings read and put into the window.
  void FormCreate(TObject* Sender);
  // OnClose: the window's state taken into the settings, which are written.
  void FormClose(TObject* Sender, TCloseAction& Action);
  // Writes the thumbnail of the JPEG file FileName beside it, named by the
  // prefix in Edit3, its long side the number in Edit2, with the file's
  // last-write time. Passes over a path that names no file; every other failure
  // leaves as an exception, with nothing written for this file.
  void MakeThumbnail(const std::string& FileName);

  std::any MethodAddress(const std::string& name) override;

 protected:
  void ProcessFile(const std::string& FileName) override { MakeThumbnail(FileName); }
  void BindFields() override;
};

// The program's main form, set by the program block.
extern TForm1* Form1;
