// Every window of the program names itself in WM_CLASS (instance: its class
// name, class: TarnRecorder), so window managers' rules and tests find it.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include "tests/support/main_window_fixture.h"
#include "ui/main/message_box_dialog.h"

namespace tarn::test {
namespace {

// WM_CLASS of `window` as the X server has it, both strings with their NULs.
std::string WindowClassOf(WId window) {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  std::string value;
  if (xcb_connection_has_error(connection) == 0) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(window), XCB_ATOM_WM_CLASS,
                         XCB_ATOM_STRING, 0, 256),
        nullptr);
    if (reply != nullptr) {
      value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                   static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    }
    std::free(reply);
  }
  xcb_disconnect(connection);
  return value;
}

using WindowClassTest = MainWindowFixture;

TEST_F(WindowClassTest, TheMainWindowAndItsDialogsAreNamedByTheirClass) {
  ui::CMainWnd& window = OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return window.isVisible(); }, 5000));
  EXPECT_EQ(WindowClassOf(window.winId()), std::string("CMainWnd\0TarnRecorder\0", 22));

  std::string promptClass;
  AnswerWhenShown("PromptBoxDialog", [&](QWidget* prompt) {
    promptClass = WindowClassOf(prompt->winId());
    prompt->findChild<QPushButton*>("msgConfirm")->click();
  });
  ui::PromptBoxDialog::Show(&window, "x");
  EXPECT_EQ(promptClass, std::string("PromptBoxDialog\0TarnRecorder\0", 29));
}

}  // namespace
}  // namespace tarn::test
