#pragma once
// The private messages the main window receives and sends, and the records
// some of them carry.

#include "ui/framework/custom_message.h"

namespace tarn::ui {

// Mouse messages carried in the lParam of kWmTrayIcon.
inline constexpr qintptr kWmLButtonDown = 0x0201;
inline constexpr qintptr kWmRButtonDown = 0x0204;

// Received by the main window.
inline constexpr unsigned kWmTrayIcon = 0x040A;          // tray icon mouse message in lParam
inline constexpr unsigned kWmAppQuit = 0x0414;           // tray menu: quit
inline constexpr unsigned kWmShowMain = 0x0418;          // tray menu: main window
inline constexpr unsigned kWmOpenHelp = 0x0419;          // tray menu: help page
inline constexpr unsigned kWmOpenSettings = 0x041A;      // tray menu: settings
inline constexpr unsigned kWmOpenFeedback = 0x041B;      // tray menu: feedback
inline constexpr unsigned kWmCheckUpdate = 0x041C;       // tray menu: check for updates
inline constexpr unsigned kWmFileOpenDir = 0x0479;       // row menu: open the folder
inline constexpr unsigned kWmFileRename = 0x047A;        // row menu: rename
inline constexpr unsigned kWmFileRemove = 0x047B;        // row menu: remove the row
inline constexpr unsigned kWmFileDelete = 0x047C;        // row menu: delete the file
inline constexpr unsigned kWmRecordStart = 0x048D;       // floating panel: start / resume
inline constexpr unsigned kWmRecordPause = 0x048E;       // floating panel: pause
inline constexpr unsigned kWmRecordStop = 0x048F;        // floating panel, region toolbar: stop
inline constexpr unsigned kWmOpenRegionSelector = 0x04C8;
inline constexpr unsigned kWmToolProgress = 0x054A;      // transcoder job progress
inline constexpr unsigned kWmToolFinished = 0x054B;      // transcoder job end
inline constexpr unsigned kWmToolCancel = 0x054C;        // tool item menu: cancel its job
inline constexpr unsigned kWmRecordSecondsMessage = 0x0734;  // lParam = elapsed whole seconds

// Sent by the main window to the floating panel.
inline constexpr unsigned kWmPanelRunning = 0x04A0;
inline constexpr unsigned kWmPanelPaused = 0x04A1;

// The main window's own messages from its worker threads: a recording's file
// is complete, media durations were measured.
inline constexpr unsigned kWmRecordFinished = 0x0735;
inline constexpr unsigned kWmDurationsReady = 0x0736;

// The close message's parameter for "quit" (the tray menu's quit item): never
// minimises, asks first while a recording runs.
inline constexpr quintptr kCloseForQuit = kWmAppQuit;
// The close message's parameter when the session or a signal ends the
// program: no question is asked; a running recording is stopped and its file
// finished before the window closes.
inline constexpr quintptr kCloseForSessionEnd = 0x7FFF;

// Window timers of the main window.
inline constexpr int kTimerScrollList = 1001;  // 50 ms after a row was added
inline constexpr int kTimerTrayBlink = 1002;   // 800 ms while recording
// While a start or the close waits for the last recording's file.
inline constexpr int kTimerWaitForFile = 1003;
inline constexpr int kWaitForFilePeriodMs = 20;

// The lists whose rows share one index counter.
inline constexpr int kListRecorded = 0;
inline constexpr int kListConvert = 2;
inline constexpr int kListCompress = 3;

// What a row menu asks for: the list and the row's index, packed into the
// wParam of the row-menu messages by value (nothing to free, nothing leaks
// when a message is dropped).
struct FileMenuRequest {
  int listKind = kListRecorded;
  int index = 0;
};

static_assert(sizeof(quintptr) >= 8, "a row-menu request needs 64 bits");

inline quintptr PackFileMenuRequest(FileMenuRequest request) {
  return (static_cast<quintptr>(static_cast<unsigned>(request.listKind)) << 32) |
         static_cast<unsigned>(request.index);
}

inline FileMenuRequest UnpackFileMenuRequest(quintptr wParam) {
  return {static_cast<int>(static_cast<unsigned>(wParam >> 32)),
          static_cast<int>(static_cast<unsigned>(wParam & 0xFFFFFFFFu))};
}

}  // namespace tarn::ui
