// What the fuzz targets share: a check that stops the run with a message (the targets are also
// built without assertions), splitting one input into parts, and a scratch file per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

namespace korvath::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  std::abort();
}

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::korvath::fuzz::Fail(#condition, __FILE__, __LINE__))

// The input split at every Separator byte, into at most Parts parts (the last takes the rest).
inline std::vector<std::string> SplitInput(const uint8_t* data, size_t size, char separator,
                                           size_t parts) {
  std::vector<std::string> result(1);
  for (size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == separator && result.size() < parts)
      result.emplace_back();
    else
      result.back() += c;
  }
  result.resize(parts);
  return result;
}

// Reads Stream in pieces of varying size (Seed picks them, up to Piece's size) onto Bytes until
// its end or past Cap bytes. AfterPiece, if any, is called after each piece. Exceptions escape,
// with Bytes holding all that came before them.
template <class Stream, class AfterPiece = std::nullptr_t>
void ReadInPieces(Stream& stream, uint32_t seed, size_t cap, std::vector<char>& piece,
                  std::string& bytes, AfterPiece afterPiece = nullptr) {
  while (bytes.size() <= cap) {
    seed = seed * 1103515245u + 12345u;
    const int32_t want = 1 + static_cast<int32_t>((seed >> 8) % piece.size());
    const int32_t got = stream.Read(piece.data(), want);
    FUZZ_CHECK(got >= 0 && got <= want);
    if (got == 0) break;
    bytes.append(piece.data(), static_cast<size_t>(got));
    if constexpr (!std::is_same_v<AfterPiece, std::nullptr_t>) afterPiece();
  }
}

// A file of this process's own in memory-backed storage where there is some: the targets
// rewrite it on every input.
std::string ScratchPath(const std::string& name);
void WriteScratch(const std::string& path, const std::string& bytes);
std::string ReadScratch(const std::string& path);

}  // namespace korvath::fuzz
