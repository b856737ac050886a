// Local file names from list paths. The list comes from a server, so a path is a claim to be
// checked, not a name to be trusted: anything that could leave the game folder, reach a device
// or be read differently by Windows and by POSIX is refused before any file is touched.
#include "list/LocalPath.h"

#include <array>
#include <string_view>
#include <vector>

#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/File.h"

namespace korvath {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

std::vector<std::string_view> Segments(std::string_view path) {
  std::vector<std::string_view> result;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      result.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return result;
}

// Windows opens a device, not a file, for these names, whatever extension follows and whatever
// blanks stand before the extension ("nul.txt", "CON .log"). The superscript digits are those of
// the ANSI code page, which Windows also reads as COM and LPT ports.
bool IsReservedDeviceName(std::string_view segment) {
  std::string_view stem = segment.substr(0, segment.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  std::string upper;
  for (char c : stem) upper += ToUpper(c);
  static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                             "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view name : kPlain)
    if (upper == name) return true;
  if (upper.size() != 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0))
    return false;
  const char digit = upper[3];
  return (IsDigit(digit) && digit != '0') || digit == '\xB9' || digit == '\xB2' || digit == '\xB3';
}

}  // namespace

std::string RefusedPathReason(const std::string& listPath) {
  if (listPath.empty()) return "empty path";
  for (char c : listPath) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 32 || code == 127) return "control character";
  }
  if (listPath.size() >= 4 && IsSeparator(listPath[0]) && IsSeparator(listPath[1]) &&
      (listPath[2] == '?' || listPath[2] == '.') && IsSeparator(listPath[3]))
    return "device path prefix";
  if (listPath.size() >= 2 && IsSeparator(listPath[0]) && IsSeparator(listPath[1]))
    return "UNC path";
  if (IsSeparator(listPath[0])) return "absolute path";
  if (listPath.size() >= 2 && IsAlpha(listPath[0]) && listPath[1] == ':') return "drive letter";
  // Beyond the drive letter a colon names an alternate data stream on Windows.
  if (listPath.find(':') != std::string::npos) return "':' in the path";
  // Windows cannot create these; elsewhere they would make a file the game never finds.
  const std::string_view kWindowsInvalid = "<>\"|?*";
  if (listPath.find_first_of(kWindowsInvalid) != std::string::npos)
    return "character not allowed in file names";
  for (std::string_view segment : Segments(listPath)) {
    if (segment.empty()) return "empty segment";
    if (segment == ".") return "'.' segment";
    if (segment == "..") return "'..' segment";
    // Windows drops a trailing dot or blank, so "a." and "a" would be one file there.
    if (segment.back() == '.') return "segment ending in a dot";
    if (segment.back() == ' ') return "segment ending in a blank";
    if (IsReservedDeviceName(segment)) return "reserved device name '" + std::string(segment) + "'";
  }
  return "";
}

std::string LocalPathOf(const std::string& workDir, const std::string& listPath) {
  // The usual case, a file already in place as the list spells it, costs one look.
  std::string written = workDir;
  bool firstSegment = true;
  for (std::string_view segment : Segments(listPath)) {
    if (!firstSegment) written += platform::kPathDelim;
    firstSegment = false;
    written += segment;
  }
  if (platform::ExistsAsWritten(written)) return written;

  std::string result = workDir;
  bool first = true;
  for (std::string_view segment : Segments(listPath)) {
    if (!first) result += platform::kPathDelim;
    first = false;
    // Matched against the folder built so far; once a level is missing, every deeper name
    // keeps the list's spelling because there is nothing to match.
    result += platform::ResolveCaseInsensitive(result, std::string(segment));
  }
  return result;
}

}  // namespace korvath
