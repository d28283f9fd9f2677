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
    }
    WTL::AppModule().RemoveMessageLoop();
  }
  return result;
}
