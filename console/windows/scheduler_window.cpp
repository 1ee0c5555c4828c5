#include "console/windows/scheduler_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

#include "console/windows/editor_ui.h"

namespace corvane {

// Counts the handlers in progress; a reload asked for meanwhile runs once the last one is done.
class SchedulerWindow::HandlerScope {
 public:
  explicit HandlerScope(SchedulerWindow& window) : window_(window) { ++window_.handlerDepth_; }
  ~HandlerScope() {
    if (--window_.handlerDepth_ == 0 && window_.reloadPending_) {
      window_.reloadPending_ = false;
      QTimer::singleShot(0, &window_, [window = &window_] { window->ReloadFromDisk(); });
    }
  }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

 private:
  SchedulerWindow& window_;
};

CountSpinBox::CountSpinBox(QWidget* parent) : QSpinBox(parent) {}
QString CountSpinBox::Text() const { return lineEdit()->text().trimmed(); }
void CountSpinBox::SetText(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (ok && value >= minimum() && value <= maximum()) {
    setValue(value);
    lineEdit()->setText(textFromValue(value));
  } else {
    // What a damaged file stored stays visible, so the Active check sees it.
    lineEdit()->setText(text);
  }
}

SchedulerWindow::SchedulerWindow(QWidget* mainWindow, UiServices& ui, TCipherManager& cipher,
                                 const ProgramPaths& paths)
    : SecondaryWindow(mainWindow, ui),
      dialogs_(ui, this),
      editor_(cipher, dialogs_, ProgramPaths::Bytes(paths.SchdIniPath()), ProgramPaths::Bytes(paths.JobIniPath()),
              ProgramPaths::Bytes(paths.EnvIniPath())) {
  RemoveCaptionButtons();
  setWindowTitle(QString::fromLatin1(kSchedulerCaption));
  Build();
}

SchedulerWindow::~SchedulerWindow() = default;

// The look the groups share: only the group captions and Close are bold; the controls inside say
// so explicitly, since a group box hands its font down.
struct SchedulerWindow::Look {
  QFont bold;
  QFont regular;

