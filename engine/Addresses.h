// The addresses the programs are built with: the update server's base address and the news
// page. The environment variables KORVATH_UPDATE_SERVER and KORVATH_NEWS_URL, when set and not
// empty, take their place, which is how tests and demos point a build at another server.
#pragma once

#include <string>

namespace korvath {

std::string DefaultUpdateServer();
std::string NewsPageAddress();

}  // namespace korvath
