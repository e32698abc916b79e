// Program block of Quillet: the rotation tools' start-up with this tool's form
// unit and icon.
#include <cstdio>
#include <exception>

#include "classlib/Forms.h"
#include "thumb/Quillet.xpm"
#include "thumb/Unit1.h"

int main() {
  try {
    Application->Initialize();
    Application->SetTitle(VORNEL_TITLE);
    Application->CreateForm(Form1);
    Form1->SetIconXpm(Quillet_xpm);
    Application->Run();
  } catch (const std::exception& e) {
    // Start-up failed (a broken form resource, no display): say why and end.
    std::fprintf(stderr, "%s: %s\n", VORNEL_TITLE, e.what());
    return 1;
  }
  return 0;
}
