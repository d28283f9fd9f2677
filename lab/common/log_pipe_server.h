// The server side of the two log pipes, as the runtime's log collector keeps them: message-mode
// duplex instances, one message per connection, one instance always listening. Shared by the log
// collector stand-in, the log viewer and the demo.
#pragma once

#include <windows.h>

#include <functional>
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
  Message,  // the collector's contract
  Byte,     // byte-mode instances, which a client cannot switch to message read mode
  Busy,     // a single instance, held by the server itself, so every client finds it busy
  Many,     // as Message, with four instances listening on each pipe at once, as under load
  Stall,    // accepts every client on instances without buffers and never reads: a hung server
};

class LogPipeServer {
 public:
  // Called on the serving threads, possibly several at once, with each message's exact bytes.
  using Handler = std::function<void(const LogPipe&, const std::string&)>;

  LogPipeServer(PipeBehaviour behaviour, Handler handler);
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
  ombru::Handle stop;
  std::vector<ombru::FileHandle> held;  // the Busy behaviour's instances and its own clients
  std::vector<std::unique_ptr<Serving>> servings;
  std::vector<ombru::Handle> threads;
};

// Messages as a person reads them: the closing NUL as \0, other control characters as \xNN.
std::string Printable(const std::string& bytes);

// The named fields of a record, without its closing NUL. A message may itself hold "|": the
// fields after it are counted from the end.
std::vector<std::pair<const char*, std::string>> RecordFields(const LogPipe& pipe,
                                                              const std::string& message);

}  // namespace lab
