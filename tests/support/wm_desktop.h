#pragma once
// A desktop of the test's own: a private Xvfb with the Openbox window manager
// on it, so that windows are managed as on a user's desktop (frames, the work
// area, stacking) and nothing else shares the screen.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/private_x_server.h"

extern char** environ;

namespace tarn::test {

class WmDesktop {
 public:
  WmDesktop() = default;
  ~WmDesktop() { StopWindowManager(); }
  WmDesktop(const WmDesktop&) = delete;
  WmDesktop& operator=(const WmDesktop&) = delete;

  // Starts the X server with one screen of `geometry` ("1920x1080x24") and
  // the window manager; false with the reason in `whyNot`.
  bool Start(const std::string& geometry, std::string& whyNot) {
    if (!server_.Start(geometry, whyNot)) return false;
    std::vector<std::string> environment = {"DISPLAY=" + server_.displayName()};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::string(*entry).rfind("DISPLAY=", 0) != 0) environment.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = {"openbox", "--sm-disable"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = ::posix_spawnp(&wmPid_, "openbox", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      wmPid_ = -1;
      whyNot = "cannot start openbox (is it installed?)";
      return false;
    }
    if (!WaitForWindowManager()) {
      whyNot = "openbox did not take the screen and frame a window within 20 s";
      return false;
    }
    return true;
  }

  // ":N", for DISPLAY.
  const std::string& displayName() const { return server_.displayName(); }

 private:
  // The window manager is up once the root window names its check window.
  bool WaitForWindowManager() {
    xcb_connection_t* connection = xcb_connect(server_.displayName().c_str(), nullptr);
    if (xcb_connection_has_error(connection) != 0) {
      xcb_disconnect(connection);
      return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const char name[] = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    bool ready = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (atom != nullptr && !ready && std::chrono::steady_clock::now() < deadline) {
      xcb_get_property_reply_t* reply = xcb_get_property_reply(
          connection,
          xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
      ready = reply != nullptr && xcb_get_property_value_length(reply) == 4;
      std::free(reply);
      int status = 0;
      if (!ready && ::waitpid(wmPid_, &status, WNOHANG) == wmPid_) {
        wmPid_ = -1;  // it ended: another manager runs, or it failed
        break;
      }
      if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::free(atom);
    if (ready) ready = WaitUntilWindowsAreFramed(connection, root, deadline);
    xcb_disconnect(connection);
    return ready;
  }

  // Openbox names its check window before it answers requests to map
  // windows, and a request made in between can stay unanswered for good (the
  // window never shows). The desktop is ready once a window of the rig's own
  // gets its frame; the request is repeated until it does.
  static bool WaitUntilWindowsAreFramed(xcb_connection_t* connection, xcb_window_t root,
                                        std::chrono::steady_clock::time_point deadline) {
    const xcb_window_t probe = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, probe, root, 0, 0, 16, 16, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    bool framed = false;
    auto nextMap = std::chrono::steady_clock::now();
    while (!framed && std::chrono::steady_clock::now() < deadline) {
      if (std::chrono::steady_clock::now() >= nextMap) {
        xcb_map_window(connection, probe);
        nextMap = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
      }
      xcb_query_tree_reply_t* tree =
          xcb_query_tree_reply(connection, xcb_query_tree(connection, probe), nullptr);
      framed = tree != nullptr && tree->parent != root;
      std::free(tree);
      if (!framed) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    xcb_destroy_window(connection, probe);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return framed;
  }

  void StopWindowManager() {
    if (wmPid_ <= 0) return;
    ::kill(wmPid_, SIGTERM);
    int status = 0;
    while (::waitpid(wmPid_, &status, 0) < 0 && errno == EINTR) {
    }
    wmPid_ = -1;
  }

  PrivateXServer server_;
  pid_t wmPid_ = -1;
};

}  // namespace tarn::test
