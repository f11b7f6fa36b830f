#include "ui/main/recording_list_keys.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QListWidget>

#include "ui/framework/window_impl_base.h"
#include "ui/main/main_messages.h"

namespace tarn::ui {
namespace {

class RowKeys : public QObject {
 public:
  RowKeys(QListWidget* list, WindowImplBase* owner) : QObject(list), owner_(owner) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* list = qobject_cast<QListWidget*>(watched);
    QListWidgetItem* item = list != nullptr ? list->currentItem() : nullptr;
    QWidget* row = item != nullptr ? list->itemWidget(item) : nullptr;
    if (row == nullptr) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const char* button = nullptr;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) button = "playBtn";
    if (key->key() == Qt::Key_Menu || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
      button = "listMenuBtn";
    }
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
      PostMessage(owner_, kWmFileDelete,
                  PackFileMenuRequest({kListRecorded, item->data(Qt::UserRole).toInt()}), 0);
      return true;
    }
    if (button == nullptr) return false;
    if (auto* target = row->findChild<QAbstractButton*>(button)) target->click();
    return true;
  }

 private:
  WindowImplBase* owner_;
};

}  // namespace

void InstallRecordingListKeys(QListWidget* list, WindowImplBase* owner) {
  list->installEventFilter(new RowKeys(list, owner));
}

}  // namespace tarn::ui
