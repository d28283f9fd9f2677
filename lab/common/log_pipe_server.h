// The log collector stand-in's side of the two log pipes: named here from the collector's
// documentation, never taken from the agent, so that a wrong pipe name in the agent reaches no
// stand-in. Serves one message per connection until the process ends, well or badly as a test
// asks.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace lab {

struct LogPipe {
  const char* name;
  char letter;  // the pipe's mark in the collector's record file
};

const LogPipe& InfoPipe();    // "\\.\pipe\VLM.Log.Info"
const LogPipe& RecordPipe();  // "\\.\pipe\VLM.Log"

enum class PipeBehaviour {
  Message,      // the collector's contract, one client at a time
  Byte,         // byte-mode instances, which a client cannot switch to message read mode
  Busy,         // a single instance, held by the server itself, so every client finds it busy
  BrieflyBusy,  // a single instance, held by the server itself for 300 ms, then served
  Many,         // as Message, with four clients served at once on each pipe, as under load
  Stall,        // accepts every client on instances without buffers and never reads: a hung server
  Wide,         // as Message, with the system's 255 instances a pipe, each listening again on its
                // own thread as soon as its client is read: the plainest server a burst of agents
                // can be measured against
  WideNaming,   // as Wide, and asks the system which process sent each message, as a collector
                // that names the sender must
};

// Called on the serving threads, possibly several at once, with each message's exact bytes.
using MessageHandler = std::function<void(const LogPipe& pipe, const std::string& bytes)>;

// Serves both pipes from threads that run until the process ends. Fails, with the system's
// error code, when either pipe already exists: a second server would take a share of the first
// one's clients.
bool ServeLogPipes(PipeBehaviour behaviour, const MessageHandler& handler, DWORD& error);

}  // namespace lab
