// Why the viewer does not serve, or serves less than it should, told to the administrator.
#pragma once

#include <cstdio>

#include "log_viewer/pipe_server.h"

namespace viewer {

// Writes the reason to `errors` and returns the viewer's exit code for it: 1.
int RefuseToServe(const LogPipeServer::Failure& failure, std::FILE* errors);

// Writes to `errors` that a pipe is served with fewer instances than it should be.
void TellShortfall(const LogPipeServer::Shortfall& shortfall, std::FILE* errors);

}  // namespace viewer
