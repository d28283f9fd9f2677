// Who may do what with the log pipes the viewer serves.
//
// Interactive users (the agents run as them) may open a pipe for reading and writing, which is all
// a client needs (0x12019b), but never create an instance of it (FILE_CREATE_PIPE_INSTANCE, 0x4):
// no other user can serve the name beside the viewer and take a share of every session's records.
// SYSTEM and Administrators have full access. The account that runs the viewer may also create
// instances: a pipe's second and later instances need that right from the pipe's own DACL, and an
// administrator whose console is not elevated holds Administrators for deny only. Nobody else,
// whether Everyone, anonymous or a network logon, may open a pipe at all.
#pragma once

#include <windows.h>

#include <string>

namespace viewer {

// What a client needs, and what the viewer's account holds: that and the right to create
// instances.
inline constexpr DWORD kClientRights = 0x12019b;
inline constexpr DWORD kServerRights = kClientRights | FILE_CREATE_PIPE_INSTANCE;

// The pipes' security descriptor, in the security descriptor string format, for the viewer's
// account given as a SID string ("S-1-5-21-...").
std::string PipeSecurity(const std::string& accountSid);

// The SID string of the account this process runs as; empty, with the system's error, when the
// token cannot say.
std::string OwnAccountSid(DWORD& error);

}  // namespace viewer
