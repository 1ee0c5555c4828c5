#include "console/command_window.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "console/editor_ui.h"
#include "console/job_editor.h"
#include "console/job_window.h"
#include "console/main_window.h"
#include "console/preferences.h"

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

TForm7::TForm7(TForm1& form1) : SecondaryWindow(&form1, form1.Ui(), kCommandWindowFlags), form1_(form1) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Command"));
  resize(460, 300);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Button2 = new QPushButton(QStringLiteral("OK"), this);
  Button2->setFont(Bold(Button2->font()));
  Button1 = new QPushButton(QStringLiteral("Cancel"), this);
  Button1->setFont(Bold(Button1->font()));

  // The memo fills the window above the buttons and grows with it; the buttons keep to the lower
  // right corner.
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button2);
  buttons->addWidget(Button1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(Memo1, 1);
  layout->addLayout(buttons);

  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  FormCreate();
}

TForm7::~TForm7() = default;

void TForm7::FormCreate() {
  Guarded(Ui(), this, [this] {
    if (form1_.tray1 != nullptr) {
      form1_.tray1->SetEnabled(form1_.ReadKeyint(pref::MINIMIZE, pref::kMinimizeDefault) == 1);
    }
  });
}

void TForm7::Open(const std::vector<std::string>& lines, std::uint64_t serial, const std::string& job) {
  Memo1->clear();
  QStringList text;
  for (const std::string& line : lines) text.append(Latin1Text(line));
  Memo1->setPlainText(text.join(QLatin1Char('\n')));
  serial_ = serial;
  job_ = job;
  present();
}

void TForm7::Button2Click() {
  Guarded(Ui(), this, [this] {
    std::vector<std::string> lines;
    for (const QString& line : Memo1->toPlainText().split(QLatin1Char('\n'))) {
      std::optional<std::string> bytes = Latin1Bytes(line);
      if (!bytes) {
        Ui().Message(this, QString::fromLatin1(kCommandNotLatin1));
        return;
      }
      lines.push_back(std::move(*bytes));
    }
    auto* form6 = qobject_cast<TForm6*>(form1_.Windows().Form6.data());
    if (form6 == nullptr || !form6->TakeCommand(serial_, JoinCommandLines(lines))) {
      Ui().Message(this, QString::fromLatin1(kCommandJobChanged).arg(Latin1Text(job_)));
      return;
    }
    hide();  // the memo keeps its text until the next opening
  });
}

void TForm7::Button1Click() {
  Memo1->clear();
  hide();
}

}  // namespace corvane
