#include "drivers/log_viewer.h"

#include <algorithm>
#include <cstdlib>

#include "common/record_file.h"
#include "drivers/process.h"

namespace lab {
namespace {

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());  // the console's
  return text;
}

}  // namespace

LogViewer::LogViewer(const char* arguments, bool heldOutput, bool pipedErrors)
    : errorPath(TempPath("viewer")) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  lab::Handle errors(CreateFileA(errorPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                 CREATE_ALWAYS, 0, nullptr));
  if (pipedErrors) {
    lab::Handle file = std::move(errors);
    CreatePipe(errorsRead.Put(), errors.Put(), &inheritable, 4096);
    SetHandleInformation(errorsRead.Get(), HANDLE_FLAG_INHERIT, 0);
    DuplicateHandle(GetCurrentProcess(), errors.Get(), GetCurrentProcess(), errorsWrite.Put(), 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    errorsReader = std::thread([this, file = std::move(file)] {
      char buffer[4096];
      DWORD read = 0, written = 0;
      while (WaitForSingleObject(mayReadErrors.Get(), INFINITE) == WAIT_OBJECT_0 &&
             ReadFile(errorsRead.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        WriteFile(file.Get(), buffer, read, &written, nullptr);
      }
    });
  }
  lab::Handle write;
  if (heldOutput) {
    CreatePipe(held.Put(), write.Put(), &inheritable, 4096);
    SetHandleInformation(held.Get(), HANDLE_FLAG_INHERIT, 0);
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = heldOutput ? write.Get() : errors.Get();
  startup.hStdError = errors.Get();
  std::string commandLine = "\"" + SiblingPath("log_viewer.exe") + "\" " + arguments;
  PROCESS_INFORMATION info = {};
  if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &info)) {
    process.Reset(info.hProcess);
    CloseHandle(info.hThread);
  }
}

LogViewer::~LogViewer() {
  // Ended through the C runtime's exit, as an ordinary end after Ctrl+C would be (which Wine
  // cannot send without a display), so that it leaves what an ordinary end leaves. msvcrt.dll is
  // at the same address in every process.
  const auto exitProcess = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "exit")));
  const lab::Handle ending(
      CreateRemoteThread(process.Get(), nullptr, 0, exitProcess, nullptr, 0, nullptr));
  if (!ending || WaitForSingleObject(process.Get(), 5000) != WAIT_OBJECT_0)
    TerminateProcess(process.Get(), 0);
  WaitForSingleObject(process.Get(), 5000);
  if (reader.joinable())
    reader.join();  // the pipe broke with the viewer's end
  SetEvent(mayReadErrors.Get());
  if (errorsFiller.joinable())
    errorsFiller.join();  // taken by the reader again
  errorsWrite.Reset();
  if (errorsReader.joinable())
    errorsReader.join();
  DeleteFileA(errorPath.c_str());
}

std::string LogViewer::Output() const { return WithoutCarriageReturns(FileBytes(errorPath)); }

std::string LogViewer::WaitForOutput(const char* text, DWORD timeoutMs) const {
  PollUntil([&] { return Output().find(text) != std::string::npos; }, timeoutMs);
  return Output();
}

std::string LogViewer::WaitForOutputs(const std::vector<std::string>& texts,
                                      DWORD timeoutMs) const {
  PollUntil(
      [&] {
        const std::string output = Output();
        return std::all_of(texts.begin(), texts.end(), [&](const std::string& text) {
          return output.find(text) != std::string::npos;
        });
      },
      timeoutMs);
  return Output();
}

void LogViewer::StallErrors() {
  ResetEvent(mayReadErrors.Get());
  // More than the reader may still take in the read it is in, and the pipe's buffer beside it.
  errorsFiller = std::thread([this] {
    const std::string filler(64 * 1024, '#');
    DWORD written = 0;
    WriteFile(errorsWrite.Get(), filler.data(), static_cast<DWORD>(filler.size()), &written,
              nullptr);
  });
}

void LogViewer::ReadOutputAgain(DWORD chunk, DWORD pauseMs) {
  reader = std::thread([this, chunk, pauseMs] {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(held.Get(), buffer, std::min<DWORD>(chunk, sizeof(buffer)), &read, nullptr) &&
           read > 0) {
      {
        const std::lock_guard<std::mutex> hold(lock);
        heldOutput.append(buffer, read);
      }
      Sleep(pauseMs);
    }
  });
}

void LogViewer::Control(DWORD event) {
  // kernelbase.dll is at the same address in every process.
  const auto ctrlRoutine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernelbase.dll"), "CtrlRoutine")));
  const Handle handler(CreateRemoteThread(process.Get(), nullptr, 0, ctrlRoutine,
                                          reinterpret_cast<void*>(static_cast<uintptr_t>(event)), 0,
                                          nullptr));
  WaitForSingleObject(handler.Get(), 10000);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    TerminateProcess(process.Get(), STATUS_CONTROL_C_EXIT);
}

std::string LogViewer::HeldOutput() {
  const std::lock_guard<std::mutex> hold(lock);
  return WithoutCarriageReturns(heldOutput);
}

size_t LogViewer::PrintedRecords(const std::string& message) {
  const std::string output = HeldOutput();
  size_t whole = 0;
  for (size_t from = 0, end; (end = output.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string line = output.substr(from, end - from);
    whole += line.find("  " + message) != std::string::npos && line.size() >= 2 &&
             line.compare(line.size() - 2, 2, "\\0") == 0;
  }
  return whole;
}

size_t LogViewer::DroppedRecords() const {
  const std::string notices = Output();
  size_t dropped = 0;
  for (size_t at = notices.find("log_viewer: "); at != std::string::npos;
       at = notices.find("log_viewer: ", at + 1)) {
    const size_t end = notices.find('\n', at);
    if (notices.substr(at, end - at).find(" records dropped ") != std::string::npos)
      dropped += std::strtoul(notices.c_str() + at + 12, nullptr, 10);
  }
  return dropped;
}

DWORD LogViewer::ExitCode(DWORD timeoutMs) const {
  DWORD code = STILL_ACTIVE;
  WaitForSingleObject(process.Get(), timeoutMs);
  GetExitCodeProcess(process.Get(), &code);
  return code;
}

}  // namespace lab
