#include "log_viewer/refusal.h"

namespace viewer {

int RefuseToServe(const LogPipeServer::Failure& failure, std::FILE* errors) {
  const unsigned long error = failure.error;
  switch (failure.reason) {
    case LogPipeServer::Failure::Reason::Security:
      std::fprintf(errors,
                   "log_viewer: cannot build the pipes' security descriptor (error %lu); not "
                   "serving pipes open to everyone\n",
                   error);
      break;
    case LogPipeServer::Failure::Reason::Served:
      std::fprintf(errors,
                   "log_viewer: %s is already served by another log collector or viewer; "
                   "not starting\n",
                   failure.pipe->name);
      break;
    case LogPipeServer::Failure::Reason::System:
      std::fprintf(errors, "log_viewer: cannot serve %s: %s failed (error %lu)\n",
                   failure.pipe ? failure.pipe->name : "the log pipes", failure.call, error);
      break;
  }
  std::fflush(errors);
  return 1;
}

void TellShortfall(const LogPipeServer::Shortfall& shortfall, std::FILE* errors) {
  std::fprintf(errors,
               "log_viewer: serving only %zu of %zu instances of %s (error %lu): agents writing "
               "at the same moment may find it busy and lose records\n",
               shortfall.served, LogPipeServer::kInstances, shortfall.pipe->name,
               static_cast<unsigned long>(shortfall.error));
  std::fflush(errors);
}

}  // namespace viewer
