#include "transfer/Misc.h"

#include "platform/File.h"
#include "platform/Shell.h"
#include "runtime/SysUtils.h"

namespace korvath {

TStringList SplitFromEnd(const std::string& line, const std::string& delimiters) {
  TStringList result;
  size_t end = line.size();  // Rest is line[0, end)
  while (true) {
    const size_t p = end == 0 ? std::string::npos : line.find_last_of(delimiters, end - 1);
    const size_t pieceStart = p == std::string::npos ? 0 : p + 1;
    if (end > pieceStart) result.push_back(line.substr(pieceStart, end - pieceStart));
    if (p == std::string::npos) break;
    end = p;
  }
  return result;
}

std::string ReplaceAll(const std::string& source, const std::string& oldText,
                       const std::string& newText) {
  if (oldText.empty()) return source;
  std::string result;
  size_t from = 0;
  for (size_t p = source.find(oldText); p != std::string::npos; p = source.find(oldText, from)) {
    result.append(source, from, p - from);
    result += newText;
    from = p + oldText.size();
  }
  result.append(source, from, std::string::npos);
  return result;
}

std::string Printable(const std::string& text) {
  std::string result = text;
  for (char& c : result)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  return result;
}

std::string ConsoleEscaped(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 32 && byte != 127) {
      result += c;
      continue;
    }
    result += "\\x";
    result += kHex[byte >> 4];
    result += kHex[byte & 15];
  }
  return result;
}

bool DeleteDirectory(const std::string& path) {
  if (!platform::DirectoryExists(path)) return false;
  return platform::DeleteTree(path);
}

void RunProgram(const std::string& commandLine) {
  const size_t cut = commandLine.find_last_of(platform::FolderEndChars());
  const std::string folder =
      cut == std::string::npos ? std::string() : commandLine.substr(0, cut + 1);
  if (const int error = platform::SetCurrentDir(folder)) throw EInOutError(error);
  platform::StartHidden(commandLine);
}

void WriteUpdateScript(const std::string& programName) {
  std::string folder = platform::GetCurrentDir();
  // A drive's root is reported with its separator; the script's paths add their own.
  if (!folder.empty() && folder.back() == platform::kPathDelim) folder.pop_back();
  // The script is for the Windows command interpreter: its own paths always use "\", and every
  // line ends with CR LF. The interpreter expands "%" even inside quotes, so the folder's own
  // "%" are doubled; its "&" and blanks are harmless between the quotes.
  const std::string quotable = ReplaceAll(folder, "%", "%%");
  std::string script = "@echo off\r\n";
  script += "taskkill /IM " + programName + " /F\r\n";
  script += "ping 127.0.0.1 -n 3 > nul\r\n";
  if (platform::FileExists(folder + platform::kPathDelim + programName + ".New")) {
    script += "del \"" + quotable + "\\files.lst\"\r\n";
    script += "del \"" + quotable + "\\" + programName + "\"\r\n";
    script += "rename " + programName + ".New " + programName + "\r\n";
  }
  script += "start " + programName + "\r\n";
  script += "del \"Update.bat\"\r\n";

  platform::File file;
  if (const int error = platform::File::Open(folder + platform::kPathDelim + "Update.bat",
                                             platform::Access::Write, platform::Share::None,
                                             platform::Disposition::CreateAlways, file))
    throw EInOutError(error);
  size_t written = 0;
  if (const int error = file.Write(script.data(), script.size(), written)) throw EInOutError(error);
}

}  // namespace korvath
