// Snapshot selector benchmark: a desktop of WINDOWS managed windows (each
// with three native child windows), the selector opened over it, then MOVES
// pointer moves at random places and MOVES a few pixels apart. Prints the time
// the selector takes to open (picture, window tree, first paint), the cost of
// one window lookup, and for moves that change the highlighted window and
// for moves that keep it: the time from the pointer event to the finished
// repaint, and the paint alone.
//
// Usage: selector_bench [windows] [moves] [--here] [--hold SECONDS]
// Defaults: 50 windows, 300 moves, on a private Xvfb 1920x1080 with Openbox.
// --here uses $DISPLAY instead; --hold keeps the selector open afterwards
// (to look at it or take a screenshot).

#include <QApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/window_stack.h"
#include "settings/settings_store.h"
#include "tests/support/qt_wait.h"
#include "tests/support/wm_desktop.h"
#include "ui/overlay/user_define_region.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Summary {
  std::vector<double> totalMs;
  std::vector<double> paintMs;
};

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, std::size_t(fraction * (values.size() - 1) + 0.5))];
}

void Print(const char* what, const Summary& s) {
  std::printf(
      "%-34s %4zu moves  event to painted: median %6.2f  p90 %6.2f  max %6.2f ms"
      "  (paint alone: median %6.2f  max %6.2f ms)\n",
      what, s.totalMs.size(), Percentile(s.totalMs, 0.5), Percentile(s.totalMs, 0.9),
      Percentile(s.totalMs, 1.0), Percentile(s.paintMs, 0.5), Percentile(s.paintMs, 1.0));
}

std::size_t CountNodes(const std::vector<tarn::platform::WindowNode>& nodes) {
  std::size_t count = nodes.size();
  for (const auto& node : nodes) count += CountNodes(node.children);
  return count;
}

// A desktop of `count` coloured windows with three native children each.
std::vector<std::unique_ptr<QWidget>> MakeWindows(int count, std::mt19937& random) {
  std::vector<std::unique_ptr<QWidget>> windows;
  std::uniform_int_distribution<int> x(0, 1500), y(0, 760), w(220, 600), h(160, 400), hue(0, 359);
  for (int i = 0; i < count; ++i) {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QString("window %1").arg(i));
    window->setGeometry(x(random), y(random), w(random), h(random));
    QPalette palette;
    palette.setColor(QPalette::Window, QColor::fromHsv(hue(random), 90, 230));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    for (int c = 0; c < 3; ++c) {
      auto* child = new QWidget(window.get());
      child->setAttribute(Qt::WA_NativeWindow);
      child->setGeometry(10 + c * 70, 10, 60, 40);
      child->setAutoFillBackground(true);
      child->setPalette(QPalette(QColor::fromHsv(hue(random), 160, 200)));
    }
    window->show();
    windows.push_back(std::move(window));
  }
  return windows;
}

