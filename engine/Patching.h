// A collected file rebuilt from the player's copy and a patch instead of fetched whole: the
// patch is fetched into a temporary beside the file, checked against the list, and applied
// from mapped files into the same temporary a whole copy is unpacked into. Whatever goes wrong
// on this road, the caller fetches the whole copy instead.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/SpaceGuard.h"
#include "engine/Transfer.h"
#include "platform/TempFile.h"
#include "runtime/SysUtils.h"
#include "transfer/md5.h"

namespace korvath {

// The patch a file is to be rebuilt with, as the list names it.
struct TPatchPlan {
  // The mirrors' copies first, the server's last (FileAddresses); none when the whole copy is
  // fetched.
  std::vector<std::string> Addresses;
  std::string Md5;  // of the patch's bytes
  int64_t Size = 0;
};

// Why a patch was not used.
class EPatchUnusable : public Exception {
  using Exception::Exception;
};

// Fetches the patch from Address into PatchName (through Download, so a broken-off body is
// continued like any other) and checks it against the plan: mirrors are no more trusted for
// patches than for whole copies. Empty when the listed patch arrived; otherwise the reason, with
// nothing of the body kept, and Opened false when the address could not be opened. Raises what
// Download raises.
std::string FetchPatchFrom(platform::HttpSession* session, const std::string& address,
                           const TPatchPlan& plan, const std::string& patchName, TSpaceGuard& space,
                           const std::function<void(int64_t received)>& received,
                           const TRetryWait& wait, bool& opened);

struct TRebuilt {
  TDigestBytes Md5{};
  std::string Sha256;
};

// Rebuilds the file of Size bytes from Base (the player's file) and the patch in PatchName into
// Temporary, which it creates. Gauge hears the file gauge's maximum (the patch's size), the
// patch bytes applied so far, and 0 on every way out. Raises EPatchUnusable when a file cannot
// be mapped (the address space of a 32-bit client may have no room for a large one), EPatchError
// for a patch that does not rebuild Size bytes from this base, and what Gauge and Space raise.
TRebuilt RebuildFile(const std::string& base, const std::string& patchName,
                     platform::TempFile& temporary, int64_t size, const TGaugeReport& gauge,
                     TSpaceGuard& space);

}  // namespace korvath
