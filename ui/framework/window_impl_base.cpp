#include "ui/framework/window_impl_base.h"

#include <cxxabi.h>
#include <glog/logging.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSpinBox>
#include <QTextEdit>
#include <QTimer>
#include <QUiLoader>
#include <QVBoxLayout>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "platform/native_window.h"
#include "platform/program_dir.h"
#include "ui/framework/custom_message.h"

namespace tarn::ui {

QString WindowImplBase::resourcePath_;

WindowImplBase::WindowImplBase() : QWidget(nullptr) {}

WindowImplBase::~WindowImplBase() {
  // A window destroyed while its modal loop runs must not leave the loop waiting.
  if (modalLoop_ != nullptr) modalLoop_->quit();
}

void WindowImplBase::SetResourcePath(const QString& dir) {
  resourcePath_ = dir;
  if (!resourcePath_.isEmpty() && !resourcePath_.endsWith('/')) resourcePath_ += '/';
}

QString WindowImplBase::GetResourcePath() {
  if (resourcePath_.isEmpty()) return QString::fromStdString(platform::DataDir()) + "/skin/";
  return resourcePath_;
}

bool WindowImplBase::LoadSharedResources() {
  const QString dir = GetResourcePath();
  QDir::setSearchPaths("skin", {dir});
  QFile style(dir + "style.qss");
  if (!style.open(QIODevice::ReadOnly)) {
    LOG(ERROR) << "cannot open the style sheet " << style.fileName().toStdString() << ": "
               << style.errorString().toStdString();
    return false;
  }
  qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
  return true;
}

QString WindowImplBase::ClassName() const {
  // The dynamic type's name, which every subclass has with or without Q_OBJECT.
  const char* mangled = typeid(*this).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  QString name = QString::fromLatin1(status == 0 && demangled ? demangled.get() : mangled);
  const qsizetype colon = name.lastIndexOf(':');
  return colon >= 0 ? name.mid(colon + 1) : name;
}

QString WindowImplBase::MissingControlText(const QString& name) const {
  return ClassName() + "::InitWindow: control \"" + name + "\" is missing from the layout " +
         GetSkinFile();
}

void WindowImplBase::Create(QWidget* parent, const QString& title) {
  const QString method = ClassName() + "::Init";
  const QString skinFile = GetSkinFile();
  if (skinFile.isEmpty()) throw WindowInitError((method + ": no layout named").toStdString());
  const QString path = GetResourcePath() + skinFile;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw WindowInitError(
        (method + ": cannot open the layout " + path + ": " + file.errorString()).toStdString());
  }
  QUiLoader loader;
  loader.setWorkingDirectory(QDir(GetResourcePath()));
  QWidget* form = loader.load(&file, this);
  if (form == nullptr) {
    throw WindowInitError(
        (method + ": cannot load the layout " + path + ": " + loader.errorString()).toStdString());
  }
  form_ = form;

  setParent(parent, parent != nullptr ? Qt::Dialog : Qt::Window);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(form);
  resize(form->size().expandedTo(form->minimumSizeHint()).boundedTo(form->maximumSize()));
  setMinimumSize(form->minimumSize());
  // A layout that caps its size caps the window's: no bare margin beside it.
  setMaximumSize(form->maximumSize());
  setWindowTitle(title.isEmpty() ? form->windowTitle() : title);
  // The class name lets style sheets address each kind of window.
  setProperty("windowClass", GetWindowClassName());

  BindControls(form);
  try {
    InitWindow();
  } catch (const WindowInitError&) {
    throw;
  } catch (const std::exception& error) {
    throw WindowInitError((ClassName() + "::InitWindow: " + error.what()).toStdString());
  }
}

void WindowImplBase::BindControls(QWidget* root) {
  if (root == nullptr) return;
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* widget : widgets) {
    const QString name = widget->objectName();
    if (name.isEmpty() || name.startsWith("qt_")) continue;
    // A control is wired once even when BindControls meets it again.
    if (widget->property("tarnBound").toBool()) continue;
    widget->setProperty("tarnBound", true);

    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      connect(button, &QAbstractButton::clicked, this,
              [this, button](bool checked) { SendNotify(button, kNotifyClick, checked ? 1 : 0); });
      if (button->isCheckable()) {
        connect(button, &QAbstractButton::toggled, this, [this, button](bool checked) {
          SendNotify(button, kNotifySelectChanged, checked ? 1 : 0);
        });
      }
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
      connect(slider, &QAbstractSlider::valueChanged, this,
              [this, slider](int value) { SendNotify(slider, kNotifyValueChanged, value); });
    } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
      connect(spin, &QSpinBox::valueChanged, this,
              [this, spin](int value) { SendNotify(spin, kNotifyValueChanged, value); });
    } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
      connect(line, &QLineEdit::textChanged, this,
              [this, line]() { SendNotify(line, kNotifyTextChanged, 0); });
    } else if (auto* text = qobject_cast<QTextEdit*>(widget)) {
      connect(text, &QTextEdit::textChanged, this,
              [this, text]() { SendNotify(text, kNotifyTextChanged, 0); });
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
      connect(plain, &QPlainTextEdit::textChanged, this,
              [this, plain]() { SendNotify(plain, kNotifyTextChanged, 0); });
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      connect(combo, &QComboBox::currentIndexChanged, this,
              [this, combo](int index) { SendNotify(combo, kNotifyItemSelect, index); });
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
      connect(list, &QListWidget::itemClicked, this, [this, list](QListWidgetItem* item) {
        SendNotify(list, kNotifyItemClick, list->row(item));
      });
      connect(list, &QListWidget::currentRowChanged, this,
              [this, list](int row) { SendNotify(list, kNotifyItemSelect, row); });
    }
  }
}

