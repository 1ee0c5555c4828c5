#include "console/windows/environment_window.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/windows/main_window.h"

namespace corvane {

EnvironmentWindow::EnvironmentWindow(MainWindow& mainWindow)
    : SecondaryWindow(&mainWindow, mainWindow.Ui()),
      mainWindow_(mainWindow),
      dialogs_(mainWindow.Ui(), this),
      editor_(mainWindow.storedValueCipher_, dialogs_) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Environment"));
  RemoveCaptionButtons();
  setFixedSize(360, 236);

  environmentGroup_ = new QGroupBox(QStringLiteral("Environment Name"), this);
  environmentGroup_->setFont(BoldFont(environmentGroup_->font()));
  environmentGroup_->setGeometry(8, 8, 344, 64);
  environmentList_ = new QComboBox(environmentGroup_);
  environmentList_->setEditable(false);
  environmentList_->setGeometry(12, 26, 168, 24);
  newEnvironmentButton_ = new QPushButton(QStringLiteral("New"), environmentGroup_);
  newEnvironmentButton_->setGeometry(188, 25, 70, 26);
  removeEnvironmentButton_ = new QPushButton(QStringLiteral("Remove"), environmentGroup_);
  removeEnvironmentButton_->setGeometry(264, 25, 70, 26);

  variableGroup_ = new QGroupBox(QStringLiteral("Environment Variables"), this);
  variableGroup_->setFont(BoldFont(variableGroup_->font()));
  variableGroup_->setGeometry(8, 80, 344, 104);
  variableList_ = new QComboBox(variableGroup_);
  variableList_->setEditable(false);
  variableList_->setGeometry(12, 26, 168, 24);
  newVariableButton_ = new QPushButton(QStringLiteral("New"), variableGroup_);
  newVariableButton_->setGeometry(188, 25, 70, 26);
  removeVariableButton_ = new QPushButton(QStringLiteral("Remove"), variableGroup_);
  removeVariableButton_->setGeometry(264, 25, 70, 26);
  valueLabel_ = new QLabel(QStringLiteral("Value:"), variableGroup_);
  valueLabel_->setGeometry(12, 64, 48, 22);
  valueEdit_ = new QLineEdit(variableGroup_);
  valueEdit_->setGeometry(64, 62, 270, 24);

  // Only the group captions are bold, not their contents.
  SetRegularFont(font(), {environmentList_, newEnvironmentButton_, removeEnvironmentButton_, variableList_,
                          newVariableButton_, removeVariableButton_, valueLabel_, valueEdit_});

  closeButton_ = new QPushButton(QStringLiteral("Close"), this);
  closeButton_->setFont(BoldFont(closeButton_->font()));
  closeButton_->setGeometry(268, 198, 84, 28);

  // The operator's choice only: filling or selecting from code runs no handler.
  connect(environmentList_, &QComboBox::activated, this, [this](int) { onEnvironmentChosen(); });
  connect(variableList_, &QComboBox::activated, this, [this](int) { onVariableChosen(); });
  connect(newEnvironmentButton_, &QPushButton::clicked, this, [this] { onNewEnvironment(); });
  connect(removeEnvironmentButton_, &QPushButton::clicked, this, [this] { onRemoveEnvironment(); });
  connect(newVariableButton_, &QPushButton::clicked, this, [this] { onNewVariable(); });
  connect(removeVariableButton_, &QPushButton::clicked, this, [this] { onRemoveVariable(); });
  connect(closeButton_, &QPushButton::clicked, this, [this] { onCloseClicked(); });
  ShowState();
}

EnvironmentWindow::~EnvironmentWindow() = default;

bool EnvironmentWindow::PushFields() {
  std::optional<std::string> value = FieldBytes(Ui(), this, valueEdit_, kValueNotLatin1);
  if (!value) return false;
  editor_.SetValue(std::move(*value));
  return true;
}

void EnvironmentWindow::ShowLists() {
  ShowNames(environmentList_, editor_.Environments(), editor_.CurrentEnvironment());
  ShowNames(variableList_, editor_.Variables(), editor_.CurrentVariable());
}

void EnvironmentWindow::ShowState() {
  ShowLists();
  const QString value = Latin1Text(editor_.Value());
  if (valueEdit_->text() != value) valueEdit_->setText(value);
  environmentGroup_->setEnabled(editor_.Loaded());
  variableGroup_->setEnabled(editor_.Loaded());
}

template <typename Step>
void EnvironmentWindow::Handle(Step&& step) {
  if (!PushFields()) {
    ShowLists();  // back to the variable the field belongs to
    return;
  }
  Guarded(Ui(), this, std::forward<Step>(step));
  ShowState();
}

void EnvironmentWindow::onShow() {
  struct ShowAfter {
    EnvironmentWindow* window;
    ~ShowAfter() { window->ShowState(); }
  } showAfter{this};
  editor_.Load(ProgramPaths::Bytes(mainWindow_.Paths().EnvIniPath()));
}

void EnvironmentWindow::onEnvironmentChosen() {
  const std::optional<std::string> name = NameAt(environmentList_, environmentList_->currentIndex());
  Handle([&] {
    if (name) editor_.SelectEnvironment(*name);
  });
}

void EnvironmentWindow::onVariableChosen() {
  const std::optional<std::string> name = NameAt(variableList_, variableList_->currentIndex());
  Handle([&] {
    if (name) editor_.SelectVariable(*name);
  });
}

void EnvironmentWindow::onNewEnvironment() {
  Handle([this] { editor_.NewEnvironment(); });
}

void EnvironmentWindow::onRemoveEnvironment() {
  Handle([this] { editor_.RemoveEnvironment(); });
}

void EnvironmentWindow::onNewVariable() {
  Handle([this] { editor_.NewVariable(); });
}

void EnvironmentWindow::onRemoveVariable() {
  Handle([this] { editor_.RemoveVariable(); });
}

void EnvironmentWindow::onCloseClicked() { close(); }

bool EnvironmentWindow::onClose() {
  if (!PushFields()) return false;
  // A failed write throws: the window stays open and the file keeps its contents.
  if (const std::optional<std::vector<std::string>> names = editor_.Close()) {
    mainWindow_.SetEnvironmentNames(*names);
  }
  return true;
}

}  // namespace corvane
