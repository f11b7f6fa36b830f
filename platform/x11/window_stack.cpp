// The visible windows of an X display as a tree, read through XCB on a
// connection of its own. Each level of the tree costs one round trip: every
// request for the windows of a level is sent before the first reply is read.

#include "platform/window_stack.h"

#include <glog/logging.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <unordered_set>
#include <utility>

#include "platform/x11/xcb_connection.h"

namespace tarn::platform {
namespace {

using x11::XcbPtr;

// Guards against a tree that never ends (a server bug) or one too large to
// be of use for pointing at windows.
constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxWindows = 20000;
// Property lengths are asked for in 32-bit units: enough for a title of
// kWindowTitleMaxChars characters of up to four bytes, and for the list of
// client windows of any real desktop.
constexpr std::uint32_t kTitleUnits = kWindowTitleMaxChars;
constexpr std::uint32_t kClientListUnits = 65536;

enum AtomId {
  kClientListStacking,
  kFrameExtents,
  kNetWmState,
  kNetWmStateHidden,
  kNetWmName,
  kUtf8String,
  kAtomCount
};
constexpr std::array<const char*, kAtomCount> kAtomNames = {
    "_NET_CLIENT_LIST_STACKING", "_NET_FRAME_EXTENTS", "_NET_WM_STATE",
    "_NET_WM_STATE_HIDDEN",      "_NET_WM_NAME",       "UTF8_STRING"};
using Atoms = std::array<xcb_atom_t, kAtomCount>;

// The requests of one window, sent and not yet answered.
struct PendingWindow {
  xcb_window_t window = 0;
  bool managed = false;  // a window manager's client: has a frame and a state
  xcb_get_window_attributes_cookie_t attributes{};
  xcb_get_geometry_cookie_t geometry{};
  xcb_translate_coordinates_cookie_t origin{};
  xcb_get_property_cookie_t netName{};
  xcb_get_property_cookie_t name{};
  xcb_query_tree_cookie_t children{};
  xcb_get_property_cookie_t frameExtents{};
  xcb_get_property_cookie_t netState{};
};

// A list of siblings still to be read, bottom first, and where their nodes go.
struct PendingLevel {
  std::vector<WindowNode>* nodes = nullptr;
  std::vector<xcb_window_t> windows;
};

PendingWindow SendRequests(xcb_connection_t* c, xcb_window_t root, xcb_window_t window,
                           bool managed, const Atoms& atoms) {
  PendingWindow p;
  p.window = window;
  p.managed = managed;
  p.attributes = xcb_get_window_attributes(c, window);
  p.geometry = xcb_get_geometry(c, window);
  p.origin = xcb_translate_coordinates(c, window, root, 0, 0);
  p.netName = xcb_get_property(c, 0, window, atoms[kNetWmName], atoms[kUtf8String], 0, kTitleUnits);
  p.name =
      xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, kTitleUnits);
  p.children = xcb_query_tree(c, window);
  if (managed) {
    p.frameExtents = xcb_get_property(c, 0, window, atoms[kFrameExtents], XCB_ATOM_CARDINAL, 0, 4);
    p.netState = xcb_get_property(c, 0, window, atoms[kNetWmState], XCB_ATOM_ATOM, 0, 64);
  }
  return p;
}

// Latin-1 (the type STRING of ICCCM) to UTF-8.
std::string Latin1ToUtf8(const char* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      out.push_back(static_cast<char>(byte));
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return out;
}

// The first kWindowTitleMaxChars characters of a UTF-8 text, never ending in
// a cut multi-byte sequence; stops at a NUL.
std::string CutTitle(std::string text) {
  text.resize(std::strlen(text.c_str()));
  std::size_t chars = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (chars == kWindowTitleMaxChars || i + length > text.size()) break;
    i += length;
    ++chars;
  }
  text.resize(i);
  return text;
}

