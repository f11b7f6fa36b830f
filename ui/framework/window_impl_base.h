#pragma once
// The window base every window of the program derives from.
//
// A window names its layout (a Qt Designer file in the skin folder), finds its
// controls by name in InitWindow, hears its controls' notifications in Notify
// as (type, sender name) pairs, and handles private messages in
// HandleCustomMessage. Modal use returns 1 for confirm and 0 for cancel.
// UI thread only, except where a comment says otherwise.

#include <QPointer>
#include <QString>
#include <QWidget>
#include <map>
#include <memory>
#include <stdexcept>

class QEventLoop;
class QTimer;

namespace tarn::ui {

// The class part of every window's X11 WM_CLASS; the instance part is the
// window's class name ("CMainWnd", "SuspendDialog" ...).
inline constexpr const char* kProgramWindowClass = "TarnRecorder";

// Notification types sent to Notify.
inline constexpr const char* kNotifyClick = "click";
inline constexpr const char* kNotifySelectChanged = "selectchanged";
inline constexpr const char* kNotifyValueChanged = "valuechanged";
inline constexpr const char* kNotifyTextChanged = "textchanged";
inline constexpr const char* kNotifyItemClick = "itemclick";
inline constexpr const char* kNotifyItemSelect = "itemselect";

// One notification of a control.
struct TNotifyUI {
  QString sType;        // one of the kNotify... types
  QString senderName;   // the control's name in the layout
  QWidget* pSender = nullptr;
  int wParam = 0;       // the new value, index or checked state, where the type has one
};

// A failure to initialise a window; the text names the method
// ("CToolWindow::Init: ...").
class WindowInitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class WindowImplBase : public QWidget {
  Q_OBJECT

 public:
  WindowImplBase();
  ~WindowImplBase() override;

  // The folder layouts are loaded from; by default the "skin" folder of the
  // program's files (platform::DataDir()).
  static void SetResourcePath(const QString& dir);
  static QString GetResourcePath();
  // Loads what all windows share from the skin folder: the style sheet
  // "style.qss" and the "skin:" search path for images. False when the style
  // sheet is missing (the windows then keep Qt's own look).
  static bool LoadSharedResources();

  // Loads the layout, wires the controls' notifications and runs InitWindow.
  // `parent` makes the window a dialog of that window. Throws WindowInitError
  // naming the method when the layout or a required control is missing.
  void Create(QWidget* parent, const QString& title);

  // Shows the window modally and returns the value given to Close (0 when the
  // user closes it any other way). Create must have succeeded.
  int ShowModal();

  // Closes the window; a modal loop returns `result`.
  void Close(int result = 0);

  // Centres the window on its parent, or on the screen without one.
  void CenterWindow();

  // Starts (or restarts) the window timer `id`: every `periodMs` the window
  // receives kWmTimer with wParam = id in HandleCustomMessage.
  void SetTimer(int id, int periodMs);
  // Stops the window timer `id`; nothing happens when it is not running.
  void KillTimer(int id);
  bool IsTimerRunning(int id) const;

  // Wires the notifications of every named control below `root`; used for
  // rows and menus loaded after Create.
  void BindControls(QWidget* root);

  // The control called `name` of the given kind, or nullptr.
  template <class T>
  T* FindControl(const QString& name) const {
    return findChild<T*>(name);
  }

  // As FindControl, but a missing control throws WindowInitError naming
  // "<Class>::InitWindow".
  template <class T>
  T* RequireControl(const QString& name) const {
    if (T* control = FindControl<T>(name)) return control;
    throw WindowInitError(MissingControlText(name).toStdString());
  }

  // The class name without namespaces, for diagnostics ("CMainWnd").
  QString ClassName() const;

 protected:
  // The layout file in the skin folder ("MainWindow.ui").
  virtual QString GetSkinFile() const = 0;
  // The window class name of this kind of window.
  virtual QString GetWindowClassName() const = 0;
  virtual void InitWindow() {}
  virtual void Notify(const TNotifyUI& msg) { (void)msg; }
  // Private messages; set `handled` to stop further handling.
  virtual qintptr HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                                      bool& handled);
  // Asked before the window closes; `wParam` is the close message's parameter.
  // Return false to keep the window.
  virtual bool OnClose(quintptr wParam) {
    (void)wParam;
    return true;
  }
  // Called once when the window has closed for good.
  virtual void OnFinalMessage() {}

  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QString MissingControlText(const QString& name) const;
  void ApplyNativeWindowClass();
  void SendNotify(QWidget* sender, const char* type, int wParam);
  void DispatchMessage(unsigned message, quintptr wParam, qintptr lParam);

  static QString resourcePath_;
  QPointer<QWidget> form_;
  QEventLoop* modalLoop_ = nullptr;
  int modalResult_ = 0;
  quintptr closeParam_ = 0;
  bool finalDelivered_ = false;
  std::map<int, std::unique_ptr<QTimer>> timers_;  // by window timer id
};

}  // namespace tarn::ui
