// Program block of Vornel_L and Vornel_R (one source, built twice).
#include <cstdio>
#include <exception>

#include "classlib/Forms.h"
#include "rotate/Unit1.h"

#if defined(VORNEL_TURN_RIGHT)
#include "rotate/Vornel_R.xpm"
#define VORNEL_ICON Vornel_R_xpm
#else
#include "rotate/Vornel_L.xpm"
#define VORNEL_ICON Vornel_L_xpm
#endif

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