  QGroupBox* Group(const char* caption, QWidget* parent) const {
    auto* box = new QGroupBox(QString::fromLatin1(caption), parent);
    box->setFont(bold);
    return box;
  }
  template <typename Widget>
  Widget* Plain(Widget* widget) const {
    widget->setFont(regular);
    return widget;
  }
  QComboBox* List(QWidget* parent) const {
    auto* box = new QComboBox(parent);
    box->setEditable(false);
    return Plain(box);
  }
  QLabel* Label(const char* text, QWidget* parent) const {
    return Plain(new QLabel(QString::fromLatin1(text), parent));
  }
};

void SchedulerWindow::Build() {
  const Look look{BoldFont(font()), RegularFont(font())};
  BuildScheduledJobGroup(look);
  BuildJobGroup(look);
  BuildScheduleGroup(look);

  closeButton_ = new QPushButton(QStringLiteral("Close"), this);
  closeButton_->setFont(look.bold);

  auto* main = new QVBoxLayout(this);
  main->addWidget(scheduledJobGroup_);
  main->addWidget(jobGroup_);
  main->addWidget(scheduleGroup_);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(closeButton_);
  main->addLayout(bottom);
  main->setSizeConstraint(QLayout::SetFixedSize);

  ConnectHandlers();
}

void SchedulerWindow::BuildScheduledJobGroup(const Look& look) {
  scheduledJobGroup_ = look.Group("Scheduled Job Name", this);
  scheduledJobList_ = look.List(scheduledJobGroup_);
  scheduledJobList_->setMinimumWidth(180);
  activeBox_ = look.Plain(new QCheckBox(QStringLiteral("Active"), scheduledJobGroup_));
  newButton_ = look.Plain(new QPushButton(QStringLiteral("New"), scheduledJobGroup_));
  removeButton_ = look.Plain(new QPushButton(QStringLiteral("Remove"), scheduledJobGroup_));
  auto* row = new QHBoxLayout(scheduledJobGroup_);
  row->addWidget(scheduledJobList_, 1);
  row->addWidget(activeBox_);
  row->addWidget(newButton_);
  row->addWidget(removeButton_);
}

void SchedulerWindow::BuildJobGroup(const Look& look) {
  jobGroup_ = look.Group("Job", this);
  jobLabel_ = look.Label("Name", jobGroup_);
  jobList_ = look.List(jobGroup_);
  environmentLabel_ = look.Label("Environment", jobGroup_);
  environmentList_ = look.List(jobGroup_);
  protocolLabel_ = look.Label("Protocol", jobGroup_);
  protocolList_ = look.List(jobGroup_);
  for (std::string_view item : kProtocolItems)
    protocolList_->addItem(QString::fromLatin1(item.data(), item.size()));
  protocolList_->setCurrentIndex(-1);
  protocolList_->setToolTip(QStringLiteral("Select Protocol"));
  parameterLabel_ = look.Label("Parameter", jobGroup_);
  parameterList_ = look.List(jobGroup_);
  valueLabel_ = look.Label("Value", jobGroup_);
  valueEdit_ = look.Plain(new QLineEdit(jobGroup_));
  valueEdit_->setReadOnly(true);
  auto* grid = new QGridLayout(jobGroup_);
  int row = 0;
  for (const auto& [label, field] :
       std::initializer_list<std::pair<QLabel*, QWidget*>>{{jobLabel_, jobList_},
                                                           {environmentLabel_, environmentList_},
                                                           {protocolLabel_, protocolList_},
                                                           {parameterLabel_, parameterList_},
                                                           {valueLabel_, valueEdit_}}) {
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    ++row;
  }
}

void SchedulerWindow::BuildScheduleGroup(const Look& look) {
  scheduleGroup_ = look.Group("Schedule", this);
  runOnceBox_ = look.Plain(new QCheckBox(QStringLiteral("Run Once"), scheduleGroup_));
  runOnceBox_->setChecked(true);
  startLabel_ = look.Label("Start Date:", scheduleGroup_);
  startEdit_ = look.Plain(new QLineEdit(scheduleGroup_));
  startEdit_->setReadOnly(true);
  startEdit_->setFocusPolicy(Qt::ClickFocus);  // skipped by the Tab key
  startEdit_->setMinimumWidth(startEdit_->fontMetrics().horizontalAdvance(QStringLiteral("9999-12-31 00:00:00")) +
                              16);
  pickStartButton_ = look.Plain(new QPushButton(QStringLiteral("..."), scheduleGroup_));
  everyLabel_ = look.Label("Execute Every ", scheduleGroup_);
  everyLabel_->setEnabled(false);
  countEdit_ = look.Plain(new CountSpinBox(scheduleGroup_));
  countEdit_->setRange(1, 999);
  countEdit_->setValue(1);
  countEdit_->setEnabled(false);
  unitList_ = look.List(scheduleGroup_);
  for (std::string_view item : kPeriodUnitItems) unitList_->addItem(QString::fromLatin1(item.data(), item.size()));
  unitList_->setCurrentIndex(-1);
  unitList_->setEnabled(false);
  lastExecutionLabel_ = look.Label("Last Execution Date:", scheduleGroup_);
  lastExecutionLabel_->setEnabled(false);
  lastExecutionEdit_ = look.Plain(new QLineEdit(scheduleGroup_));
  lastExecutionEdit_->setReadOnly(true);
  lastExecutionEdit_->setFocusPolicy(Qt::ClickFocus);
  lastExecutionEdit_->setEnabled(false);
  auto* grid = new QGridLayout(scheduleGroup_);
  grid->addWidget(runOnceBox_, 0, 0, 1, 3);
  grid->addWidget(startLabel_, 1, 0);
  grid->addWidget(startEdit_, 1, 1);
  grid->addWidget(pickStartButton_, 1, 2);
  grid->addWidget(everyLabel_, 2, 0);
  auto* every = new QHBoxLayout;
  every->addWidget(countEdit_);
  every->addWidget(unitList_, 1);
  grid->addLayout(every, 2, 1, 1, 2);
  grid->addWidget(lastExecutionLabel_, 3, 0);
  grid->addWidget(lastExecutionEdit_, 3, 1, 1, 2);
}

void SchedulerWindow::ConnectHandlers() {
  // The operator's selections (activated: not raised by selections made in code).
  connect(scheduledJobList_, &QComboBox::activated, this, [this] { onScheduledJobChosen(); });
  connect(unitList_, &QComboBox::activated, this, [this] { onScheduledJobChosen(); });
  connect(jobList_, &QComboBox::activated, this, [this] { onJobChosen(); });
  connect(parameterList_, &QComboBox::activated, this, [this] { onParameterChosen(); });
  connect(protocolList_, &QComboBox::activated, this, [this] { onParameterChosen(); });
  // Check boxes: every change of state, by the operator or by code.
  connect(activeBox_, &QCheckBox::toggled, this, [this] { onActiveToggled(); });
  connect(runOnceBox_, &QCheckBox::toggled, this, [this] { onRunOnceToggled(); });
  connect(newButton_, &QPushButton::clicked, this, [this] { onNewScheduledJob(); });
  connect(removeButton_, &QPushButton::clicked, this, [this] { onRemoveScheduledJob(); });
  connect(pickStartButton_, &QPushButton::clicked, this, [this] { onPickStartDate(); });
  connect(closeButton_, &QPushButton::clicked, this, [this] { onCloseClicked(); });
}

// ---- helpers ---------------------------------------------------------------------------------------

std::string SchedulerWindow::Bytes(const QString& text) {
  // The fields accept Latin-1 only; anything else could not be stored as it was typed.
  if (std::optional<std::string> bytes = Latin1Bytes(text)) return std::move(*bytes);
  throw std::invalid_argument("The text may only hold characters of the Latin-1 character set");
}

std::string SchedulerWindow::SelectedName(const QComboBox* box) {
  const int index = box->currentIndex();
  if (index < 0) return {};
  const QVariant data = box->itemData(index);
  if (data.isValid()) {
    const QByteArray bytes = data.toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }
  return Bytes(box->itemText(index));
}

void SchedulerWindow::FillNames(QComboBox* box, const std::vector<std::string>& names) {
  ShowNames(box, SortedNames(names), std::nullopt);
}

void SchedulerWindow::SelectQuietly(QComboBox* box, int index) {
  const QSignalBlocker blocker(box);
  box->setCurrentIndex(index);
}

void SchedulerWindow::SelectName(QComboBox* box, const std::string& name) {
  int found = -1;
  for (int i = 0; i < box->count() && found < 0; ++i) {
    const QVariant data = box->itemData(i);
    const std::string item = data.isValid() ? data.toByteArray().toStdString() : Bytes(box->itemText(i));
    if (NamesEqualIgnoringCase(item, name)) found = i;
  }
  SelectQuietly(box, found);
}

void SchedulerWindow::Message(const char* text) { Ui().Message(this, QString::fromLatin1(text)); }

void SchedulerWindow::SetActiveQuietly(bool ticked) {
  const QSignalBlocker blocker(activeBox_);
  activeBox_->setChecked(ticked);
}

void SchedulerWindow::SetRunOnceQuietly(bool ticked) {
  const QSignalBlocker blocker(runOnceBox_);
  runOnceBox_->setChecked(ticked);
}

QString SchedulerWindow::StartDateText() const { return startEdit_->text(); }
void SchedulerWindow::SetStartDateText(const QString& text) { startEdit_->setText(text); }

bool SchedulerWindow::TakeStartDate(const std::string& scheduledJob, const QString& text) {
  if (!isVisible() || editor_.CurrentSchedule() != scheduledJob) return false;
  SetStartDateText(text);
  return true;
}

ScheduleFields SchedulerWindow::Fields() const {
  ScheduleFields f = FieldsWithoutValue();
  // The value field takes whatever is typed; what the file cannot hold is refused here.
  std::optional<std::string> value = Latin1Bytes(valueEdit_->text());
  if (!value) {
    valueEdit_->setFocus();  // the operator is back in the field once the refusal is read
    throw std::invalid_argument(kValueNotLatin1);
  }
  f.value = std::move(*value);
  return f;
}

ScheduleFields SchedulerWindow::FieldsWithoutValue() const {
  ScheduleFields f;
  f.active = activeBox_->isChecked();
  f.once = runOnceBox_->isChecked();
  f.start = Bytes(startEdit_->text());
  f.every = Bytes(countEdit_->Text());
  f.unit = unitList_->currentIndex();
  f.job = SelectedName(jobList_);
  f.environment = SelectedName(environmentList_);
  f.protocol = protocolList_->currentIndex() >= 0 ? Bytes(protocolList_->currentText()) : std::string();
  f.parameter = SelectedName(parameterList_);
  return f;
}

// ---- handlers ----------------------------------------------------------------------------------------

void SchedulerWindow::onShow() {
  HandlerScope scope(*this);
  // No scheduled job shown; the protocol selection stays as it was. Done first, so that nothing
  // of the last show stays current when a file below cannot be read.
  editor_.Unload();
  ShowNoScheduledJob();
  startEdit_->clear();
  FillNames(scheduledJobList_, {});
  // Fresh copies of the three files.
  editor_.Load();
  // The lists, nothing selected.
  ShowNames(scheduledJobList_, editor_.ScheduledJobNames(), std::nullopt);
  FillNames(jobList_, editor_.Jobs());
  FillNames(environmentList_, editor_.Environments());
}

void SchedulerWindow::ShowNoScheduledJob() {
  editor_.ShowNone();
  activeBox_->setChecked(false);
  SetRunOnceQuietly(true);
  onRunOnceToggled();
  SelectQuietly(jobList_, -1);
  parameterList_->clear();
  valueEdit_->setReadOnly(true);
  valueEdit_->clear();
}

void SchedulerWindow::onScheduledJobChosen() {
  HandlerScope scope(*this);
  const bool done = Guarded(Ui(), this, [this] {
    // What the shown scheduled job holds is saved into a fresh copy of the file first; the chosen
    // one is then current, with no parameter and no value entered yet.
    const ScheduleFields fields = Fields();
    editor_.Choose(fields, SelectedName(scheduledJobList_));
    valueEdit_->clear();
    parameterList_->clear();
    valueEdit_->setReadOnly(true);
    LoadCurrent();
  });
  // The save failed: the fields still belong to the scheduled job shown so far, and the list says so.
  if (!done) SelectName(scheduledJobList_, editor_.CurrentSchedule());
}

void SchedulerWindow::LoadCurrent() {
  LoadedSchedule loaded;
  try {
    // What a save later merges over is taken with it: what the operator does not change stays as
    // the file has it.
    loaded = editor_.LoadCurrent();
  } catch (const std::exception& e) {
    // Nothing of the previous scheduled job may stay on screen to be saved into this one.
    ClearAfterFailedLoad();
    Ui().Message(this, QString::fromLocal8Bit(e.what()));
    return;
  }
  SelectName(jobList_, loaded.job);
  SelectName(environmentList_, loaded.environment);
  SelectName(protocolList_, loaded.protocol);
  editor_.TakeLoadedJob(SelectedName(jobList_));
  onJobChosen();
  startEdit_->setText(Latin1Text(loaded.start));
  // Active is judged once, after everything is in place.
  SetActiveQuietly(false);
  if (loaded.once) {
    SetRunOnceQuietly(true);
  } else {
    countEdit_->SetText(Latin1Text(loaded.every));
    SelectQuietly(unitList_, loaded.unit >= 0 && loaded.unit < unitList_->count() ? loaded.unit : -1);
    SetRunOnceQuietly(false);
  }
  onRunOnceToggled();
  SetActiveQuietly(loaded.active);
  onActiveToggled();
  lastExecutionEdit_->setText(Latin1Text(loaded.last));
}

void SchedulerWindow::ClearAfterFailedLoad() {
  // The scheduled job stays selected in the list, so that the operator can still remove it, but
  // it is not current: no save can write the empty fields into it.
  ShowNoScheduledJob();
  startEdit_->clear();
}

void SchedulerWindow::onJobChosen() {
  HandlerScope scope(*this);
  const bool done = Guarded(Ui(), this, [this] {
    // A job belongs to a scheduled job: without one nothing is chosen.
    if (editor_.CurrentSchedule().empty()) {
      SelectQuietly(jobList_, -1);
      Message(kSelectScheduledJobMessage);
      return;
    }
    valueEdit_->clear();
    // The parameters offered are the chosen job's (another job's drops the old one's values).
    FillNames(parameterList_, editor_.ChooseJob(SelectedName(jobList_)));
  });
  // The old job's parameter values could not be removed: the scheduled job keeps its job.
  if (!done) SelectName(jobList_, editor_.ScheduleJobName());
}

void SchedulerWindow::onParameterChosen() {
  HandlerScope scope(*this);
  Guarded(Ui(), this, [this] {
    valueEdit_->setReadOnly(false);
    if (!editor_.CurrentParameter().empty() && !valueEdit_->text().isEmpty()) {
      std::optional<std::string> value = FieldBytes(Ui(), this, valueEdit_, kValueNotLatin1);
      if (!value) {
        SelectName(parameterList_, editor_.CurrentParameter());  // the field still belongs to it
        return;
      }
      if (const std::optional<std::string_view> problem = editor_.EnterValue(std::move(*value))) {
        Ui().Message(this, Latin1Text(*problem));
        SelectName(parameterList_, editor_.CurrentParameter());
        valueEdit_->setFocus();
        return;
      }
    }
    valueEdit_->setText(Latin1Text(editor_.ChooseParameter(SelectedName(parameterList_))));
  });
}

void SchedulerWindow::onActiveToggled() {
  HandlerScope scope(*this);
  if (!activeBox_->isChecked()) return;
  if (const std::optional<std::string_view> failure = FirstFailingActiveCheck(FieldsWithoutValue())) {
    Message(failure->data());
    SetActiveQuietly(false);
  }
}

void SchedulerWindow::onRunOnceToggled() {
  HandlerScope scope(*this);
  const bool once = runOnceBox_->isChecked();
  everyLabel_->setEnabled(!once);
  lastExecutionLabel_->setEnabled(!once);
  lastExecutionEdit_->setEnabled(!once);
  countEdit_->setEnabled(!once);
  unitList_->setEnabled(!once);
  if (once) {
    lastExecutionEdit_->clear();
    countEdit_->SetText(QStringLiteral("1"));
    SelectQuietly(unitList_, -1);
  } else {
    onActiveToggled();
  }
}

void SchedulerWindow::onNewScheduledJob() {
  HandlerScope scope(*this);
  // A refused name comes back in the input dialog, to be corrected, until a name is taken or the
  // operator cancels.
  dialogs_.AskUntilTaken([this] {
    Guarded(Ui(), this, [this] {
      const std::optional<std::string> name = editor_.NewScheduledJob();
      if (!name) return;
      // In its sorted place, then selected and loaded.
      ShowNames(scheduledJobList_, editor_.ScheduledJobNames(), std::nullopt);
      SelectName(scheduledJobList_, *name);
      onScheduledJobChosen();
    });
  });
}

void SchedulerWindow::onRemoveScheduledJob() {
  HandlerScope scope(*this);
  Guarded(Ui(), this, [this] {
    const std::string selected = SelectedName(scheduledJobList_);
    if (scheduledJobList_->currentIndex() < 0) return;
    editor_.Remove(selected);
    ShowNames(scheduledJobList_, editor_.ScheduledJobNames(), std::nullopt);
    ShowNoScheduledJob();  // the start field keeps its text
  });
}

void SchedulerWindow::onPickStartDate() {
  HandlerScope scope(*this);
  if (editor_.CurrentSchedule().empty()) return;
  emit startDatePickRequested();
}

void SchedulerWindow::onCloseClicked() { close(); }

bool SchedulerWindow::onClose() {
  HandlerScope scope(*this);
  // The show could not read the files and nothing was chosen since: nothing to write back.
  if (!editor_.SavesOnClose()) return true;
  editor_.Close(Fields());
  return true;
}

void SchedulerWindow::ReloadFromDisk() {
  if (handlerDepth_ > 0) {
    reloadPending_ = true;
    return;
  }
  // Nothing shown (none selected, or the selected one could not be loaded): nothing to refresh.
  if (editor_.CurrentSchedule().empty() || scheduledJobList_->currentIndex() < 0) return;
  editor_.ForgetCurrent();
  onScheduledJobChosen();
}

}  // namespace corvane