// Sends a pointer move to `selector` and returns when it has repainted.
bool MoveAndWait(tarn::ui::CUserDefineRegion& selector, QPoint device, double ratio,
                 Summary& summary) {
  const QPointF logical(device.x() / ratio, device.y() / ratio);
  const int paintsBefore = selector.paintCount();
  const auto start = Clock::now();
  QMouseEvent move(QEvent::MouseMove, logical, selector.mapToGlobal(logical), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&selector, &move);
  const auto deadline = start + std::chrono::seconds(2);
  while (selector.paintCount() == paintsBefore && Clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  if (selector.paintCount() == paintsBefore) return false;
  summary.totalMs.push_back(MsSince(start));
  summary.paintMs.push_back(selector.lastPaintUs() / 1000.0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int windowCount = 50;
  int moves = 300;
  bool here = false;
  int holdSeconds = 0;
  std::vector<int> numbers;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--here") == 0) {
      here = true;
    } else if (std::strcmp(argv[i], "--hold") == 0 && i + 1 < argc) {
      holdSeconds = std::atoi(argv[++i]);
    } else {
      numbers.push_back(std::atoi(argv[i]));
    }
  }
  if (numbers.size() > 0 && numbers[0] > 0) windowCount = numbers[0];
  if (numbers.size() > 1 && numbers[1] > 0) moves = numbers[1];

  std::unique_ptr<tarn::test::WmDesktop> desktop;
  if (!here) {
    desktop = std::make_unique<tarn::test::WmDesktop>();
    std::string whyNot;
    if (!desktop->Start("1920x1080x24", whyNot)) {
      std::fprintf(stderr, "selector_bench: %s\n", whyNot.c_str());
      return 1;
    }
    ::setenv("DISPLAY", desktop->displayName().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  QApplication app(argc, argv);
  tarn::ui::WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR);
  tarn::ui::WindowImplBase::LoadSharedResources();

  std::mt19937 random(20240601);
  const auto windows = MakeWindows(windowCount, random);
  const bool shown = tarn::test::WaitUntil(
      [&] {
        return std::all_of(windows.begin(), windows.end(), [](const auto& w) {
          return w->windowHandle() != nullptr && w->windowHandle()->isExposed();
        });
      },
      30000);
  if (!shown) std::fprintf(stderr, "selector_bench: not every window showed in 30 s\n");
  tarn::test::RunEvents(500);  // let them paint

  char folder[] = "/tmp/selector-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  tarn::SettingsStore settings(std::string(folder) + "/configure.ini");
  bool closed = false;
  const auto opening = Clock::now();
  QPointer<tarn::ui::CUserDefineRegion> selector =
      tarn::ui::CUserDefineRegion::Open(nullptr, settings, [&](bool) { closed = true; });
  if (!selector || !tarn::test::WaitUntil([&] { return selector && selector->isReady(); }, 10000)) {
    std::fprintf(stderr, "selector_bench: the selector did not open\n");
    return 1;
  }
  const double openMs = MsSince(opening);
  const double ratio = selector->devicePixelRatioF();
  std::printf("desktop: %zu top-level windows, %zu windows in all; selector open in %.1f ms\n",
              selector->windowTree().size(), CountNodes(selector->windowTree()), openMs);

  // The lookup alone, at random points.
  std::uniform_int_distribution<int> px(0, selector->monitor().width - 1);
  std::uniform_int_distribution<int> py(0, selector->monitor().height - 1);
  const int lookups = 100000;
  std::size_t found = 0;
  const auto lookupStart = Clock::now();
  for (int i = 0; i < lookups; ++i) {
    found +=
        tarn::platform::WindowUnderPoint(selector->windowTree(), px(random), py(random)) != nullptr;
  }
  std::printf("window lookup: %.2f us each (%zu of %d points on a window)\n",
              MsSince(lookupStart) * 1000.0 / lookups, found, lookups);

  Summary changed, kept;
  QPoint walk(200, 540);
  for (int i = 0; i < 2 * moves; ++i) {
    // Half at random places, half a few pixels apart along a line.
    const QPoint to = i < moves ? QPoint(px(random), py(random)) : (walk += QPoint(3, 0));
    const tarn::ui::TrackerRect before = selector->highlight();
    Summary probe;
    if (!MoveAndWait(*selector, to, ratio, probe)) {
      std::fprintf(stderr, "selector_bench: no repaint after a move to %d,%d\n", to.x(), to.y());
      continue;
    }
    Summary& into = selector->highlight() == before ? kept : changed;
    into.totalMs.push_back(probe.totalMs.back());
    into.paintMs.push_back(probe.paintMs.back());
  }
  Print("moves onto another window:", changed);
  Print("moves within the same window:", kept);

  if (holdSeconds > 0) tarn::test::RunEvents(holdSeconds * 1000);
  selector->close();
  tarn::test::WaitUntil([&] { return closed; }, 5000);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
