#include "engine/Resume.h"

#include <charconv>

#include "platform/Ascii.h"
#include "platform/File.h"
#include "runtime/SysUtils.h"

namespace korvath {
namespace {

// A record is three short lines; anything larger is not one.
constexpr int64_t kMaxRecordBytes = 64 * 1024;

// Takes the line at Pos, without its line feed; nothing when no line feed ends it.
std::optional<std::string> TakeLine(const std::string& text, size_t& pos) {
  const size_t end = text.find('\n', pos);
  if (end == std::string::npos) return std::nullopt;
  std::string line = text.substr(pos, end - pos);
  pos = end + 1;
  return line;
}

}  // namespace

std::string FormatResumeRecord(const TResumeRecord& record) {
  return record.Address + "\n" + record.Validator + "\n" + std::to_string(record.Length) + "\n";
}

std::optional<TResumeRecord> ParseResumeRecord(const std::string& text) {
  size_t pos = 0;
  const std::optional<std::string> address = TakeLine(text, pos);
  const std::optional<std::string> validator = address ? TakeLine(text, pos) : std::nullopt;
  const std::optional<std::string> length = validator ? TakeLine(text, pos) : std::nullopt;
  if (!length || pos != text.size() || address->empty() || validator->empty()) return std::nullopt;
  TResumeRecord record{*address, *validator, 0};
  const char* last = length->data() + length->size();
  const auto [end, error] = std::from_chars(length->data(), last, record.Length);
  if (error != std::errc() || end != last || length->empty() || record.Length <= 0)
    return std::nullopt;
  return record;
}

std::optional<TResumeRecord> ReadResumeRecord(const std::string& fileName) {
  platform::File file;
  int64_t size = 0;
  if (platform::File::Open(fileName, platform::Access::Read, platform::Share::Read,
                           platform::Disposition::OpenExisting, file) != 0 ||
      file.Size(size) != 0 || size > kMaxRecordBytes)
    return std::nullopt;
  std::string text(static_cast<size_t>(size), '\0');
  size_t done = 0;
  if (file.Read(text.data(), text.size(), done) != 0 || done != text.size()) return std::nullopt;
  return ParseResumeRecord(text);
}

void WriteResumeRecord(const std::string& fileName, const TResumeRecord& record) {
  const std::string text = FormatResumeRecord(record);
  platform::File file;
  size_t done = 0;
  if (const int code =
          platform::File::Open(fileName, platform::Access::Write, platform::Share::None,
                               platform::Disposition::CreateAlways, file))
    throw EInOutError(code);
  if (const int code = file.Write(text.data(), text.size(), done)) throw EInOutError(code);
}

std::string DigestValidator(const std::string& listedMd5) {
  return listedMd5.empty() ? std::string() : "list-md5:" + LowerCase(listedMd5);
}

bool IsDigestValidator(const std::string& validator) {
  return validator.rfind("list-md5:", 0) == 0;
}

bool MayResume(const std::optional<TResumeRecord>& record, const std::string& address,
               int64_t partialSize) {
  return record && record->Address == address && !record->Validator.empty() && partialSize > 0 &&
         partialSize < record->Length;
}

}  // namespace korvath
