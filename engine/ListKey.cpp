#include "engine/ListKey.h"

#ifndef KORVATH_LIST_PUBLIC_KEY
#error "KORVATH_LIST_PUBLIC_KEY must be defined by the build (empty for unsigned lists)"
#endif

namespace korvath {

std::string BuiltInListPublicKey() {
  return KORVATH_LIST_PUBLIC_KEY;
}

}  // namespace korvath
