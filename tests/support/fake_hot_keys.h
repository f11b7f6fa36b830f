#pragma once
// A GlobalHotKeys that grabs nothing: it records what was registered, can
// refuse chosen combinations (as when another program holds them), refuses
// one combination under two ids as the X11 one does, and lets a test press a
// registered combination.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/global_hot_keys.h"

namespace tarn::test {

struct FakeHotKeyState {
  bool started = false;
  bool stopped = false;
  std::map<int, std::pair<int, int>> registered;  // id -> (modifiers, virtual key)
  std::set<std::pair<int, int>> heldElsewhere;    // combinations that fail to register
  std::function<void(int)> onHotKey;

  // Presses a combination; false when no id holds it.
  bool Press(int modifiers, int virtualKey) {
    for (const auto& [id, keys] : registered) {
      if (keys == std::make_pair(modifiers, virtualKey)) {
        if (onHotKey) onHotKey(id);
        return true;
      }
    }
    return false;
  }
};

class FakeHotKeys : public platform::GlobalHotKeys {
 public:
  explicit FakeHotKeys(std::shared_ptr<FakeHotKeyState> state) : state_(std::move(state)) {}
  bool Start(std::function<void(int)> onHotKey) override {
    state_->started = true;
    state_->onHotKey = std::move(onHotKey);
    return true;
  }
  // As on X11: a combination held by another id of this instance is refused.
  bool Register(int id, int modifiers, int virtualKey) override {
    state_->registered.erase(id);
    if (state_->heldElsewhere.count({modifiers, virtualKey}) != 0) return false;
    for (const auto& [otherId, keys] : state_->registered) {
      if (keys == std::make_pair(modifiers, virtualKey)) return false;
    }
    state_->registered[id] = {modifiers, virtualKey};
    return true;
  }
  bool Unregister(int id) override { return state_->registered.erase(id) != 0; }
  void Stop() override {
    state_->stopped = true;
    state_->registered.clear();
  }

 private:
  std::shared_ptr<FakeHotKeyState> state_;
};

// Identifiers as a display would give them: distinct per name, stable.
inline int FakeHotKeyIdentifier(const std::string& name) {
  return static_cast<int>((std::hash<std::string>{}(name) % 0x3000) + 0x100);
}

}  // namespace tarn::test
