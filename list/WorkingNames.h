// The names the client gives the files it works on beside a game file (a listed path plus one of
// these suffixes), kept in one place: the client must never take a listed name for one of them,
// and korvath-publish refuses a release that lists one beside the file it belongs to.
#pragma once

#include <array>

namespace korvath::working {

struct TWorkingName {
  const char* Suffix;
  // What the client does under that name, for the publisher's message: "the client <Use> <path>
  // under this name".
  const char* Use;
};

inline constexpr const char* kDownload = ".bz2";       // the bzip2 copy while it downloads
inline constexpr const char* kResume = ".bz2.resume";  // the record of a kept partial download
inline constexpr const char* kPatch = ".patch";        // a patch while it is applied
inline constexpr const char* kUnpack = ".unpack";      // the new version while it is written
inline constexpr const char* kZstdDownload = ".zst";   // the zstd copy while it downloads
inline constexpr const char* kZstdResume = ".zst.resume";

// Every working name; one added to the client belongs here too.
inline constexpr std::array<TWorkingName, 6> kNames = {{
    {kDownload, "downloads"},
    {kResume, "keeps the record of a partial download of"},
    {kPatch, "keeps a patch for"},
    {kUnpack, "unpacks"},
    {kZstdDownload, "downloads"},
    {kZstdResume, "keeps the record of a partial download of"},
}};

}  // namespace korvath::working
