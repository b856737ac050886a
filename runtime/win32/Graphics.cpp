#include "runtime/win32/Graphics.h"

#include <cstring>

#include "runtime/SysUtils.h"

namespace korvath {
namespace {

BITMAPINFO TopDown24(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top, as pictures are read
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

class TScreenDC {
 public:
  TScreenDC() : FDC(GetDC(nullptr)) {}
  ~TScreenDC() { ReleaseDC(nullptr, FDC); }
  TScreenDC(const TScreenDC&) = delete;
  TScreenDC& operator=(const TScreenDC&) = delete;
  HDC Get() const { return FDC; }

 private:
  HDC FDC;
};

}  // namespace

COLORREF ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color);
}

TBitmap::TBitmap(int width, int height) : FWidth(width), FHeight(height) {
  if (width <= 0 || height <= 0) throw Exception("Invalid bitmap size");
  BITMAPINFO info = TopDown24(width, height);
  void* bits = nullptr;
  FHandle.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!FHandle) throw EOutOfMemory();
  FBits = static_cast<uint8_t*>(bits);
  FStride = (width * 3 + 3) & ~3;
}

std::shared_ptr<const TBitmap> TBitmap::FromResource(HINSTANCE module, const std::string& name) {
  TGdiObject<HBITMAP> loaded(static_cast<HBITMAP>(
      LoadImageA(module, name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!loaded) throw Exception(Format("Bitmap resource %s not found", name.c_str()));
  BITMAP header{};
  GetObjectA(loaded.Get(), sizeof header, &header);
  std::shared_ptr<TBitmap> bitmap(new TBitmap(header.bmWidth, header.bmHeight));
  BITMAPINFO info = TopDown24(header.bmWidth, header.bmHeight);
  TScreenDC screen;
  if (GetDIBits(screen.Get(), loaded.Get(), 0, static_cast<UINT>(header.bmHeight), bitmap->FBits,
                &info, DIB_RGB_COLORS) != header.bmHeight)
    throw Exception(Format("Bitmap resource %s cannot be read", name.c_str()));
  return bitmap;
}

std::shared_ptr<const TBitmap> TBitmap::FromPixels(int width, int height,
                                                   const std::vector<uint32_t>& pixels) {
  std::shared_ptr<TBitmap> bitmap(new TBitmap(width, height));
  if (pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
    throw Exception("Pixel count does not match the bitmap size");
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t rgb =
          pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
      uint8_t* p = bitmap->FBits + y * bitmap->FStride + x * 3;
      p[0] = static_cast<uint8_t>(rgb);
      p[1] = static_cast<uint8_t>(rgb >> 8);
      p[2] = static_cast<uint8_t>(rgb >> 16);
    }
  return bitmap;
}

COLORREF TBitmap::Pixel(int x, int y) const {
  const uint8_t* p = FBits + y * FStride + x * 3;
  return RGB(p[2], p[1], p[0]);
}

void TBitmap::Draw(HDC dc, int x, int y) const {
  BITMAPINFO info = TopDown24(FWidth, FHeight);
  SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(FWidth), static_cast<DWORD>(FHeight), 0, 0, 0,
                    static_cast<UINT>(FHeight), FBits, &info, DIB_RGB_COLORS);
}

bool TBitmap::SamePixels(const TBitmap& other) const {
  if (FWidth != other.FWidth || FHeight != other.FHeight) return false;
  for (int y = 0; y < FHeight; ++y)
    if (std::memcmp(FBits + y * FStride, other.FBits + y * other.FStride,
                    static_cast<size_t>(FWidth) * 3) != 0)
      return false;
  return true;
}

void TPicture::Assign(const TPicture& other) {
  SetBitmap(other.FBitmap);
}

void TPicture::SetBitmap(std::shared_ptr<const TBitmap> bitmap) {
  FBitmap = std::move(bitmap);
  if (OnChange) OnChange();
}

bool TPicture::SameAs(const TPicture& other) const {
  if (FBitmap == other.FBitmap) return true;
  if (!FBitmap || !other.FBitmap) return false;
  return FBitmap->SamePixels(*other.FBitmap);
}

TGdiObject<HFONT> CreateFontFrom(const TFontDesc& font) {
  return TGdiObject<HFONT>(CreateFontA(font.Height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE,
                                       FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                       DEFAULT_PITCH | FF_DONTCARE, font.Name.c_str()));
}

}  // namespace korvath
