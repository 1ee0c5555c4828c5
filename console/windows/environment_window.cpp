#include "console/windows/environment_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace corvane {

EnvironmentWindow::EnvironmentWindow(QWidget* mainWindow, UiServices& ui, TCipherManager& cipher,
                                     const ProgramPaths& paths)
    : SecondaryWindow(mainWindow, ui), paths_(paths), dialogs_(ui, this), editor_(cipher, dialogs_) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Environment"));
  RemoveCaptionButtons();

  BuildEnvironmentGroup();
  BuildVariableGroup();

  // Only the group captions are bold, not their contents.
  SetRegularFont(font(), {environmentList_, newEnvironmentButton_, removeEnvironmentButton_, variableList_,
                          newVariableButton_, removeVariableButton_, valueLabel_, valueEdit_});

  closeButton_ = new QPushButton(QStringLiteral("Close"), this);
  closeButton_->setFont(BoldFont(closeButton_->font()));

  SetFixedLayout(this, GroupsAboveCloseButton({environmentGroup_, variableGroup_}, closeButton_), QSize(360, 236));

  ConnectHandlers();
  ShowState();
}

EnvironmentWindow::~EnvironmentWindow() = default;

void EnvironmentWindow::BuildEnvironmentGroup() {
  environmentGroup_ = new QGroupBox(QStringLiteral("Environment Name"), this);
  environmentGroup_->setFont(BoldFont(environmentGroup_->font()));
  environmentList_ = new QComboBox(environmentGroup_);
  environmentList_->setEditable(false);
  newEnvironmentButton_ = new QPushButton(QStringLiteral("New"), environmentGroup_);
  removeEnvironmentButton_ = new QPushButton(QStringLiteral("Remove"), environmentGroup_);
  auto* environmentGrid = new QGridLayout(environmentGroup_);
  environmentGrid->addWidget(environmentList_, 0, 0);
  environmentGrid->addWidget(newEnvironmentButton_, 0, 1);
  environmentGrid->addWidget(removeEnvironmentButton_, 0, 2);
  environmentGrid->setColumnStretch(0, 1);
}

void EnvironmentWindow::BuildVariableGroup() {
  variableGroup_ = new QGroupBox(QStringLiteral("Environment Variables"), this);
  variableGroup_->setFont(BoldFont(variableGroup_->font()));
  variableList_ = new QComboBox(variableGroup_);
  variableList_->setEditable(false);
  newVariableButton_ = new QPushButton(QStringLiteral("New"), variableGroup_);
  removeVariableButton_ = new QPushButton(QStringLiteral("Remove"), variableGroup_);
  valueLabel_ = new QLabel(QStringLiteral("Value:"), variableGroup_);
  valueEdit_ = new QLineEdit(variableGroup_);
  valueLabel_->setBuddy(valueEdit_);
  auto* variableGrid = new QGridLayout(variableGroup_);
  variableGrid->addWidget(variableList_, 0, 0, 1, 2);
  variableGrid->addWidget(newVariableButton_, 0, 2);
  variableGrid->addWidget(removeVariableButton_, 0, 3);
  variableGrid->addWidget(valueLabel_, 1, 0);
  variableGrid->addWidget(valueEdit_, 1, 1, 1, 3);
  variableGrid->setColumnStretch(1, 1);
}

void EnvironmentWindow::ConnectHandlers() {
  // The operator's choice only: filling or selecting from code runs no handler.
  connect(environmentList_, &QComboBox::activated, this, [this](int) { onEnvironmentChosen(); });
  connect(variableList_, &QComboBox::activated, this, [this](int) { onVariableChosen(); });
  connect(newEnvironmentButton_, &QPushButton::clicked, this, [this] { onNewEnvironment(); });
  connect(removeEnvironmentButton_, &QPushButton::clicked, this, [this] { onRemoveEnvironment(); });
  connect(newVariableButton_, &QPushButton::clicked, this, [this] { onNewVariable(); });
  connect(removeVariableButton_, &QPushButton::clicked, this, [this] { onRemoveVariable(); });
  connect(closeButton_, &QPushButton::clicked, this, [this] { onCloseClicked(); });
}

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
  editor_.Load(ProgramPaths::Bytes(paths_.EnvIniPath()));
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
  // A refused name comes back in the input dialog, to be corrected.
  dialogs_.AskUntilTaken([this] { Handle([this] { editor_.NewEnvironment(); }); });
}

void EnvironmentWindow::onRemoveEnvironment() {
  Handle([this] { editor_.RemoveEnvironment(); });
}

void EnvironmentWindow::onNewVariable() {
  // A refused name comes back in the input dialog, to be corrected.
  dialogs_.AskUntilTaken([this] { Handle([this] { editor_.NewVariable(); }); });
}

void EnvironmentWindow::onRemoveVariable() {
  Handle([this] { editor_.RemoveVariable(); });
}

void EnvironmentWindow::onCloseClicked() { close(); }

bool EnvironmentWindow::onClose() {
  if (!PushFields()) return false;
  // A failed write throws: the window stays open and the file keeps its contents.
  if (const std::optional<std::vector<std::string>> names = editor_.Close()) {
    emit environmentNamesChanged(*names);
  }
  return true;
}

}  // namespace corvane
