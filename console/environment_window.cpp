#include "console/environment_window.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/main_window.h"

namespace corvane {

TForm5::TForm5(TForm1& form1)
    : SecondaryWindow(&form1, form1.Ui()), form1_(form1), dialogs_(form1.Ui(), this), editor_(form1.c1, dialogs_) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Environment"));
  RemoveCaptionButtons();
  setFixedSize(360, 236);

  GroupBox1 = new QGroupBox(QStringLiteral("Environment Name"), this);
  GroupBox1->setFont(BoldFont(GroupBox1->font()));
  GroupBox1->setGeometry(8, 8, 344, 64);
  ComboBox1 = new QComboBox(GroupBox1);
  ComboBox1->setEditable(false);
  ComboBox1->setGeometry(12, 26, 168, 24);
  Button2 = new QPushButton(QStringLiteral("New"), GroupBox1);
  Button2->setGeometry(188, 25, 70, 26);
  Button4 = new QPushButton(QStringLiteral("Remove"), GroupBox1);
  Button4->setGeometry(264, 25, 70, 26);

  GroupBox2 = new QGroupBox(QStringLiteral("Environment Variables"), this);
  GroupBox2->setFont(BoldFont(GroupBox2->font()));
  GroupBox2->setGeometry(8, 80, 344, 104);
  ComboBox2 = new QComboBox(GroupBox2);
  ComboBox2->setEditable(false);
  ComboBox2->setGeometry(12, 26, 168, 24);
  Button3 = new QPushButton(QStringLiteral("New"), GroupBox2);
  Button3->setGeometry(188, 25, 70, 26);
  Button5 = new QPushButton(QStringLiteral("Remove"), GroupBox2);
  Button5->setGeometry(264, 25, 70, 26);
  Label1 = new QLabel(QStringLiteral("Value:"), GroupBox2);
  Label1->setGeometry(12, 64, 48, 22);
  Edit1 = new QLineEdit(GroupBox2);
  Edit1->setGeometry(64, 62, 270, 24);
  Edit1->setValidator(new Latin1Validator(Edit1));

  // Only the group captions are bold, not their contents.
  SetRegularFont(font(), {ComboBox1, Button2, Button4, ComboBox2, Button3, Button5, Label1, Edit1});

  Button1 = new QPushButton(QStringLiteral("Close"), this);
  Button1->setFont(BoldFont(Button1->font()));
  Button1->setGeometry(268, 198, 84, 28);

  // The operator's choice only: filling or selecting from code runs no handler.
  connect(ComboBox1, &QComboBox::activated, this, [this](int) { ComboBox1Change(); });
  connect(ComboBox2, &QComboBox::activated, this, [this](int) { ComboBox2Change(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  ShowState();
}

TForm5::~TForm5() = default;

void TForm5::PushFields() {
  // The validator keeps the field to Latin-1; anything else would be a field set from outside.
  if (std::optional<std::string> value = Latin1Bytes(Edit1->text())) editor_.SetValue(std::move(*value));
}

void TForm5::ShowState() {
  ShowNames(ComboBox1, editor_.Environments(), editor_.CurrentEnvironment());
  ShowNames(ComboBox2, editor_.Variables(), editor_.CurrentVariable());
  const QString value = Latin1Text(editor_.Value());
  if (Edit1->text() != value) Edit1->setText(value);
  GroupBox1->setEnabled(editor_.Loaded());
  GroupBox2->setEnabled(editor_.Loaded());
}

template <typename Step>
void TForm5::Handle(Step&& step) {
  PushFields();
  Guarded(Ui(), this, std::forward<Step>(step));
  ShowState();
}

void TForm5::FormShow() {
  struct ShowAfter {
    TForm5* window;
    ~ShowAfter() { window->ShowState(); }
  } showAfter{this};
  editor_.FormShow(ProgramPaths::Bytes(form1_.Paths().EnvIniPath()));
}

void TForm5::ComboBox1Change() {
  const std::optional<std::string> name = NameAt(ComboBox1, ComboBox1->currentIndex());
  Handle([&] {
    if (name) editor_.ComboBox1Change(*name);
  });
}

void TForm5::ComboBox2Change() {
  const std::optional<std::string> name = NameAt(ComboBox2, ComboBox2->currentIndex());
  Handle([&] {
    if (name) editor_.ComboBox2Change(*name);
  });
}

void TForm5::Button2Click() {
  Handle([this] { editor_.Button2Click(); });
}

void TForm5::Button4Click() {
  Handle([this] { editor_.Button4Click(); });
}

void TForm5::Button3Click() {
  Handle([this] { editor_.Button3Click(); });
}

void TForm5::Button5Click() {
  Handle([this] { editor_.Button5Click(); });
}

void TForm5::Button1Click() { close(); }

bool TForm5::FormClose() {
  PushFields();
  // A failed write throws: the window stays open and the file keeps its contents.
  if (const std::optional<std::vector<std::string>> names = editor_.FormClose()) {
    form1_.SetEnvironmentNames(*names);
  }
  return true;
}

}  // namespace corvane
