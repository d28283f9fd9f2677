#pragma once

// The frame's common resource id: title string, menu, accelerators and icon.
#define IDR_MAINFRAME 128

#define ID_APP_EXIT 0xE141
