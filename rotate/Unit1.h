// Form unit of the rotation tools: the main form with its creation and close
// handlers and the per-file routine that turns one JPEG file in place. Built
// twice: VORNEL_TURN_LEFT for Vornel_L, VORNEL_TURN_RIGHT for Vornel_R.
#pragma once
#include <any>
#include <functional>
#include <string>

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
};

// The program's main form, set by the program block.
extern TForm1* Form1;
