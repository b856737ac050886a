// Colours, GDI object owners and pictures of the window toolkit. Pictures are 24-bit bitmaps
// taken from the program's resources; a bitmap never changes once made, so copies share it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Handle.h"

namespace korvath {

// A colour as layouts store it: 0x00BBGGRR, or a system colour with the high bit set.
using TColor = int32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBtnFace = static_cast<TColor>(0x80000000u | COLOR_BTNFACE);
inline constexpr TColor clWindowText = static_cast<TColor>(0x80000000u | COLOR_WINDOWTEXT);

COLORREF ColorToRGB(TColor color);

// Brushes, fonts, regions and bitmaps are all freed by DeleteObject.
template <class Handle>
struct TGdiTraits {
  using Type = Handle;
  static constexpr Handle Empty() noexcept { return nullptr; }
  static void Close(Handle handle) noexcept { DeleteObject(handle); }
};

// One owned GDI object (brush, font, region, bitmap), deleted with the owner. Release gives up
// ownership, for a handle the system takes over (a window region).
template <class Handle>
using TGdiObject = platform::UniqueHandle<TGdiTraits<Handle>>;

// A 24-bit top-down device-independent bitmap, read-only once made.
class TBitmap {
 public:
  // The BITMAP resource Name of Module; raises Exception when there is none.
  static std::shared_ptr<const TBitmap> FromResource(HINSTANCE module, const std::string& name);
  // Width x Height pixels given row by row as 0x00RRGGBB.
  static std::shared_ptr<const TBitmap> FromPixels(int width, int height,
                                                   const std::vector<uint32_t>& pixels);

  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  HBITMAP Handle() const { return FHandle.Get(); }
  // The pixel's colour as a COLORREF (0x00BBGGRR).
  COLORREF Pixel(int x, int y) const;
  // Draws the whole bitmap with its top-left corner at (X, Y), unscaled and opaque.
  void Draw(HDC dc, int x, int y) const;
  bool SamePixels(const TBitmap& other) const;

 private:
  TBitmap(int width, int height);
  int FWidth;
  int FHeight;
  int FStride = 0;
  uint8_t* FBits = nullptr;  // owned by the DIB section
  TGdiObject<HBITMAP> FHandle;
};

// What a picture control shows: empty, or one bitmap. Assigning copies the picture; since
// bitmaps never change, the copy shares the bitmap.
class TPicture {
 public:
  TPicture() = default;
  explicit TPicture(std::shared_ptr<const TBitmap> bitmap) : FBitmap(std::move(bitmap)) {}
  TPicture(const TPicture& other) : FBitmap(other.FBitmap) {}
  TPicture& operator=(const TPicture& other) {
    Assign(other);
    return *this;
  }

  void Assign(const TPicture& other);
  void SetBitmap(std::shared_ptr<const TBitmap> bitmap);
  const TBitmap* Bitmap() const { return FBitmap.get(); }
  bool Empty() const { return FBitmap == nullptr; }
  int Width() const { return FBitmap ? FBitmap->Width() : 0; }
  int Height() const { return FBitmap ? FBitmap->Height() : 0; }
  // Same content: both empty, or bitmaps of the same pixels.
  bool SameAs(const TPicture& other) const;

  // Told after every change; the control that shows the picture repaints.
  std::function<void()> OnChange;

 private:
  std::shared_ptr<const TBitmap> FBitmap;
};

// The font a form hands to its labels: name, character height in pixels (negative, as the
// layouts give it), colour and boldness.
struct TFontDesc {
  std::string Name = "MS Sans Serif";
  int Height = -11;
  TColor Color = clWindowText;
  bool Bold = false;
};

TGdiObject<HFONT> CreateFontFrom(const TFontDesc& font);

}  // namespace korvath
