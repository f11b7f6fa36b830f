// The desktop's windows as the snapshot selector reads them: on a desktop
// with a window manager, the managed windows with their frames, in stacking
// order, without minimised ones, with their native children; on a bare X
// server, the mapped children of the root window.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QWidget>
#include <QWindow>
#include <string>

#include "platform/window_stack.h"
#include "tests/support/private_x_server.h"
#include "tests/support/qt_wait.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_frames.h"

namespace tarn::test {
namespace {

using platform::ScreenRect;
using platform::WindowNode;

const WindowNode* FindNode(const std::vector<WindowNode>& nodes, std::uint32_t window) {
  for (const WindowNode& node : nodes) {
    if (node.window == window) return &node;
    if (const WindowNode* found = FindNode(node.children, window)) return found;
  }
  return nullptr;
}

void ExpectRect(const ScreenRect& got, const ScreenRect& want) {
  EXPECT_EQ(got.x, want.x);
  EXPECT_EQ(got.y, want.y);
  EXPECT_EQ(got.width, want.width);
  EXPECT_EQ(got.height, want.height);
}

// Shows `window` at `geometry` and waits until the window manager framed it.
bool ShowFramed(QWidget& window, const QRect& geometry) {
  window.setGeometry(geometry);
  window.show();
  return WaitUntil(
      [&] {
        if (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) return false;
        const ScreenRect frame = TopLevelFrameOf(static_cast<xcb_window_t>(window.winId()));
        return frame.width > window.width();
      },
      10000);
}

TEST(WindowStackTest, ManagedWindowsComeWithFramesChildrenAndTitlesMinimisedOnesDoNot) {
  QWidget lower;
  lower.setWindowTitle(QString::fromUtf8("下面的窗口 lower"));
  auto* child = new QWidget(&lower);
  child->setAttribute(Qt::WA_NativeWindow);
  child->setGeometry(20, 30, 100, 50);
  QWidget upper;
  upper.setWindowTitle(QString(300, QChar(0x754C)));  // 300 three-byte characters
  QWidget minimised;
  ASSERT_TRUE(ShowFramed(lower, {200, 200, 500, 400}));
  ASSERT_TRUE(ShowFramed(upper, {400, 300, 300, 200}));
  ASSERT_TRUE(ShowFramed(minimised, {100, 100, 300, 200}));
  minimised.showMinimized();
  ASSERT_TRUE(WaitUntil([&] { return !minimised.windowHandle()->isExposed(); }, 10000));

  std::vector<WindowNode> tree;
  std::string whyNot;
  ASSERT_TRUE(platform::ReadWindowStack({}, tree, whyNot)) << whyNot;
  const WindowNode* lowerNode = FindNode(tree, static_cast<std::uint32_t>(lower.winId()));
  const WindowNode* upperNode = FindNode(tree, static_cast<std::uint32_t>(upper.winId()));
  ASSERT_NE(lowerNode, nullptr);
  ASSERT_NE(upperNode, nullptr);
  EXPECT_EQ(FindNode(tree, static_cast<std::uint32_t>(minimised.winId())), nullptr);
  // Top-level: the managed windows themselves, not the frames holding them,
  // with the frames' rectangles.
  EXPECT_TRUE(lowerNode >= tree.data() && lowerNode < tree.data() + tree.size());
  ExpectRect(lowerNode->rect, TopLevelFrameOf(static_cast<xcb_window_t>(lower.winId())));
  ExpectRect(upperNode->rect, TopLevelFrameOf(static_cast<xcb_window_t>(upper.winId())));
  EXPECT_GT(upperNode->zIndex, lowerNode->zIndex);
  EXPECT_EQ(lowerNode->title, "下面的窗口 lower");
  EXPECT_EQ(QString::fromStdString(upperNode->title), QString(260, QChar(0x754C)));

  const WindowNode* childNode =
      FindNode(lowerNode->children, static_cast<std::uint32_t>(child->winId()));
  ASSERT_NE(childNode, nullptr);
  const QPoint childOrigin = child->mapToGlobal(QPoint(0, 0));
  ExpectRect(childNode->rect, {childOrigin.x(), childOrigin.y(), 100, 50});

  // A window left out is left out with its children.
  ASSERT_TRUE(platform::ReadWindowStack({static_cast<std::uint32_t>(lower.winId())}, tree, whyNot));
  EXPECT_EQ(FindNode(tree, static_cast<std::uint32_t>(lower.winId())), nullptr);
  EXPECT_EQ(FindNode(tree, static_cast<std::uint32_t>(child->winId())), nullptr);
  EXPECT_NE(FindNode(tree, static_cast<std::uint32_t>(upper.winId())), nullptr);
}

// A window of `rect` on `connection`, mapped when `map`.
xcb_window_t MakeWindow(xcb_connection_t* connection, xcb_window_t parent, ScreenRect rect,
                        int border, bool map) {
  const xcb_window_t window = xcb_generate_id(connection);
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, parent,
                    static_cast<std::int16_t>(rect.x), static_cast<std::int16_t>(rect.y),
                    static_cast<std::uint16_t>(rect.width), static_cast<std::uint16_t>(rect.height),
                    static_cast<std::uint16_t>(border), XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  if (map) xcb_map_window(connection, window);
  return window;
}

TEST(WindowStackTest, WithoutAWindowManagerTheMappedRootChildrenInStackingOrder) {
  PrivateXServer server;
  std::string whyNot;
  ASSERT_TRUE(server.Start("800x600x24", whyNot)) << whyNot;
  xcb_connection_t* connection = xcb_connect(server.displayName().c_str(), nullptr);
  ASSERT_EQ(xcb_connection_has_error(connection), 0);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  const xcb_window_t bottom = MakeWindow(connection, root, {10, 10, 300, 200}, 0, true);
  const xcb_window_t top = MakeWindow(connection, root, {100, 50, 300, 200}, 2, true);
  const xcb_window_t hidden = MakeWindow(connection, root, {0, 0, 50, 50}, 0, false);
  const xcb_window_t inner = MakeWindow(connection, top, {5, 6, 40, 30}, 1, true);
  const xcb_window_t unmappedInner = MakeWindow(connection, top, {50, 6, 40, 30}, 0, false);
  const std::string title = "plain";
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, top, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                      static_cast<std::uint32_t>(title.size()), title.data());
  free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));  // sync

  std::vector<WindowNode> tree;
  {
    ScopedEnv display("DISPLAY", server.displayName());
    ASSERT_TRUE(platform::ReadWindowStack({}, tree, whyNot)) << whyNot;
  }
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].window, top) << "topmost first";
  EXPECT_EQ(tree[1].window, bottom);
  EXPECT_GT(tree[0].zIndex, tree[1].zIndex);
  ExpectRect(tree[0].rect, {100, 50, 304, 204});  // the border counts
  EXPECT_EQ(tree[0].title, "plain");
  EXPECT_EQ(FindNode(tree, hidden), nullptr);
  EXPECT_EQ(FindNode(tree, unmappedInner), nullptr);
  ASSERT_EQ(tree[0].children.size(), 1u);
  EXPECT_EQ(tree[0].children[0].window, inner);
  // Inside the parent's border: 100 + 2 + 5 = 107, 50 + 2 + 6 = 58.
  ExpectRect(tree[0].children[0].rect, {107, 58, 42, 32});
  xcb_disconnect(connection);

  // The server gone: a clear failure, no tree. (Its display number may be
  // taken at once by another test's server, so a socket that surely has no
  // server stands for it.)
  server.Kill();
  TempDir gone;
  ScopedEnv display("DISPLAY", gone / "X:0");
  EXPECT_FALSE(platform::ReadWindowStack({}, tree, whyNot));
  EXPECT_TRUE(tree.empty());
  EXPECT_FALSE(whyNot.empty());
}

}  // namespace
}  // namespace tarn::test
