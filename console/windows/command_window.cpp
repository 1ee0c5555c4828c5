#include "console/windows/command_window.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "console/core/job_editor.h"
#include "console/windows/editor_ui.h"

namespace corvane {
namespace {

QFont Bold(QFont font) {
  font.setBold(true);
  return font;
}

// Resizable, with a system menu, a maximize box and the close button; no minimize box.
constexpr Qt::WindowFlags kCommandWindowFlags = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                                                Qt::WindowCloseButtonHint;

}  // namespace

CommandWindow::CommandWindow(QWidget* mainWindow, UiServices& ui)
    : SecondaryWindow(mainWindow, ui, kCommandWindowFlags) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Command"));
  resize(460, 300);

  commandText_ = new QPlainTextEdit(this);
  commandText_->setLineWrapMode(QPlainTextEdit::NoWrap);
  commandText_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  commandText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setFont(Bold(okButton_->font()));
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton_->setFont(Bold(cancelButton_->font()));

  // The memo fills the window above the buttons and grows with it; the buttons keep to the lower
  // right corner.
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(commandText_, 1);
  layout->addLayout(buttons);

  connect(okButton_, &QPushButton::clicked, this, [this] { onOk(); });
  connect(cancelButton_, &QPushButton::clicked, this, [this] { onCancel(); });
}

CommandWindow::~CommandWindow() = default;

void CommandWindow::editCommand(const std::string& job, const std::vector<std::string>& lines) {
  commandText_->clear();
  QStringList text;
  for (const std::string& line : lines) text.append(Latin1Text(line));
  commandText_->setPlainText(text.join(QLatin1Char('\n')));
  job_ = job;
  present();
}

void CommandWindow::onOk() {
  Guarded(Ui(), this, [this] {
    std::vector<std::string> lines;
    for (const QString& line : commandText_->toPlainText().split(QLatin1Char('\n'))) {
      std::optional<std::string> bytes = Latin1Bytes(line);
      if (!bytes) {
        Ui().Message(this, QString::fromLatin1(kCommandNotLatin1));
        commandText_->setFocus();
        return;
      }
      lines.push_back(std::move(*bytes));
    }
    taken_ = false;
    emit commandAccepted(job_, JoinCommandLines(lines));
    if (!taken_) {
      Ui().Message(this, QString::fromLatin1(kCommandJobNotShown).arg(Latin1Text(job_)));
      return;
    }
    hide();  // the text stays until the next opening
  });
}

void CommandWindow::commandTaken() { taken_ = true; }

void CommandWindow::onCancel() {
  commandText_->clear();
  hide();
}

}  // namespace corvane
