#include "console/windows/help_window.h"

#include "console/core/output_text.h"

#include <QByteArray>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

#include <string_view>

namespace corvane {

HelpWindow::HelpWindow(QWidget* mainWindow, UiServices& ui)
    : HelpWindow(mainWindow, ui, QStringLiteral("Corvane 2.0 - Help")) {}

HelpWindow::HelpWindow(QWidget* mainWindow, UiServices& ui, const QString& caption)
    : SecondaryWindow(mainWindow, ui), text_(new QPlainTextEdit(this)) {
  setWindowTitle(caption);
  text_->setReadOnly(true);
  // The help file is laid out in columns for a fixed-width font.
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(text_);
  resize(640, 480);
}

bool HelpWindow::loadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error_ = file.errorString();
    return false;
  }
  // Read one byte past the limit, so a file that grew since its size was taken is refused too.
  const QByteArray bytes = file.read(kMaxFileSize + 1);
  if (file.error() != QFileDevice::NoError) {
    error_ = file.errorString();
    return false;
  }
  if (bytes.size() > kMaxFileSize) {
    error_ = QStringLiteral("The file is larger than %1 bytes").arg(kMaxFileSize);
    return false;
  }
  error_.clear();
  text_->setPlainText(OutputText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
  text_->moveCursor(QTextCursor::Start);
  return true;
}

QString HelpWindow::text() const { return text_->toPlainText(); }

}  // namespace corvane
