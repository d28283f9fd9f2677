// Why the viewer does not serve, told to the administrator.
#pragma once

#include <cstdio>

#include "log_viewer/pipe_server.h"

namespace viewer {

// Writes the reason to `errors` and returns the viewer's exit code for it: 1.
int RefuseToServe(const LogPipeServer::Failure& failure, std::FILE* errors);

}  // namespace viewer
