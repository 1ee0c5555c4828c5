#include "console/windows/job_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace corvane {

JobWindow::JobWindow(QWidget* mainWindow, UiServices& ui, TCipherManager& cipher, const ProgramPaths& paths)
    : SecondaryWindow(mainWindow, ui), paths_(paths), dialogs_(ui, this), editor_(cipher, dialogs_) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Job"));
  RemoveCaptionButtons();

  BuildJobGroup();
  BuildVariableGroup();

  // Only the group captions are bold, not their contents.
  SetRegularFont(font(),
                 {jobList_, newJobButton_, removeJobButton_, commandLabel_, commandEdit_, editCommandButton_,
                  variableList_, newVariableButton_, removeVariableButton_, displayBox_, valueLabel_, valueEdit_});

  closeButton_ = new QPushButton(QStringLiteral("Close"), this);
  closeButton_->setFont(BoldFont(closeButton_->font()));

  SetFixedLayout(this, GroupsAboveCloseButton({jobGroup_, variableGroup_}, closeButton_), QSize(400, 290));

  ConnectHandlers();
  ShowState();
}

JobWindow::~JobWindow() = default;

void JobWindow::BuildJobGroup() {
  jobGroup_ = new QGroupBox(QStringLiteral("Job Name"), this);
  jobGroup_->setFont(BoldFont(jobGroup_->font()));
  jobList_ = new QComboBox(jobGroup_);
  jobList_->setEditable(false);
  newJobButton_ = new QPushButton(QStringLiteral("New"), jobGroup_);
  removeJobButton_ = new QPushButton(QStringLiteral("Remove"), jobGroup_);
  commandLabel_ = new QLabel(QStringLiteral("Command:"), jobGroup_);
  commandEdit_ = new QLineEdit(jobGroup_);
  commandLabel_->setBuddy(commandEdit_);
  editCommandButton_ = new QPushButton(QStringLiteral("..."), jobGroup_);
  // As narrow as its caption allows, beside the field.
  editCommandButton_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  editCommandButton_->setMaximumWidth(editCommandButton_->fontMetrics().horizontalAdvance(QStringLiteral("...")) +
                                      20);
  auto* commandRow = new QHBoxLayout;
  commandRow->addWidget(commandEdit_, 1);
  commandRow->addWidget(editCommandButton_);
  auto* jobGrid = new QGridLayout(jobGroup_);
  jobGrid->addWidget(jobList_, 0, 0, 1, 2);
  jobGrid->addWidget(newJobButton_, 0, 2);
  jobGrid->addWidget(removeJobButton_, 0, 3);
  jobGrid->addWidget(commandLabel_, 1, 0);
  jobGrid->addLayout(commandRow, 1, 1, 1, 3);
  jobGrid->setColumnStretch(1, 1);
}

void JobWindow::BuildVariableGroup() {
  variableGroup_ = new QGroupBox(QStringLiteral("Job Variables"), this);
  variableGroup_->setFont(BoldFont(variableGroup_->font()));
  variableList_ = new QComboBox(variableGroup_);
  variableList_->setEditable(false);
  newVariableButton_ = new QPushButton(QStringLiteral("New"), variableGroup_);
  removeVariableButton_ = new QPushButton(QStringLiteral("Remove"), variableGroup_);
  displayBox_ = new QCheckBox(QStringLiteral("Display"), variableGroup_);
  valueLabel_ = new QLabel(QStringLiteral("Value:"), variableGroup_);
  valueEdit_ = new QLineEdit(variableGroup_);
  valueLabel_->setBuddy(valueEdit_);
  auto* variableGrid = new QGridLayout(variableGroup_);
  variableGrid->addWidget(variableList_, 0, 0, 1, 2);
  variableGrid->addWidget(newVariableButton_, 0, 2);
  variableGrid->addWidget(removeVariableButton_, 0, 3);
  variableGrid->addWidget(displayBox_, 1, 0, 1, 4);
  variableGrid->addWidget(valueLabel_, 2, 0);
  variableGrid->addWidget(valueEdit_, 2, 1, 1, 3);
  variableGrid->setColumnStretch(1, 1);
}

void JobWindow::ConnectHandlers() {
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
}

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

bool JobWindow::takeCommand(const std::string& job, const std::string& command) {
  if (!isVisible() || editor_.CurrentJob() != job) return false;
  editor_.SetCommand(command);
  commandEdit_->setText(Latin1Text(command));
  return true;
}

void JobWindow::onShow() {
  struct ShowAfter {
    JobWindow* window;
    ~ShowAfter() { window->ShowState(); }
  } showAfter{this};
  editor_.Load(ProgramPaths::Bytes(paths_.JobIniPath()));
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
  // A refused name comes back in the input dialog, to be corrected.
  dialogs_.AskUntilTaken([this] { Handle([this] { editor_.NewJob(); }); });
}

void JobWindow::onRemoveJob() {
  Handle([this] { editor_.RemoveJob(); });
}

void JobWindow::onNewVariable() {
  // A refused name comes back in the input dialog, to be corrected.
  dialogs_.AskUntilTaken([this] { Handle([this] { editor_.NewVariable(); }); });
}

void JobWindow::onRemoveVariable() {
  Handle([this] { editor_.RemoveVariable(); });
}

void JobWindow::onEditCommand() {
  Handle([this] {
    const std::optional<std::vector<std::string>> lines = editor_.CommandEditorLines();
    if (!lines) return;
    emit commandEditRequested(*editor_.CurrentJob(), *lines);
  });
}

void JobWindow::onCloseClicked() { close(); }

bool JobWindow::onClose() {
  if (!PushFields()) return false;
  // A failed write throws: the window stays open and the file keeps its contents.
  if (const std::optional<std::vector<std::string>> names = editor_.Close()) {
    emit jobNamesChanged(*names);
  }
  return true;
}

}  // namespace corvane
