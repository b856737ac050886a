// How Windows spells local paths.
#pragma once

namespace korvath::platform {

inline constexpr char kPathDelim = '\\';

}  // namespace korvath::platform
