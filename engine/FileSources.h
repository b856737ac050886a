// Where a game file is fetched from: the list's mirrors first, in the list's order, and the update
// server last, the same published name below each. Mirrors are untrusted for content (the digests
// decide), so a copy one of them serves wrongly is fetched from the next address; only when every
// address failed does the file fail.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/Transfer.h"
#include "transfer/Misc.h"

namespace korvath {

// The name a listed file's compressed copy has below every base: the path with "/" and ".bz2".
std::string PublishedName(const std::string& listPath);

// Every address of Published (a name below a base) in the order it is tried: below each mirror,
// then below Server. The one place that says which addresses a file has.
std::vector<std::string> FileAddresses(const std::string& published,
                                       const std::vector<std::string>& mirrors,
                                       const std::string& server);

// The list's mirrors section as the run uses it: the bases of the addresses a client takes, the
// first kMaxMirrors of them. Every line left out goes to Skipped, with its reason.
std::vector<std::string> ReadMirrors(const TStringList& section, std::vector<std::string>& skipped);

// One address of a file that failed, and how.
struct TFailedAddress {
  std::string Address;
  std::string Why;
  bool Answered = false;  // a server answered there (the address could be opened)
};

// True when no server answered at any of the addresses: the network or every server is gone.
bool NoneAnswered(const std::vector<TFailedAddress>& failed);

enum class TFetchResult { Fetched, NotOpened, Failed };
// Fetches Url into Sink. The update server's address (Mirror false) is taken exactly as
// Download takes it. A mirror's is stricter: an answer to the first request with a status other
// than 2xx, or a body past MaxBytes, is Failed with the reason in Why and nothing of it kept,
// and an address that cannot be opened is NotOpened. Local errors raise as Download raises them.
TFetchResult FetchFrom(platform::HttpSession* session, const std::string& url, bool mirror,
                       IDownloadSink& sink, const std::function<void(int64_t received)>& received,
                       int64_t maxBytes, std::string& why, const TRetryWait& wait = {});

// A file's failure as the log shows it: Reason alone for a file fetched from one address;
// otherwise followed by every address tried, those that failed before with their reasons.
std::string NamingAddresses(const std::string& reason, const std::vector<TFailedAddress>& before,
                            const std::string& last);

}  // namespace korvath
