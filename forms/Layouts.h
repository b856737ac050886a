// The stored layouts of the program's windows; their pictures are BITMAP resources of the
// program made from the art script in forms/art.
#pragma once

#include "runtime/win32/Layout.h"

namespace korvath {

// The main window TFMain: the skin, the gauges, labels and image buttons, the frame of the news
// pane, the two browser panels and the start timer, bottom first.
extern const TFormDesc FMainLayout;

// The options dialog TForm1: the hidden background picture, the labels, the Apply and Cancel
// buttons, the four lists and the three check boxes, bottom first.
extern const TFormDesc Form1Layout;

}  // namespace korvath
