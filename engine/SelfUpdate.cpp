// Replacing the updater's own executable; this build keeps the running one.
#include "engine/GetFilesThr.h"

namespace korvath {

void GFilesThread::SelfUpdate(const std::string&) {}

}  // namespace korvath
