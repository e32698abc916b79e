// Common controls: the up-down control and the progress bar.
#pragma once
#include <memory>
#include <string>

#include "classlib/Controls.h"
#include "classlib/StdCtrls.h"

// Up and down arrows that step a 16-bit signed Position by 1 within Min..Max,
// without wrap-around, and write it as decimal text into the associated edit
// whenever it is set or stepped. The Up and Down arrow keys in that edit step
// it as well. The edit's text stays free; a step starts from the number the
// edit holds when it holds one. A Position outside Min..Max is clamped.
// Published: Associate (an edit of the form, by name), Min, Max, Position,
// plus TWinControl's. Defaults: Min 0, Max 100, Position 0. The up-down stays
// where the resource places it (it does not move itself beside the edit).
class TUpDown : public TWinControl {
 public:
  explicit TUpDown(TComponent* AOwner);
  ~TUpDown() override;

  TWinControl* Associate() const { return FAssociate; }
  void SetAssociate(TWinControl* value);
  SmallInt Min() const { return FMin; }
  void SetMin(SmallInt value);
  SmallInt Max() const { return FMax; }
  void SetMax(SmallInt value);
  SmallInt Position() const { return FPosition; }
  void SetPosition(SmallInt value);

  // One step up (toward Max) or down, as the arrows and arrow keys do.
  void StepUp() { Step(+1); }
  void StepDown() { Step(-1); }

  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;
  void Loaded() override;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void BoundsChanged() override;

 private:
  TWinControl* FAssociate = nullptr;
  SmallInt FMin = 0;
  SmallInt FMax = 100;
  SmallInt FPosition = 0;
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
  void Step(int direction);
  void WriteAssociate();
  SmallInt Clamp(int value) const;
};

// Progress of a job: Position within Min..Max (clamped). Published: Min, Max,
// Position, plus TWinControl's. Defaults: Min 0, Max 100, Position 0.
class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* AOwner);
  Integer Min() const { return FMin; }
  void SetMin(Integer value);
  Integer Max() const { return FMax; }
  void SetMax(Integer value);
  Integer Position() const { return FPosition; }
  void SetPosition(Integer value);
  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;

 private:
  Integer FMin = 0;
  Integer FMax = 100;
  Integer FPosition = 0;
  void Apply();
};

VORNEL_REGISTER_CLASS(TUpDown);
VORNEL_REGISTER_CLASS(TProgressBar);
