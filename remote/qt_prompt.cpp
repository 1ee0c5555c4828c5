#include "remote/qt_prompt.h"

#include <QApplication>
#include <QByteArray>
#include <QCursor>
#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QString>
#include <QThread>
#include <QWidget>

#include <algorithm>

namespace corvane {

namespace {

QApplication* GuiApplication() noexcept { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

bool OnGuiThread(const QApplication* app) noexcept { return QThread::currentThread() == app->thread(); }

// 8-bit texts map byte for byte onto Latin-1 and back.
QString FromBytes(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The bytes of a text typed on screen; nothing when it holds a character outside Latin-1, which no
// 8-bit byte of the command stands for.
std::optional<std::string> ToBytes(const QString& text) {
  const bool latin1 = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
  if (!latin1) return std::nullopt;
  const QByteArray bytes = text.toLatin1();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Shows the modal prompt; runs on the GUI thread. An answer that the command cannot carry is
// refused with a message and asked for again, with the text as typed in the field to be corrected.
std::optional<std::string> AskOnGuiThread(std::uintptr_t owner_window, std::string_view caption,
                                          std::string_view prompt, std::string_view preset) noexcept {
  try {
    QWidget* owner = owner_window != 0 ? QWidget::find(static_cast<WId>(owner_window)) : nullptr;
    if (owner != nullptr) owner = owner->window();
    QString typed = FromBytes(preset);
    for (;;) {
      QInputDialog dialog(owner);
      dialog.setInputMode(QInputDialog::TextInput);
      dialog.setWindowTitle(FromBytes(caption));
      dialog.setLabelText(FromBytes(prompt));
      // A variable name is shown as it is written, never as markup.
      for (QLabel* label : dialog.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
      dialog.setTextValue(typed);
      if (dialog.exec() != QDialog::Accepted) return std::nullopt;
      typed = dialog.textValue();
      if (std::optional<std::string> bytes = ToBytes(typed)) return bytes;
      QMessageBox::information(owner, FromBytes(caption), QString::fromLatin1(kAnswerNotLatin1Text),
                               QMessageBox::Ok);
    }
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

QtRunUi::~QtRunUi() {
  if (busy_) SetBusy(false);
}

std::optional<std::string> QtRunUi::AskValue(std::string_view caption, std::string_view prompt,
                                             std::string_view preset) {
  QApplication* app = GuiApplication();
  if (app == nullptr) return std::nullopt;
  std::optional<std::string> answer;
  const auto ask = [&] { answer = AskOnGuiThread(ownerWindow_, caption, prompt, preset); };
  if (OnGuiThread(app)) {
    ask();
  } else {
    QMetaObject::invokeMethod(app, ask, Qt::BlockingQueuedConnection);
  }
  return answer;
}

void QtRunUi::SetBusy(bool busy) {
  if (busy == busy_) return;
  QApplication* app = GuiApplication();
  if (app == nullptr) return;
  busy_ = busy;
  const auto apply = [busy] {
    if (busy) {
      QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    } else {
      QApplication::restoreOverrideCursor();
    }
  };
  if (OnGuiThread(app)) {
    apply();
  } else {
    QMetaObject::invokeMethod(app, apply, Qt::QueuedConnection);
  }
}

}  // namespace corvane
