// The shape of a skinned window: everything of its picture but the pixels of the key colour,
// the colour of the picture's top-left pixel.
#pragma once

#include <windows.h>

#include "runtime/win32/Graphics.h"

namespace korvath {

// The region of Picture's rectangle without every pixel that has exactly the key colour. Each
// row's runs of kept pixels become one rectangle each, which gives the same region as taking
// the key pixels away one by one.
TGdiObject<HRGN> RegionWithoutKeyColour(const TBitmap& picture);

}  // namespace korvath
