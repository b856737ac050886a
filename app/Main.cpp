// Korvath.exe: the launcher window. It is started in the game folder and takes no arguments.
#include <windows.h>

#include "app/UnitMain.h"
#include "options/Frm2.h"
#include "runtime/win32/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace korvath;
  try {
    Application.Initialize();
    Application.Title = "Korvath";
    // Further windows are made after the main window: they read the settings it loaded.
    Application.CreateForm(FMain);
    // Without its options dialog the launcher still updates and starts the game.
    Application.CreateOptionalForm(Form1);
    OptionsDialog = Form1;
    // The dialog gives the main window back its input; FMain is cleared once the loop ends.
    if (Form1 != nullptr)
      Form1->OnDone = [] {
        if (FMain != nullptr) FMain->OptionsDialogClosed();
      };
    Application.Run();
    // A run that is still active is abandoned: from here on its calls into the window do
    // nothing, even if closing the browsers lets one through.
    FMain = nullptr;
    Application.DestroyForms();
  } catch (const std::exception& error) {
    // Only a window that cannot be built at all ends up here.
    Application.ShowException(error.what());
    return 1;
  }
  return 0;
}
