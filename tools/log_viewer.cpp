// The log viewer for administrators: serves "\\.\pipe\VLM.Log.Info" and "\\.\pipe\VLM.Log" the
// way the runtime's log collector does and prints every record as it arrives, one field a line.
//
//   log_viewer.exe [--raw] [--epoch MS]
//
// --raw       one line per record, exactly as received (the closing NUL shown as \0, other
//             control characters as \xNN)
// --epoch MS  print times relative to this performance-counter reading in milliseconds
//             (default: the viewer's own start)
// Ctrl+C or Ctrl+Break ends it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kBufferSize = 64 * 1024;

struct Pipe {
  const char* name;
  const char* label;
  std::vector<const char*> fields;
};

const Pipe kPipes[] = {
    {"\\\\.\\pipe\\VLM.Log.Info", "info", {"message", "thread", "module"}},
    {"\\\\.\\pipe\\VLM.Log",
     "record",
     {"field1", "field2", "field3", "field4", "field5", "field6", "field7", "field8", "thread"}},
};

bool raw = false;
double epochMs = 0;
CRITICAL_SECTION outputLock;
HANDLE stopRequested = nullptr;

double NowMs() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string Printable(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c == 0) {
      text += "\\0";
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      text += escaped;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

void Print(const Pipe& pipe, const std::string& message) {
  const double seconds = (NowMs() - epochMs) / 1000.0;
  EnterCriticalSection(&outputLock);
  if (raw) {
    std::printf("%9.3f  %-6s %s\n", seconds, pipe.label, Printable(message).c_str());
  } else {
    std::string text = message;
    if (!text.empty() && text.back() == '\0')
      text.pop_back();
    // A message may itself hold "|": the fields after it are counted from the end.
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t bar; (bar = text.find('|', from)) != std::string::npos; from = bar + 1) {
      parts.push_back(text.substr(from, bar - from));
    }
    parts.push_back(text.substr(from));
    const size_t fixed = pipe.fields.size() - 1;
    if (pipe.fields.size() == 3 && parts.size() > 3) {
      std::string first;
      for (size_t i = 0; i + fixed < parts.size(); ++i)
        first += (i ? "|" : "") + parts[i];
      parts.erase(parts.begin(), parts.end() - fixed);
      parts.insert(parts.begin(), first);
    }
    std::printf("%9.3f  %s\n", seconds, pipe.label);
    for (size_t i = 0; i < parts.size(); ++i) {
      std::printf("           %-8s %s\n", i < pipe.fields.size() ? pipe.fields[i] : "extra",
                  Printable(parts[i]).c_str());
    }
  }
  std::fflush(stdout);
  LeaveCriticalSection(&outputLock);
}

HANDLE CreateInstance(const Pipe& pipe) {
  return CreateNamedPipeA(pipe.name, PIPE_ACCESS_DUPLEX,
                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                          PIPE_UNLIMITED_INSTANCES, kBufferSize, kBufferSize, 0, nullptr);
}

std::string ReadMessage(HANDLE instance) {
  std::string message;
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    const BOOL complete = ReadFile(instance, buffer, sizeof(buffer), &read, nullptr);
    message.append(buffer, read);
    if (complete || GetLastError() != ERROR_MORE_DATA)
      return message;
  }
}

DWORD WINAPI Serve(void* parameter) {
  const Pipe& pipe = *static_cast<const Pipe*>(parameter);
  HANDLE next = CreateInstance(pipe);
  if (next == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "log_viewer: cannot serve %s (error %lu)\n", pipe.name, GetLastError());
    SetEvent(stopRequested);
    return 1;
  }
  for (;;) {
    HANDLE current = next;
    // A client may have connected, written and closed before this call.
    const BOOL connected = ConnectNamedPipe(current, nullptr) ||
                           GetLastError() == ERROR_PIPE_CONNECTED ||
                           GetLastError() == ERROR_NO_DATA;
    next = CreateInstance(pipe);  // keep one instance listening
    if (connected) {
      const std::string message = ReadMessage(current);
      if (!message.empty())
        Print(pipe, message);
    }
    DisconnectNamedPipe(current);
    CloseHandle(current);
  }
}

BOOL WINAPI OnConsoleControl(DWORD control) {
  if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT && control != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  SetEvent(stopRequested);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  epochMs = NowMs();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--raw") == 0) {
      raw = true;
    } else if (std::strcmp(argv[i], "--epoch") == 0 && i + 1 < argc) {
      epochMs = std::strtod(argv[++i], nullptr);
    } else {
      std::fprintf(stderr, "usage: log_viewer.exe [--raw] [--epoch MS]\n");
      return 2;
    }
  }
  InitializeCriticalSection(&outputLock);
  stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  for (const Pipe& pipe : kPipes) {
    CloseHandle(CreateThread(nullptr, 0, Serve, const_cast<Pipe*>(&pipe), 0, nullptr));
  }
  WaitForSingleObject(stopRequested, INFINITE);
  // Records being printed are finished before the process ends.
  EnterCriticalSection(&outputLock);
  std::fflush(stdout);
  return 0;
}
