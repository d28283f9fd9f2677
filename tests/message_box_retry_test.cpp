// The message box's retry without an owner, through the seam around the two window-manager calls
// (Wine gives no way to make a real MessageBoxA fail), against the runtime stand-in in-process.
#include <windows.h>

#include <string>
#include <vector>

#include "harness/test.h"
#include "runtime_link/runtime_session.h"
#include "runtime_link/user_message.h"
#include "drivers/log_collector.h"
#include "drivers/runtime_record.h"

namespace {

struct Box {
  HWND owner;
  std::string text, caption;
  UINT style;
};

std::vector<Box> boxes;
int answers[2];
constexpr DWORD kLeftAlone = 0xFFFFFFFF;
DWORD errors[2];  // what each box leaves as the last error, unless kLeftAlone
const HWND kForeground = reinterpret_cast<HWND>(0x4711);
HWND foreground = kForeground;
bool foregroundAnswers = true;
std::vector<std::string> asked;  // what the foreground window was sent, and how

HWND WINAPI Foreground() { return foreground; }

LRESULT WINAPI SendWithTimeout(HWND window, UINT message, WPARAM, LPARAM, UINT flags,
                               UINT timeoutMs, PDWORD_PTR) {
  asked.push_back(
      ombru::FormatString("%p %#x %#x %u", static_cast<void*>(window), message, flags, timeoutMs));
  return foregroundAnswers;
}

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  boxes.push_back({owner, text, caption, style});
  if (errors[boxes.size() - 1] != kLeftAlone)
    SetLastError(errors[boxes.size() - 1]);
  return answers[boxes.size() - 1];
}

std::vector<uint8_t> Payload(uint32_t typeMask, uint32_t flags, const char* text) {
  std::vector<uint8_t> payload(24, 0xEE);
  for (int i = 0; i < 4; ++i) {
    payload[4 + i] = static_cast<uint8_t>(typeMask >> (8 * i));
    payload[8 + i] = static_cast<uint8_t>(flags >> (8 * i));
  }
  payload.insert(payload.end(), text, text + strlen(text) + 1);
  return payload;
}

}  // namespace

START_TEST(box_retried_without_owner) {
  CoInitialize(nullptr);
  static const struct {
    HWND foreground;
    bool answers;  // whether the foreground window's thread answers
    int first, second;
    DWORD secondError;
    std::vector<HWND> owners;
    HRESULT result;  // S_OK: completed; otherwise failed with it
  } cases[] = {
      {kForeground, true, IDOK, IDOK, 0, {kForeground}, S_OK},
      {kForeground, true, 0, IDOK, 0, {kForeground, nullptr}, S_OK},
      {kForeground,
       true,
       0,
       0,
       ERROR_NOT_ENOUGH_MEMORY,
       {kForeground, nullptr},
       HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY)},
      {kForeground, true, 0, 0, 0, {kForeground, nullptr}, E_FAIL},
      // The second box's failure is reported, never the first box's error.
      {kForeground, true, 0, 0, kLeftAlone, {kForeground, nullptr}, E_FAIL},
      {nullptr, true, IDOK, IDOK, 0, {nullptr}, S_OK},
      // A window whose thread stopped reading its messages owns no box.
      {kForeground, false, IDOK, IDOK, 0, {nullptr}, S_OK},
  };
  for (const auto& c : cases) {
    lab::RuntimeStandIn runtime;
    ombru::ComPtr<IRuntimeSession> session = ombru::CreateRuntimeSession();
    IPendingOperations* operations = nullptr;
    session->GetPendingOperations(&operations);
    boxes.clear();
    answers[0] = c.first;
    answers[1] = c.second;
    errors[0] = ERROR_INVALID_WINDOW_HANDLE;
    errors[1] = c.secondError;
    foreground = c.foreground;
    foregroundAnswers = c.answers;
    asked.clear();
    const ombru::MessageBoxApi api = {&Foreground, &SendWithTimeout, &RecordBox};
    const std::vector<uint8_t> payload = Payload(2, 1, "Disk almost full");
    const HRESULT result = ombru::DeliverUserMessage(api, payload.data(), *operations, "PC", 9);
    ok(result == c.result, "answers %d %d: result %#lx\n", c.first, c.second,
       static_cast<unsigned long>(result));
    ok(boxes.size() == c.owners.size(), "first answer %d: %zu boxes\n", c.first, boxes.size());
    // Asked with WM_NULL, given up after a second, and at once when its thread hangs.
    const std::string question = ombru::FormatString(
        "%p 0 %#x 1000", static_cast<void*>(c.foreground), SMTO_ABORTIFHUNG | SMTO_BLOCK);
    ok(c.foreground ? asked == std::vector<std::string>{question} : asked.empty(),
       "foreground %p: asked %zu times, first [%s]\n", static_cast<void*>(c.foreground),
       asked.size(), asked.empty() ? "" : asked[0].c_str());
    for (size_t i = 0; i < boxes.size() && i < c.owners.size(); ++i) {
      ok(boxes[i].owner == c.owners[i] && boxes[i].text == "Disk almost full" &&
             boxes[i].caption == "Warning Message" && boxes[i].style == 0x10030,
         "box %zu: owner %p [%s] [%s] %#x\n", i, static_cast<void*>(boxes[i].owner),
         boxes[i].text.c_str(), boxes[i].caption.c_str(), boxes[i].style);
    }
    const auto completed = runtime.Calls("CompleteOperation");
    const auto failed = runtime.Calls("FailOperation");
    if (c.result == S_OK) {
      ok(completed.size() == 1 && failed.empty(), "a box shown completes: %zu, %zu\n",
         completed.size(), failed.size());
      continue;
    }
    const std::string expected = ombru::FormatString(
        "[PC][9][4][0x%08lx][Message could not be shown]", static_cast<unsigned long>(c.result));
    const std::string got = failed.empty() ? "" : lab::Bracketed(failed[0].arguments);
    ok(completed.empty() && failed.size() == 1 && got == expected,
       "no box shown: %zu completed, failed %s\n", completed.size(), got.c_str());
  }
}
