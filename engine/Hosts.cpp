// Hosts-file editing; this build leaves the hosts file alone.
#include "engine/GetFilesThr.h"

namespace korvath {

void GFilesThread::ModifyHosts(const TStringList&) {}

}  // namespace korvath
