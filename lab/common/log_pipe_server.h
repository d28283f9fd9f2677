// The server side of the two log pipes, as the runtime's log collector keeps them: message-mode
// duplex instances, one message per connection, one instance always listening. Shared by the log
// collector stand-in, the log viewer and the demo.
//
// Whoever serves these names is open to every process of the machine, so the server trusts no
// client: only interactive users, SYSTEM and Administrators may connect, never from another
// computer; a client that has not completed its message within a few seconds is dropped; and no
// more of a message is kept than the server was told to take.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "framework/unique_handle.h"

namespace lab {

struct LogPipe {
  const char* name;
  const char* label;
  char letter;
  std::vector<const char*> fields;
};

const LogPipe& InfoPipe();
const LogPipe& RecordPipe();

enum class PipeBehaviour {
  Message,  // the collector's contract, one client at a time
  Byte,     // byte-mode instances, which a client cannot switch to message read mode
  Busy,     // a single instance, held by the server itself, so every client finds it busy
  Many,     // as Message, with four clients served at once on each pipe, as under load
  Stall,    // accepts every client on instances without buffers and never reads: a hung server
};

// How long a client may take from its connection to the end of its message.
inline constexpr DWORD kClientDeadlineMs = 3000;

// What one connection brought.
struct ClientMessage {
  enum class Outcome {
    Whole,     // `bytes` is the whole message
    TooLarge,  // larger than the server takes: `size` says how large, nothing of it is kept
    TimedOut,  // the client completed no message within kClientDeadlineMs
  };
  const LogPipe* pipe = nullptr;
  ULONG processId = 0;  // the sender, as the system names it (0 when it cannot say)
  ULONG sessionId = 0;
  Outcome outcome = Outcome::Whole;
  std::string bytes;
  size_t size = 0;
};

class LogPipeServer {
 public:
  // Called on the serving threads, possibly several at once, once for every connection that
  // brought a message, a message too large, or nothing in time.
  using Handler = std::function<void(const ClientMessage&)>;

  static constexpr size_t kUnlimited = std::numeric_limits<size_t>::max();

  LogPipeServer(PipeBehaviour behaviour, Handler handler, size_t largestMessage = kUnlimited);
  ~LogPipeServer();  // stops serving and waits for the serving threads
  LogPipeServer(const LogPipeServer&) = delete;
  LogPipeServer& operator=(const LogPipeServer&) = delete;

  // Creates the first instance of both pipes, then serves them. Fails, with the system's error
  // code in `error` and the pipe in `pipe`, when either pipe already exists: a second server
  // would take a share of the first one's clients.
  bool Start(DWORD& error, const LogPipe*& pipe);

 private:
  struct Serving;
  static DWORD WINAPI Serve(void* serving);

  PipeBehaviour behaviour;
  Handler handler;
  size_t largestMessage;
  ombru::Handle stop;
  std::vector<ombru::FileHandle> held;  // the Busy behaviour's instances and its own clients
  std::vector<std::unique_ptr<Serving>> servings;
  std::vector<ombru::Handle> threads;
};

// Messages as a person reads them, safe for a terminal (a record's text comes from any process of
// the session): NUL as \0, every other C0 control, DEL and C1 byte (0x80-0x9F) as \xNN. A lead
// byte of the code page keeps its trail byte, which is then no control but half a character.
std::string Printable(const std::string& bytes, UINT codePage = CP_ACP);

// The named fields of a record, without its closing NUL. A message may itself hold "|": the
// fields after it are counted from the end.
std::vector<std::pair<const char*, std::string>> RecordFields(const LogPipe& pipe,
                                                              const std::string& message);

}  // namespace lab
