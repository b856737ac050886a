#include "list/FileEntry.h"

#include "list/LstFile.h"
#include "platform/Ascii.h"
#include "platform/Integer.h"
#include "runtime/SysUtils.h"
#include "transfer/Misc.h"

namespace korvath {

TFileEntry SplitFileEntry(const std::string& entry) {
  const TStringList fields = SplitFromEnd(entry, "|");
  if (fields.size() < 3)
    throw EStringListError(
        Format("The update list's entry '%s' has fewer than three fields", entry.c_str()));
  TFileEntry result{fields[2], fields[1], fields[0], {}, {}};
  for (size_t i = 3; i < fields.size(); ++i) {
    result.Front.push_back(fields[i]);
    if (fields[i].rfind(kIntegrityPrefix, 0) != 0) continue;
    if (!result.Integrity.empty()) result.Integrity += "|";
    result.Integrity += fields[i];
  }
  return result;
}

bool ParseIntegrity(const std::string& field, TIntegrity& integrity) {
  constexpr size_t kHexDigits = 64, kMaxSizeDigits = 18;
  const size_t prefix = std::string(kIntegrityPrefix).size();
  const size_t colon = prefix + kHexDigits;
  if (field.rfind(kIntegrityPrefix, 0) != 0 || field.size() <= colon + 1 || field[colon] != ':' ||
      field.size() - colon - 1 > kMaxSizeDigits)
    return false;
  TIntegrity result;
  result.Known = true;
  for (size_t i = prefix; i < colon; ++i) {
    if (!IsHexDigit(field[i])) return false;
    result.Sha256 += ToLower(field[i]);
  }
  for (size_t i = colon + 1; i < field.size(); ++i) {
    if (!IsDigit(field[i])) return false;
    result.Size = result.Size * 10 + (field[i] - '0');
  }
  integrity = result;
  return true;
}

TIntegrity EntryIntegrity(const TFileEntry& entry) {
  TIntegrity integrity;
  if (!entry.Integrity.empty() && !ParseIntegrity(entry.Integrity, integrity))
    throw EConvertError(
        Format("malformed integrity field '%s' (not sha256=<64 hex digits>:<bytes>)",
               Printable(entry.Integrity).c_str()));
  return integrity;
}

std::string IntegrityField(const std::string& sha256Hex, int64_t size) {
  return kIntegrityPrefix + sha256Hex + ":" + std::to_string(size);
}

int32_t EntrySize(const std::string& sizeField) {
  int32_t size = 0;
  if (!ParseInt32(sizeField, 10, false, size))
    throw EConvertError(Format("'%s' is not a valid size in bytes", sizeField.c_str()));
  return size;
}

std::string ListKey(const std::string& listPath) {
  std::string key = listPath;
  for (char& c : key) {
    if (c == '/') c = '\\';
    c = ToLower(c);
  }
  return key;
}

}  // namespace korvath
