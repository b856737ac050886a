#include "runtime/win32/Region.h"

#include <cstring>
#include <vector>

#include "runtime/SysUtils.h"

namespace korvath {

TGdiObject<HRGN> RegionWithoutKeyColour(const TBitmap& picture) {
  const COLORREF key = picture.Pixel(0, 0);
  std::vector<RECT> runs;
  for (int y = 0; y < picture.Height(); ++y) {
    int x = 0;
    while (x < picture.Width()) {
      while (x < picture.Width() && picture.Pixel(x, y) == key) ++x;
      const int start = x;
      while (x < picture.Width() && picture.Pixel(x, y) != key) ++x;
      if (x > start) runs.push_back(RECT{start, y, x, y + 1});
    }
  }
  RGNDATAHEADER header{};
  header.dwSize = sizeof(RGNDATAHEADER);
  header.iType = RDH_RECTANGLES;
  header.nCount = static_cast<DWORD>(runs.size());
  header.nRgnSize = static_cast<DWORD>(runs.size() * sizeof(RECT));
  header.rcBound = RECT{0, 0, picture.Width(), picture.Height()};
  std::vector<char> data(sizeof header + runs.size() * sizeof(RECT));
  std::memcpy(data.data(), &header, sizeof header);
  if (!runs.empty())
    std::memcpy(data.data() + sizeof header, runs.data(), runs.size() * sizeof(RECT));
  TGdiObject<HRGN> region(ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()),
                                          reinterpret_cast<const RGNDATA*>(data.data())));
  if (!region) throw EOutOfMemory();
  return region;
}

}  // namespace korvath