void WindowImplBase::SendNotify(QWidget* sender, const char* type, int wParam) {
  TNotifyUI msg;
  msg.sType = QString::fromLatin1(type);
  msg.senderName = sender->objectName();
  msg.pSender = sender;
  msg.wParam = wParam;
  try {
    Notify(msg);
  } catch (const std::exception& error) {
    // A handler's failure must not unwind through Qt's signal machinery.
    LOG(ERROR) << ClassName().toStdString() << "::Notify " << msg.sType.toStdString() << " "
               << msg.senderName.toStdString() << " failed: " << error.what();
  }
}

qintptr WindowImplBase::HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                                            bool& handled) {
  (void)lParam;
  if (message == kWmClose) {
    closeParam_ = wParam;
    handled = true;
    close();
  }
  return 0;
}

void WindowImplBase::SetTimer(int id, int periodMs) {
  auto& timer = timers_[id];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    connect(timer.get(), &QTimer::timeout, this,
            [this, id] { DispatchMessage(kWmTimer, static_cast<quintptr>(id), 0); });
  }
  timer->start(periodMs);
}

void WindowImplBase::KillTimer(int id) {
  const auto found = timers_.find(id);
  if (found != timers_.end()) found->second->stop();
}

bool WindowImplBase::IsTimerRunning(int id) const {
  const auto found = timers_.find(id);
  return found != timers_.end() && found->second->isActive();
}

void WindowImplBase::DispatchMessage(unsigned message, quintptr wParam, qintptr lParam) {
  CustomMessageEvent event(message, wParam, lParam);
  this->event(&event);
}

bool WindowImplBase::event(QEvent* event) {
  if (event->type() == CustomMessageEvent::Type()) {
    auto* message = static_cast<CustomMessageEvent*>(event);
    bool handled = false;
    qintptr result = 0;
    try {
      result = HandleCustomMessage(message->message(), message->wParam(), message->lParam(),
                                   handled);
    } catch (const std::exception& error) {
      LOG(ERROR) << ClassName().toStdString() << "::HandleCustomMessage " << message->message()
                 << " failed: " << error.what();
    }
    // The framework's own handling of the close message runs when no handler took it.
    if (!handled && message->message() == kWmClose) {
      WindowImplBase::HandleCustomMessage(message->message(), message->wParam(),
                                          message->lParam(), handled);
    }
    message->setResult(result);
    message->setAccepted(handled);
    return true;
  }
  if (event->type() == QEvent::Show && isWindow()) ApplyNativeWindowClass();
  return QWidget::event(event);
}

void WindowImplBase::ApplyNativeWindowClass() {
  // Sent before the native window is mapped, so window managers see the
  // name when they first manage the window.
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr) return;  // not on X11 (the offscreen platform of tests)
  platform::SetWindowClass(x11->connection(), static_cast<std::uint32_t>(winId()),
                           ClassName().toStdString(), kProgramWindowClass);
}

void WindowImplBase::closeEvent(QCloseEvent* event) {
  const quintptr param = closeParam_;
  closeParam_ = 0;
  bool allow = true;
  try {
    allow = OnClose(param);
  } catch (const std::exception& error) {
    LOG(ERROR) << ClassName().toStdString() << "::OnClose failed: " << error.what();
  }
  if (!allow) {
    event->ignore();
    return;
  }
  event->accept();
  if (modalLoop_ != nullptr) modalLoop_->quit();
  if (!finalDelivered_) {
    finalDelivered_ = true;
    OnFinalMessage();
  }
}

int WindowImplBase::ShowModal() {
  if (modalLoop_ != nullptr) return 0;  // already running modally
  modalResult_ = 0;
  finalDelivered_ = false;
  setWindowModality(Qt::ApplicationModal);
  CenterWindow();
  show();
  raise();
  activateWindow();
  QEventLoop loop;
  modalLoop_ = &loop;
  loop.exec(QEventLoop::DialogExec);
  modalLoop_ = nullptr;
  hide();
  return modalResult_;
}

void WindowImplBase::Close(int result) {
  modalResult_ = result;
  close();
}

void WindowImplBase::CenterWindow() {
  QRect area;
  if (QWidget* owner = parentWidget(); owner != nullptr && owner->isVisible()) {
    area = owner->window()->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isEmpty()) return;
  QRect frame = frameGeometry();
  frame.moveCenter(area.center());
  move(frame.topLeft());
}

}  // namespace tarn::ui
