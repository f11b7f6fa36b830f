#pragma once
// The keys of the recordings list, for users of the keyboard and of screen
// readers, who cannot reach a row's buttons: Enter plays the current row's
// file, the menu key (or Shift+F10) opens its menu, Delete deletes it.
// UI thread only.

class QListWidget;

namespace tarn::ui {

class WindowImplBase;

// Makes `list` (the recordings list) answer those keys; Delete posts
// kWmFileDelete to `owner`. The handler lives as long as the list.
void InstallRecordingListKeys(QListWidget* list, WindowImplBase* owner);

}  // namespace tarn::ui
