// Every status text a run shows, in one place. The window and the console show them as they
// stand; nothing reads them back to learn how a run went (GFilesThread::Outcome says that).
#pragma once

namespace korvath {

inline constexpr const char* kDownloadingList = "Downloading updates list";
inline constexpr const char* kCheckingFiles = "Checking files";
// Followed by the file's listed path.
inline constexpr const char* kChecking = "Checking ";
inline constexpr const char* kDownloading = "Downloading ";
inline constexpr const char* kExtracting = "Extracting ";
inline constexpr const char* kPatching = "Patching ";
inline constexpr const char* kApplyingHosts = "Applying changes to Hosts";
inline constexpr const char* kHostsChanged = "Hosts file chamged";
// Final status texts of a run.
inline constexpr const char* kUpdateFailed = "Update Failed";
inline constexpr const char* kAllUpdated = "All the files have been updated";

}  // namespace korvath