std::string TitleOf(xcb_get_property_reply_t* netName, xcb_get_property_reply_t* name,
                    const Atoms& atoms) {
  if (netName != nullptr && xcb_get_property_value_length(netName) > 0) {
    return CutTitle(std::string(static_cast<const char*>(xcb_get_property_value(netName)),
                                static_cast<std::size_t>(xcb_get_property_value_length(netName))));
  }
  if (name == nullptr || xcb_get_property_value_length(name) <= 0) return {};
  const auto* text = static_cast<const char*>(xcb_get_property_value(name));
  const auto length = static_cast<std::size_t>(xcb_get_property_value_length(name));
  if (name->type == atoms[kUtf8String]) return CutTitle(std::string(text, length));
  // STRING is Latin-1; COMPOUND_TEXT is taken as Latin-1 too, which is right
  // for its plain ASCII titles.
  return CutTitle(Latin1ToUtf8(text, length));
}

bool HasAtom(xcb_get_property_reply_t* reply, xcb_atom_t wanted) {
  if (reply == nullptr || reply->format != 32) return false;
  const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
  const int count = xcb_get_property_value_length(reply) / 4;
  return std::find(atoms, atoms + count, wanted) != atoms + count;
}

// Reads the replies of one window. The node when the window is shown, with
// the ids of its children (bottom first) in `childWindows`.
std::optional<WindowNode> Collect(xcb_connection_t* c, const PendingWindow& p, const Atoms& atoms,
                                  std::vector<xcb_window_t>& childWindows) {
  // Every reply is taken, so none stays queued in the connection.
  XcbPtr<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(c, p.attributes, nullptr));
  XcbPtr<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, p.geometry, nullptr));
  XcbPtr<xcb_translate_coordinates_reply_t> origin(
      xcb_translate_coordinates_reply(c, p.origin, nullptr));
  XcbPtr<xcb_get_property_reply_t> netName(xcb_get_property_reply(c, p.netName, nullptr));
  XcbPtr<xcb_get_property_reply_t> name(xcb_get_property_reply(c, p.name, nullptr));
  XcbPtr<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, p.children, nullptr));
  XcbPtr<xcb_get_property_reply_t> extents;
  XcbPtr<xcb_get_property_reply_t> state;
  if (p.managed) {
    extents.reset(xcb_get_property_reply(c, p.frameExtents, nullptr));
    state.reset(xcb_get_property_reply(c, p.netState, nullptr));
  }
  // A window destroyed meanwhile answers with errors: it is left out.
  if (!attributes || !geometry || !origin) return std::nullopt;
  if (attributes->map_state != XCB_MAP_STATE_VIEWABLE) return std::nullopt;
  if (p.managed && HasAtom(state.get(), atoms[kNetWmStateHidden])) return std::nullopt;

  WindowNode node;
  node.window = p.window;
  node.title = TitleOf(netName.get(), name.get(), atoms);
  const int border = geometry->border_width;
  node.rect = {origin->dst_x - border, origin->dst_y - border, geometry->width + 2 * border,
               geometry->height + 2 * border};
  if (extents && extents->format == 32 && xcb_get_property_value_length(extents.get()) == 16) {
    // left, right, top, bottom
    const auto* e = static_cast<const std::uint32_t*>(xcb_get_property_value(extents.get()));
    node.rect.x -= static_cast<int>(e[0]);
    node.rect.y -= static_cast<int>(e[2]);
    node.rect.width += static_cast<int>(e[0] + e[1]);
    node.rect.height += static_cast<int>(e[2] + e[3]);
  }
  if (tree) {
    const xcb_window_t* ids = xcb_query_tree_children(tree.get());
    childWindows.assign(ids, ids + xcb_query_tree_children_length(tree.get()));
  }
  return node;
}

std::optional<Atoms> InternAtoms(xcb_connection_t* c) {
  std::array<xcb_intern_atom_cookie_t, kAtomCount> cookies;
  for (int i = 0; i < kAtomCount; ++i) {
    cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(kAtomNames[i])),
                                 kAtomNames[i]);
  }
  Atoms atoms{};
  bool complete = true;
  for (int i = 0; i < kAtomCount; ++i) {
    XcbPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookies[i], nullptr));
    complete = complete && reply != nullptr;
    atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }
  if (!complete) return std::nullopt;
  return atoms;
}

