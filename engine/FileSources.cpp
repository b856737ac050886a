#include "engine/FileSources.h"

#include <memory>

#include "list/Mirrors.h"
#include "list/PublishedNames.h"
#include "platform/Http.h"
#include "runtime/SysUtils.h"

namespace korvath {
namespace {

// A mirror's session: an error status in answer to the first request is no answer. Its page is
// never the file, and taking it as no answer moves on to the next address at once instead of
// storing and unpacking the page. A continuation's answer is judged by Download itself.
class TMirrorSession final : public platform::HttpSession {
 public:
  TMirrorSession(platform::HttpSession& inner, std::string& refused)
      : FInner(inner), FRefused(refused) {}

  std::unique_ptr<platform::HttpResponse> OpenUrl(const std::string& url,
                                                  const platform::HttpRequest& request) override {
    std::unique_ptr<platform::HttpResponse> response = FInner.OpenUrl(url, request);
    if (!response || request.From != 0 || !request.IfRange.empty()) return response;
    const long status = response->Answer().Status;
    if (status >= 200 && status <= 299) return response;
    FRefused = Format("answered with status %ld", status);
    return nullptr;
  }
  void DeleteUrlCacheEntry(const std::string& url) override { FInner.DeleteUrlCacheEntry(url); }

 private:
  platform::HttpSession& FInner;
  std::string& FRefused;
};

}  // namespace

std::string PublishedName(const std::string& listPath) {
  return published::BzipCopyName(listPath);
}

std::vector<std::string> FileAddresses(const std::string& published,
                                       const std::vector<std::string>& mirrors,
                                       const std::string& server) {
  std::vector<std::string> addresses;
  addresses.reserve(mirrors.size() + 1);
  for (const std::string& mirror : mirrors) addresses.push_back(mirror + published);
  addresses.push_back(server + published);
  return addresses;
}

std::vector<std::string> ReadMirrors(const TStringList& section,
                                     std::vector<std::string>& skipped) {
  std::vector<std::string> bases;
  // The reader's word for a section that is missing or empty.
  if (section.size() == 1 && section.front() == "FAIL") return bases;
  for (const std::string& line : section) {
    if (const std::string reason = RefusedMirrorReason(line); !reason.empty())
      skipped.push_back("the mirror '" + Printable(line) + "' is skipped: " + reason);
    else if (bases.size() == kMaxMirrors)
      skipped.push_back("the mirror '" + line + "' is skipped: only the first " +
                        std::to_string(kMaxMirrors) + " are used");
    else
      bases.push_back(MirrorBase(line));
  }
  return bases;
}

bool NoneAnswered(const std::vector<TFailedAddress>& failed) {
  for (const TFailedAddress& address : failed)
    if (address.Answered) return false;
  return true;
}

TFetchResult FetchFrom(platform::HttpSession* session, const std::string& url, bool mirror,
                       IDownloadSink& sink, const std::function<void(int64_t received)>& received,
                       int64_t maxBytes, std::string& why, const TRetryWait& wait) {
  if (!mirror || session == nullptr)
    return Download(session, url, sink, received, maxBytes, wait) ? TFetchResult::Fetched
                                                                  : TFetchResult::NotOpened;
  std::string refused;
  TMirrorSession strict(*session, refused);
  try {
    if (Download(&strict, url, sink, received, maxBytes, wait)) return TFetchResult::Fetched;
  } catch (const EDownloadTooLong& e) {
    why = e.Message();
    return TFetchResult::Failed;
  }
  why = refused.empty() ? "could not be opened" : refused;
  return refused.empty() ? TFetchResult::NotOpened : TFetchResult::Failed;
}

std::string NamingAddresses(const std::string& reason, const std::vector<TFailedAddress>& before,
                            const std::string& last) {
  if (before.empty()) return reason;
  std::string text = reason + "; addresses tried: ";
  for (const TFailedAddress& failed : before) text += failed.Address + " (" + failed.Why + "), ";
  return text + last;
}

}  // namespace korvath
