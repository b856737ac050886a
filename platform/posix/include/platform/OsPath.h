// How POSIX systems spell local paths.
#pragma once

namespace korvath::platform {

inline constexpr char kPathDelim = '/';

}  // namespace korvath::platform
