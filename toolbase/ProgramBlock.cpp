// The program block of all three tools (one source): each program is built with
// its title, its form unit and its icon.
//   VORNEL_TITLE      "Vornel_L"
//   VORNEL_FORM_UNIT  "rotate/Unit1.h"
//   VORNEL_ICON_FILE  "rotate/Vornel_L.xpm"
//   VORNEL_ICON       Vornel_L_xpm
#include <cstdio>
#include <exception>

#include "classlib/Forms.h"
#include VORNEL_FORM_UNIT
#include VORNEL_ICON_FILE

int main() {
  try {
    Application->Initialize();
    Application->SetTitle(VORNEL_TITLE);
    Application->CreateForm(Form1);
    Form1->SetIconXpm(VORNEL_ICON);
    Application->Run();
  } catch (const std::exception& e) {
    // Start-up failed (a broken form resource, no display): say why and end.
    std::fprintf(stderr, "%s: %s\n", VORNEL_TITLE, e.what());
    return 1;
  }
  return 0;
}
