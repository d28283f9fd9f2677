// The framework's message loop and frame window, in-process.
#include <windows.h>

#include <string>
#include <vector>

#include "framework/wtl_app_module.h"
#include "framework/wtl_frame_window.h"
#include "framework/wtl_message_loop.h"
#include "harness/test.h"

namespace {

std::vector<std::string> events;

class Filter : public WTL::CMessageFilter {
 public:
  Filter(const char* name, UINT consumes) : name(name), consumes(consumes) {}
  BOOL PreTranslateMessage(MSG* message) override {
    if (message->message >= WM_USER) {
      events.push_back(std::string(name) + ":" + std::to_string(message->message - WM_USER));
    }
    return message->message == consumes;
  }

 private:
  const char* name;
  UINT consumes;
};

class IdleCounter : public WTL::CIdleHandler {
 public:
  explicit IdleCounter(const char* name) : name(name) {}
  BOOL OnIdle() override {
    events.push_back(std::string("idle:") + name);
    return TRUE;  // asks for more idle work; the loop still makes one pass only
  }

 private:
  const char* name;
};

class TestFrame : public WTL::CFrameWindowImpl<TestFrame> {
 public:
  std::vector<UINT> seen;
  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) override {
    seen.push_back(message);
    return CFrameWindowImpl<TestFrame>::ProcessWindowMessage(window, message, wParam, lParam,
                                                             result);
  }
};

std::string Joined() {
  std::string text;
  for (const std::string& event : events)
    text += event + " ";
  return text;
}

DWORD WINAPI QuitLater(void* threadId) {
  Sleep(200);
  PostThreadMessageA(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(threadId)), WM_QUIT, 3, 0);
  return 0;
}

// On the first idle pass, posts one message, then lets the loop run until the queue has long
// been empty again.
class Poster : public WTL::CIdleHandler {
 public:
  explicit Poster(UINT message) : message(message) {}
  BOOL OnIdle() override {
    if (posted)
      return FALSE;
    posted = true;
    PostThreadMessageA(GetCurrentThreadId(), message, 0, 0);
    CloseHandle(CreateThread(nullptr, 0, QuitLater,
                             reinterpret_cast<void*>(ULONG_PTR{GetCurrentThreadId()}), 0, nullptr));
    return FALSE;
  }

 private:
  UINT message;
  bool posted = false;
};

}  // namespace

START_TEST(idle_pass_rules) {
  static const struct {
    UINT message;
    bool startsIdlePass;
  } cases[] = {
      {WM_MOUSEMOVE, false}, {WM_NCMOUSEMOVE, false}, {WM_PAINT, false},  {0x0118, false},
      {WM_USER, true},       {WM_TIMER, true},        {WM_KEYDOWN, true}, {WM_COMMAND, true},
  };
  for (const auto& c : cases) {
    events.clear();
    WTL::CMessageLoop loop;
    Poster poster(c.message);
    IdleCounter idle("a");
    loop.AddIdleHandler(&poster);
    loop.AddIdleHandler(&idle);
    const int code = loop.Run();
    ok(code == 3, "%#x: quit code %d\n", c.message, code);
    const size_t expected = c.startsIdlePass ? 2 : 1;
    size_t passes = 0;
    for (const std::string& event : events)
      passes += event == "idle:a";
    ok(passes == expected, "%#x: %zu idle passes, expected %zu: %s\n", c.message, passes, expected,
       Joined().c_str());
  }
}

START_TEST(filters_from_last_added_to_first) {
  events.clear();
  WTL::CMessageLoop loop;
  Filter first("first", WM_USER + 1);
  Filter second("second", WM_USER + 2);
  Filter third("third", 0);
  loop.AddMessageFilter(&first);
  loop.AddMessageFilter(&second);
  loop.AddMessageFilter(&third);
  PostThreadMessageA(GetCurrentThreadId(), WM_USER + 0, 0, 0);
  PostThreadMessageA(GetCurrentThreadId(), WM_USER + 2, 0, 0);
  PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, 0, 0);
  PostQuitMessage(9);
  ok(loop.Run() == 9, "quit code\n");
  ok(Joined() == "third:0 second:0 first:0 third:2 second:2 third:1 second:1 first:1 ",
     "order: %s\n", Joined().c_str());
}

START_TEST(frame_window_class_and_default_chain) {
  WTL::AppModule().Init(GetModuleHandleA(nullptr));
  TestFrame frame;
  HWND window = frame.CreateEx(128);
  ok(window != nullptr && frame.m_hWnd == window, "frame not created, error %lu\n", GetLastError());
  if (!window)
    return;
  char className[64] = {};
  GetClassNameA(window, className, sizeof(className));
  ok(std::string(className).rfind("ATL:", 0) == 0, "class name [%s]\n", className);
  WNDCLASSEXA info = {};
  info.cbSize = sizeof(info);
  ok(GetClassInfoExA(GetModuleHandleA(nullptr), className, &info), "class info\n");
  ok(info.style == 0, "class style %#x\n", info.style);
  ok(info.hbrBackground == reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), "background %p\n",
     static_cast<void*>(info.hbrBackground));
  ok(info.hCursor == LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)), "arrow cursor\n");
  ok(info.hIcon == nullptr && info.hIconSm == nullptr, "no icon\n");
  ok(frame.m_hAccel == nullptr, "no accelerator table\n");
  ok(!IsWindowVisible(window) && GetWindowTextLengthA(window) == 0, "hidden, no title\n");
  ok(GetWindowLongPtrA(window, GWL_STYLE) == 0x06CF0000, "style %#llx\n",
     static_cast<long long>(GetWindowLongPtrA(window, GWL_STYLE)));

  // A second frame of the same type shares the class.
  TestFrame second;
  HWND other = second.CreateEx(128);
  char otherName[64] = {};
  GetClassNameA(other, otherName, sizeof(otherName));
  ok(std::string(otherName) == className, "class registered once: %s vs %s\n", otherName,
     className);
  DestroyWindow(other);

  // A frame whose map leaves WM_DESTROY alone ends its thread's loop with 1.
  DestroyWindow(window);
  ok(frame.m_hWnd == nullptr, "handle cleared after WM_NCDESTROY\n");
  MSG message;
  bool quit = false;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT)
      quit = message.wParam == 1;
  }
  ok(quit, "WM_QUIT 1 posted by the frame's default WM_DESTROY handling\n");
}
