#include "console/windows/job_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/windows/command_window.h"
#include "console/windows/main_window.h"

namespace corvane {

JobWindow::JobWindow(MainWindow& mainWindow)
    : SecondaryWindow(&mainWindow, mainWindow.Ui()),
      mainWindow_(mainWindow),
      dialogs_(mainWindow.Ui(), this),
      editor_(mainWindow.storedValueCipher_, dialogs_) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Job"));
  RemoveCaptionButtons();
  setFixedSize(400, 290);

  jobGroup_ = new QGroupBox(QStringLiteral("Job Name"), this);
  jobGroup_->setFont(BoldFont(jobGroup_->font()));
  jobGroup_->setGeometry(8, 8, 384, 100);
  jobList_ = new QComboBox(jobGroup_);
  jobList_->setEditable(false);
  jobList_->setGeometry(12, 26, 208, 24);
  newJobButton_ = new QPushButton(QStringLiteral("New"), jobGroup_);
  newJobButton_->setGeometry(228, 25, 70, 26);
  removeJobButton_ = new QPushButton(QStringLiteral("Remove"), jobGroup_);
  removeJobButton_->setGeometry(304, 25, 70, 26);
  commandLabel_ = new QLabel(QStringLiteral("Command:"), jobGroup_);
  commandLabel_->setGeometry(12, 64, 76, 22);
  commandEdit_ = new QLineEdit(jobGroup_);
  commandEdit_->setGeometry(90, 62, 250, 24);
  editCommandButton_ = new QPushButton(QStringLiteral("..."), jobGroup_);
  editCommandButton_->setGeometry(346, 61, 28, 26);

  variableGroup_ = new QGroupBox(QStringLiteral("Job Variables"), this);
  variableGroup_->setFont(BoldFont(variableGroup_->font()));
  variableGroup_->setGeometry(8, 116, 384, 128);
  variableList_ = new QComboBox(variableGroup_);
  variableList_->setEditable(false);
  variableList_->setGeometry(12, 26, 208, 24);
  newVariableButton_ = new QPushButton(QStringLiteral("New"), variableGroup_);
  newVariableButton_->setGeometry(228, 25, 70, 26);
  removeVariableButton_ = new QPushButton(QStringLiteral("Remove"), variableGroup_);
  removeVariableButton_->setGeometry(304, 25, 70, 26);
  displayBox_ = new QCheckBox(QStringLiteral("Display"), variableGroup_);
  displayBox_->setGeometry(12, 58, 120, 22);
  valueLabel_ = new QLabel(QStringLiteral("Value:"), variableGroup_);
  valueLabel_->setGeometry(12, 90, 48, 22);
  valueEdit_ = new QLineEdit(variableGroup_);
  valueEdit_->setGeometry(64, 88, 310, 24);

  // Only the group captions are bold, not their contents.
  SetRegularFont(font(), {jobList_, newJobButton_, removeJobButton_, commandLabel_, commandEdit_,
                          editCommandButton_, variableList_, newVariableButton_, removeVariableButton_,
                          displayBox_, valueLabel_, valueEdit_});

  closeButton_ = new QPushButton(QStringLiteral("Close"), this);
  closeButton_->setFont(BoldFont(closeButton_->font()));
  closeButton_->setGeometry(308, 254, 84, 28);

  connect(jobList_, &QComboBox::activated, this, [this](int) { onJobChosen(); });
  connect(variableList_, &QComboBox::activated, this, [this](int) { onVariableChosen(); });
  connect(newJobButton_, &QPushButton::clicked, this, [this] { onNewJob(); });
  connect(removeJobButton_, &QPushButton::clicked, this, [this] { onRemoveJob(); });
  connect(newVariableButton_, &QPushButton::clicked, this, [this] { onNewVariable(); });
  connect(removeVariableButton_, &QPushButton::clicked, this, [this] { onRemoveVariable(); });
  connect(editCommandButton_, &QPushButton::clicked, this, [this] { onEditCommand(); });
  connect(closeButton_, &QPushButton::clicked, this, [this] { onCloseClicked(); });
  // Ticking (also from code) only changes the pending flag; it is stored with its variable.
  connect(displayBox_, &QCheckBox::toggled, this, [this](bool checked) { editor_.SetDisplay(checked); });
  ShowState();
}

