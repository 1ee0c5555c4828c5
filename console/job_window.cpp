#include "console/job_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/command_window.h"
#include "console/main_window.h"

namespace corvane {

TForm6::TForm6(TForm1& form1)
    : SecondaryWindow(&form1, form1.Ui()), form1_(form1), dialogs_(form1.Ui(), this), editor_(form1.c1, dialogs_) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Job"));
  RemoveCaptionButtons();
  setFixedSize(400, 290);

  GroupBox1 = new QGroupBox(QStringLiteral("Job Name"), this);
  GroupBox1->setFont(BoldFont(GroupBox1->font()));
  GroupBox1->setGeometry(8, 8, 384, 100);
  ComboBox1 = new QComboBox(GroupBox1);
  ComboBox1->setEditable(false);
  ComboBox1->setGeometry(12, 26, 208, 24);
  Button2 = new QPushButton(QStringLiteral("New"), GroupBox1);
  Button2->setGeometry(228, 25, 70, 26);
  Button4 = new QPushButton(QStringLiteral("Remove"), GroupBox1);
  Button4->setGeometry(304, 25, 70, 26);
  Label2 = new QLabel(QStringLiteral("Command:"), GroupBox1);
  Label2->setGeometry(12, 64, 76, 22);
  Edit1 = new QLineEdit(GroupBox1);
  Edit1->setGeometry(90, 62, 250, 24);
  Edit1->setValidator(new Latin1Validator(Edit1));
  Button6 = new QPushButton(QStringLiteral("..."), GroupBox1);
  Button6->setGeometry(346, 61, 28, 26);

  GroupBox2 = new QGroupBox(QStringLiteral("Job Variables"), this);
  GroupBox2->setFont(BoldFont(GroupBox2->font()));
  GroupBox2->setGeometry(8, 116, 384, 128);
  ComboBox2 = new QComboBox(GroupBox2);
  ComboBox2->setEditable(false);
  ComboBox2->setGeometry(12, 26, 208, 24);
  Button3 = new QPushButton(QStringLiteral("New"), GroupBox2);
  Button3->setGeometry(228, 25, 70, 26);
  Button5 = new QPushButton(QStringLiteral("Remove"), GroupBox2);
  Button5->setGeometry(304, 25, 70, 26);
  cb1 = new QCheckBox(QStringLiteral("Display"), GroupBox2);
  cb1->setGeometry(12, 58, 120, 22);
  Label1 = new QLabel(QStringLiteral("Value:"), GroupBox2);
  Label1->setGeometry(12, 90, 48, 22);
  Edit2 = new QLineEdit(GroupBox2);
  Edit2->setGeometry(64, 88, 310, 24);
  Edit2->setValidator(new Latin1Validator(Edit2));

  // Only the group captions are bold, not their contents.
  SetRegularFont(font(), {ComboBox1, Button2, Button4, Label2, Edit1, Button6, ComboBox2, Button3, Button5, cb1,
                          Label1, Edit2});

  Button1 = new QPushButton(QStringLiteral("Close"), this);
  Button1->setFont(BoldFont(Button1->font()));
  Button1->setGeometry(308, 254, 84, 28);

  connect(ComboBox1, &QComboBox::activated, this, [this](int) { ComboBox1Change(); });
  connect(ComboBox2, &QComboBox::activated, this, [this](int) { ComboBox2Change(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
  connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  // Ticking (also from code) only changes the pending flag; it is stored with its variable.
  connect(cb1, &QCheckBox::toggled, this, [this](bool checked) { editor_.SetDisplay(checked); });
  ShowState();
}

TForm6::~TForm6() = default;

void TForm6::PushFields() {
  // The validators keep the fields to Latin-1.
  if (std::optional<std::string> command = Latin1Bytes(Edit1->text())) editor_.SetCommand(std::move(*command));
  if (std::optional<std::string> value = Latin1Bytes(Edit2->text())) editor_.SetValue(std::move(*value));
  editor_.SetDisplay(cb1->isChecked());
}

void TForm6::ShowState() {
  ShowNames(ComboBox1, editor_.Jobs(), editor_.CurrentJob());
  ShowNames(ComboBox2, editor_.Variables(), editor_.CurrentJobVariable());
  const QString command = Latin1Text(editor_.Command());
  if (Edit1->text() != command) Edit1->setText(command);
  const QString value = Latin1Text(editor_.Value());
  if (Edit2->text() != value) Edit2->setText(value);
  cb1->setChecked(editor_.Display());
  GroupBox1->setEnabled(editor_.Loaded());
  GroupBox2->setEnabled(editor_.Loaded());
}

template <typename Step>
void TForm6::Handle(Step&& step) {
  PushFields();
  Guarded(Ui(), this, std::forward<Step>(step));
  ShowState();
}

bool TForm6::TakeCommand(std::uint64_t serial, const std::string& command) {
  if (!isVisible() || !editor_.CurrentJob() || serial != editor_.SelectionSerial()) return false;
  editor_.SetCommand(command);
  Edit1->setText(Latin1Text(command));
  return true;
}

void TForm6::FormShow() {
  struct ShowAfter {
    TForm6* window;
    ~ShowAfter() { window->ShowState(); }
  } showAfter{this};
  editor_.FormShow(ProgramPaths::Bytes(form1_.Paths().JobIniPath()));
}

void TForm6::ComboBox1Change() {
  const std::optional<std::string> name = NameAt(ComboBox1, ComboBox1->currentIndex());
  Handle([&] {
    if (name) editor_.ComboBox1Change(*name);
  });
}

void TForm6::ComboBox2Change() {
  const std::optional<std::string> name = NameAt(ComboBox2, ComboBox2->currentIndex());
  Handle([&] {
    if (name) editor_.ComboBox2Change(*name);
  });
}

void TForm6::Button2Click() {
  Handle([this] { editor_.Button2Click(); });
}

void TForm6::Button4Click() {
  Handle([this] { editor_.Button4Click(); });
}

void TForm6::Button3Click() {
  Handle([this] { editor_.Button3Click(); });
}

void TForm6::Button5Click() {
  Handle([this] { editor_.Button5Click(); });
}

void TForm6::Button6Click() {
  Handle([this] {
    const std::optional<std::vector<std::string>> lines = editor_.Button6Click();
    if (!lines) return;
    auto* form7 = qobject_cast<TForm7*>(form1_.Windows().Form7.data());
    if (form7 == nullptr) return;
    form7->Open(*lines, editor_.SelectionSerial(), *editor_.CurrentJob());
  });
}

void TForm6::Button1Click() { close(); }

bool TForm6::FormClose() {
  PushFields();
  // A failed write throws: the window stays open and the file keeps its contents.
  if (const std::optional<std::vector<std::string>> names = editor_.FormClose()) {
    form1_.SetJobNames(*names);
  }
  return true;
}

}  // namespace corvane
