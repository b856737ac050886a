// The public key that this build checks the update list's signature with, as the build was
// given it; empty when the build takes unsigned lists.
#pragma once

#include <string>

namespace korvath {

// SECURITY: deliberately no environment override. The server address may be pointed elsewhere
// at run time; if the key could be too, one instruction to set both would switch signing off.
std::string BuiltInListPublicKey();

}  // namespace korvath