// The top-level windows, bottom first: the window manager's clients when it
// lists them (`managed`), else the children of the root window.
std::vector<xcb_window_t> TopLevelWindows(xcb_connection_t* c, xcb_window_t root,
                                          const Atoms& atoms, bool& managed) {
  const auto listCookie = xcb_get_property(c, 0, root, atoms[kClientListStacking], XCB_ATOM_WINDOW,
                                           0, kClientListUnits);
  const auto treeCookie = xcb_query_tree(c, root);
  XcbPtr<xcb_get_property_reply_t> list(xcb_get_property_reply(c, listCookie, nullptr));
  XcbPtr<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, treeCookie, nullptr));
  managed = list && list->format == 32 && xcb_get_property_value_length(list.get()) > 0;
  if (managed) {
    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
    return {ids, ids + xcb_get_property_value_length(list.get()) / 4};
  }
  if (!tree) return {};
  const xcb_window_t* ids = xcb_query_tree_children(tree.get());
  return {ids, ids + xcb_query_tree_children_length(tree.get())};
}

// Reads one level of siblings lists; returns the lists of the level below.
std::vector<PendingLevel> ReadLevel(xcb_connection_t* c, xcb_window_t root,
                                    std::vector<PendingLevel>& level, bool managed,
                                    const Atoms& atoms,
                                    const std::unordered_set<xcb_window_t>& excluded,
                                    std::size_t& budget) {
  std::vector<std::vector<PendingWindow>> pending(level.size());
  for (std::size_t i = 0; i < level.size(); ++i) {
    for (const xcb_window_t window : level[i].windows) {
      if (excluded.count(window) != 0 || budget == 0) continue;
      --budget;
      pending[i].push_back(SendRequests(c, root, window, managed, atoms));
    }
  }
  std::vector<PendingLevel> below;
  for (std::size_t i = 0; i < level.size(); ++i) {
    std::vector<WindowNode>& nodes = *level[i].nodes;
    std::vector<std::vector<xcb_window_t>> childWindows;
    int zIndex = 0;
    for (const PendingWindow& p : pending[i]) {
      std::vector<xcb_window_t> children;
      std::optional<WindowNode> node = Collect(c, p, atoms, children);
      ++zIndex;
      if (!node) continue;
      node->zIndex = zIndex - 1;
      nodes.push_back(std::move(*node));
      childWindows.push_back(std::move(children));
    }
    // Topmost first, as WindowUnderPoint looks at children.
    std::reverse(nodes.begin(), nodes.end());
    std::reverse(childWindows.begin(), childWindows.end());
    // `nodes` is complete: pointers to its elements' children stay valid.
    for (std::size_t n = 0; n < nodes.size(); ++n) {
      if (!childWindows[n].empty())
        below.push_back({&nodes[n].children, std::move(childWindows[n])});
    }
  }
  return below;
}

}  // namespace

bool ReadWindowStack(const std::vector<std::uint32_t>& excluded, std::vector<WindowNode>& tree,
                     std::string& whyNot) {
  tree.clear();
  std::optional<x11::Connection> connection = x11::Connect(whyNot);
  if (!connection) return false;
  xcb_connection_t* c = connection->connection.get();
  const xcb_window_t root = connection->screen->root;
  x11::SigpipeGuard pipeGuard;

  const std::optional<Atoms> atoms = InternAtoms(c);
  if (!atoms) {
    whyNot = "the X server " + connection->displayName +
             " did not answer: " + x11::ConnectionErrorText(xcb_connection_has_error(c));
    return false;
  }
  bool managed = false;
  std::vector<PendingLevel> level = {{&tree, TopLevelWindows(c, root, *atoms, managed)}};
  const std::unordered_set<xcb_window_t> skipped(excluded.begin(), excluded.end());
  std::size_t budget = kMaxWindows;
  for (int depth = 0; depth < kMaxDepth && !level.empty(); ++depth) {
    // Only the top level are a window manager's clients.
    level = ReadLevel(c, root, level, managed && depth == 0, *atoms, skipped, budget);
  }
  if (budget == 0) {
    LOG(WARNING) << "window stack: more than " << kMaxWindows << " windows, the rest left out";
  }
  if (const int error = xcb_connection_has_error(c); error != 0) {
    whyNot = "lost the X server " + connection->displayName +
             " while reading its windows: " + x11::ConnectionErrorText(error);
    tree.clear();
    return false;
  }
  return true;
}

}  // namespace tarn::platform
