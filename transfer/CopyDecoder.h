// What the client asks of a published copy's decoder, whatever its format: a read-only stream of
// the file's content that says how far into the copy the content handed out reaches.
#pragma once

#include <cstdint>

#include "runtime/Classes.h"

namespace korvath {

class TCopyDecoder : public TStream {
 public:
  // Called on the reading thread as SourcePosition rises.
  TNotifyEvent OnProgress;
  // The copy's bytes behind what was handed out, as the source's position.
  virtual int64_t SourcePosition() const = 0;
};

}  // namespace korvath
