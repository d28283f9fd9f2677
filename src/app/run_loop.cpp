#include "app/run_loop.h"

#include "framework/wtl_app_module.h"
#include "framework/wtl_message_loop.h"
#include "monitor/main_frame.h"
#include "res/resource.h"

int RunMessageLoop(int showCommand) {
  WTL::CMessageLoop loop;
  // Entered before the frame exists: its create handler joins this loop as filter and idle
  // handler.
  WTL::AppModule().AddMessageLoop(&loop);

  int result = 0;
  {
    CMainFrame frame;
    if (frame.CreateEx(IDR_MAINFRAME)) {
      frame.ShowWindow(showCommand);
      result = loop.Run();
      // A WM_QUIT from outside ends the loop with the window still there. It goes before the
      // frame's members do: a message sent to it while they are destroyed (a setting change,
      // during a release that calls out) would reach a frame half taken apart. Its destroy
      // handler releases the runtime session object, which the frame then no longer holds.
      if (frame.IsWindow())
        frame.DestroyWindow();
    }
    WTL::AppModule().RemoveMessageLoop();
  }
  return result;
}
