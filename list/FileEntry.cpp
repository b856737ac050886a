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
  return TFileEntry{fields[2], fields[1], fields[0]};
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
