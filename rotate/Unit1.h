// Form unit of the rotation tools: the main form with its creation and close
// handlers and the per-file routine that turns one JPEG file in place. Built
// twice: VORNEL_TURN_LEFT for Vornel_L, VORNEL_TURN_RIGHT for Vornel_R.
#pragma once
#include <any>
#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"

#include "toolbase/ToolForm.h"
#include "rotate/TurnCopy.h"

class TForm1 : public TToolForm {
 public:
  explicit TForm1(TComponent* AOwner) : TToolForm(AOwner) {}

  // OnCreate: the settings read and put into the window.
  void FormCreate(TObject* Sender);
  // OnClose: the window's state taken into the settings, which are written.
  void FormClose(TObject* Sender, TCloseAction& Action);
  // Turns the JPEG file FileName by a quarter (this build's direction) in place,
  // keeping its densities and last-write time; a close request follows every
  // path it rejects or finishes.
  void ConvFile(const std::string& FileName);
  // When set, called as ConvFile ends each of its steps, with the step's name:
  // "header", "load", "allocate", then for every band "decode", "turn" and, at
  // the bands that show progress, "messages"; then "write", "time", "release",
  // "close". The benchmark times the routine's steps with it; the programs
  // leave it empty.
  std::function<void(const char* Step)> OnStepDone;

  std::any MethodAddress(const std::string& name) override;

  // The direction this build turns.
  static constexpr TTurnRule TurnRule =
#if defined(VORNEL_TURN_RIGHT) && !defined(VORNEL_TURN_LEFT)
      TTurnRule::Right;
#elif defined(VORNEL_TURN_LEFT) && !defined(VORNEL_TURN_RIGHT)
      TTurnRule::Left;
#else
#error "define exactly one of VORNEL_TURN_LEFT and VORNEL_TURN_RIGHT"
#endif

 protected:
  void ProcessFile(const std::string& FileName) override { ConvFile(FileName); }

 private:
  void StepDone(const char* Step) {
    if (OnStepDone) OnStepDone(Step);
  }

  // A file this process wrote while a conversion was running: the file as it
  // was read and as it stood after the write (its time restored). A conversion
  // nested in another one (the same file dropped again meanwhile) leaves such a
  // record, so that the outer one can tell its own program's write from another
  // program's.
  struct TOwnWrite {
    TFileIdentity Read;
    TFileIdentity Written;
  };
  std::vector<TOwnWrite> FOwnWrites;  // kept while any conversion runs
  int FConversions = 0;               // conversions running, nested ones included

  // Whether the file at path is still the one read as read, or became what it is
  // now only through this process's own writes of that path which started from
  // it (one after another, nested writes included).
  bool UnchangedSinceRead(const std::string& path, const TFileIdentity& read) const;
};

// The program's main form, set by the program block.
extern TForm1* Form1;