JobWindow::~JobWindow() = default;

bool JobWindow::PushFields() {
  std::optional<std::string> command = FieldBytes(Ui(), this, commandEdit_, kCommandNotLatin1);
  if (!command) return false;
  std::optional<std::string> value = FieldBytes(Ui(), this, valueEdit_, kValueNotLatin1);
  if (!value) return false;
  editor_.SetCommand(std::move(*command));
  editor_.SetValue(std::move(*value));
  editor_.SetDisplay(displayBox_->isChecked());
  return true;
}

void JobWindow::ShowLists() {
  ShowNames(jobList_, editor_.Jobs(), editor_.CurrentJob());
  ShowNames(variableList_, editor_.Variables(), editor_.CurrentJobVariable());
}

void JobWindow::ShowState() {
  ShowLists();
  const QString command = Latin1Text(editor_.Command());
  if (commandEdit_->text() != command) commandEdit_->setText(command);
  const QString value = Latin1Text(editor_.Value());
  if (valueEdit_->text() != value) valueEdit_->setText(value);
  displayBox_->setChecked(editor_.Display());
  jobGroup_->setEnabled(editor_.Loaded());
  variableGroup_->setEnabled(editor_.Loaded());
}

template <typename Step>
void JobWindow::Handle(Step&& step) {
  if (!PushFields()) {
    ShowLists();  // back to the job and variable the fields belong to
    return;
  }
  Guarded(Ui(), this, std::forward<Step>(step));
  ShowState();
}

void JobWindow::takeCommand(const std::string& job, const std::string& command) {
  if (!isVisible() || editor_.CurrentJob() != job) return;
  editor_.SetCommand(command);
  commandEdit_->setText(Latin1Text(command));
  if (auto* commandWindow = qobject_cast<CommandWindow*>(sender())) commandWindow->commandTaken();
}

void JobWindow::onShow() {
  struct ShowAfter {
    JobWindow* window;
    ~ShowAfter() { window->ShowState(); }
  } showAfter{this};
  editor_.Load(ProgramPaths::Bytes(mainWindow_.Paths().JobIniPath()));
}

void JobWindow::onJobChosen() {
  const std::optional<std::string> name = NameAt(jobList_, jobList_->currentIndex());
  Handle([&] {
    if (name) editor_.SelectJob(*name);
  });
}

void JobWindow::onVariableChosen() {
  const std::optional<std::string> name = NameAt(variableList_, variableList_->currentIndex());
  Handle([&] {
    if (name) editor_.SelectVariable(*name);
  });
}

void JobWindow::onNewJob() {
  Handle([this] { editor_.NewJob(); });
}

void JobWindow::onRemoveJob() {
  Handle([this] { editor_.RemoveJob(); });
}

void JobWindow::onNewVariable() {
  Handle([this] { editor_.NewVariable(); });
}

void JobWindow::onRemoveVariable() {
  Handle([this] { editor_.RemoveVariable(); });
}

void JobWindow::onEditCommand() {
  Handle([this] {
    const std::optional<std::vector<std::string>> lines = editor_.CommandEditorLines();
    if (!lines) return;
    auto* commandWindow = qobject_cast<CommandWindow*>(mainWindow_.Windows().commandWindow.data());
    if (commandWindow == nullptr) return;
    connect(commandWindow, &CommandWindow::commandAccepted, this, &JobWindow::takeCommand, Qt::UniqueConnection);
    commandWindow->editCommand(*editor_.CurrentJob(), *lines);
  });
}

void JobWindow::onCloseClicked() { close(); }

bool JobWindow::onClose() {
  if (!PushFields()) return false;
  // A failed write throws: the window stays open and the file keeps its contents.
  if (const std::optional<std::vector<std::string>> names = editor_.Close()) {
    mainWindow_.SetJobNames(*names);
  }
  return true;
}

}  // namespace corvane
