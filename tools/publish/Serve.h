// korvath-publish serve: a published folder over HTTP, for trying a release out before it goes
// to the real web server.
#pragma once

#include <cstdio>
#include <string>

namespace korvath::publish {

// Serves the files below Folder at Bind:Port (0: a free port) until SIGINT or SIGTERM, printing
// the address it listens on and one line per request to Out. Raises when it cannot listen.
void Serve(const std::string& folder, const std::string& bind, int port, std::FILE* out);

}  // namespace korvath::publish
