// Downloads that outlive their run: a partial body is kept beside its file with a small record
// of where it came from, so that a later run asks the server only for the rest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvath {

// Where a partial body came from: the address, the server's validator of the whole body (its
// ETag, else its Last-Modified) and the whole body's length.
struct TResumeRecord {
  std::string Address;
  std::string Validator;
  int64_t Length = 0;
  bool operator==(const TResumeRecord&) const = default;
};

// The record as it is stored: one line each for address, validator and length.
std::string FormatResumeRecord(const TResumeRecord& record);
// Nothing when Text is not a record, as a record cut short by a killed run is not.
std::optional<TResumeRecord> ParseResumeRecord(const std::string& text);

// The record kept in FileName; nothing when there is none or it cannot be read as one.
std::optional<TResumeRecord> ReadResumeRecord(const std::string& fileName);
// Raises EInOutError when the record cannot be stored.
void WriteResumeRecord(const std::string& fileName, const TResumeRecord& record);

// A server that sends neither ETag nor Last-Modified still has its partial bodies continued: the
// record then carries the list entry's digest of the unpacked file as its validator, which no
// server sends and which only that version of the file has. The continuation is asked for with
// a plain range, and the digest check after unpacking tells whether the splice was right.
std::string DigestValidator(const std::string& listedMd5);
bool IsDigestValidator(const std::string& validator);

// Whether PartialSize bytes kept under Record may be continued with a request to Address: only
// at the address they came from, and only while some of the body is missing: nothing is left to
// ask for of a whole one, and the server's copy may have changed since it came.
bool MayResume(const std::optional<TResumeRecord>& record, const std::string& address,
               int64_t partialSize);

}  // namespace korvath
