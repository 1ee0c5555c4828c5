#include "console/scheduler_window.h"

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

#include "console/date_window.h"
#include "console/editor_ui.h"
#include "console/main_window.h"
#include "console/scheduler_worker.h"
#include "settings/stored_values.h"

namespace corvane {

// Counts the handlers in progress; a reload asked for meanwhile runs once the last one is done.
class TForm8::HandlerScope {
 public:
  explicit HandlerScope(TForm8& form) : form_(form) { ++form_.handlerDepth_; }
  ~HandlerScope() {
    if (--form_.handlerDepth_ == 0 && form_.reloadPending_) {
      form_.reloadPending_ = false;
      QTimer::singleShot(0, &form_, [form = &form_] { form->ReloadFromDisk(); });
    }
  }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

 private:
  TForm8& form_;
};

CountSpinEdit::CountSpinEdit(QWidget* parent) : QSpinBox(parent) {}
QString CountSpinEdit::Text() const { return lineEdit()->text().trimmed(); }
void CountSpinEdit::SetText(const QString& text) {
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

TForm8::TForm8(TForm1& form1)
    : SecondaryWindow(&form1, form1.Ui()), form1_(form1), values_(form1.c1) {
  RemoveCaptionButtons();
  setWindowTitle(QString::fromLatin1(kSchedulerCaption));
  Build();
  form1.Windows().Form8 = this;
  form1.SetSchedulerLoop(MakeSchedulerLoop());
}

TForm8::~TForm8() = default;

void TForm8::Build() {
  const QFont bold = BoldFont(font());
  const auto group = [&](const char* caption) {
    auto* box = new QGroupBox(QString::fromLatin1(caption), this);
    box->setFont(bold);
    return box;
  };
  // Only the group captions and Close are bold; their children say so explicitly, since a
  // group box hands its font down.
  const QFont regular = RegularFont(font());
  const auto plain = [regular](QWidget* w) {
    w->setFont(regular);
    return w;
  };
  const auto list = [&](QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setEditable(false);
    plain(box);
    return box;
  };
  const auto label = [&](const char* text, QWidget* parent) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    plain(l);
    return l;
  };

  GroupBox1 = group("Scheduled Job Name");
  ComboBox1 = list(GroupBox1);
  ComboBox1->setMinimumWidth(180);
  cb1 = new QCheckBox(QStringLiteral("Active"), GroupBox1);
  plain(cb1);
  Button2 = new QPushButton(QStringLiteral("New"), GroupBox1);
  Button4 = new QPushButton(QStringLiteral("Remove"), GroupBox1);
  plain(Button2);
  plain(Button4);
  auto* row1 = new QHBoxLayout(GroupBox1);
  row1->addWidget(ComboBox1, 1);
  row1->addWidget(cb1);
  row1->addWidget(Button2);
  row1->addWidget(Button4);

  GroupBox2 = group("Job");
  Label1 = label("Name", GroupBox2);
  ComboBox2 = list(GroupBox2);
  Label8 = label("Environment", GroupBox2);
  ComboBox6 = list(GroupBox2);
  Label7 = label("Protocol", GroupBox2);
  ComboBox5 = list(GroupBox2);
  for (std::string_view item : kProtocolItems) ComboBox5->addItem(QString::fromLatin1(item.data(), item.size()));
  ComboBox5->setCurrentIndex(-1);
  ComboBox5->setToolTip(QStringLiteral("Select Protocol"));
  Label2 = label("Parameter", GroupBox2);
  ComboBox3 = list(GroupBox2);
  Label3 = label("Value", GroupBox2);
  Edit1 = new QLineEdit(GroupBox2);
  plain(Edit1);
  Edit1->setReadOnly(true);
  Edit1->setValidator(new Latin1Validator(Edit1));
  auto* grid2 = new QGridLayout(GroupBox2);
  grid2->addWidget(Label1, 0, 0);
  grid2->addWidget(ComboBox2, 0, 1);
  grid2->addWidget(Label8, 1, 0);
  grid2->addWidget(ComboBox6, 1, 1);
  grid2->addWidget(Label7, 2, 0);
  grid2->addWidget(ComboBox5, 2, 1);
  grid2->addWidget(Label2, 3, 0);
  grid2->addWidget(ComboBox3, 3, 1);
  grid2->addWidget(Label3, 4, 0);
  grid2->addWidget(Edit1, 4, 1);

  GroupBox3 = group("Schedule");
  CheckBox1 = new QCheckBox(QStringLiteral("Run Once"), GroupBox3);
  plain(CheckBox1);
  CheckBox1->setChecked(true);
  Label4 = label("Start Date:", GroupBox3);
  startdate = new QLineEdit(GroupBox3);
  plain(startdate);
  startdate->setReadOnly(true);
  startdate->setFocusPolicy(Qt::ClickFocus);  // skipped by the Tab key
  startdate->setMinimumWidth(startdate->fontMetrics().horizontalAdvance(QStringLiteral("9999-12-31 00:00:00")) + 16);
  Button3 = new QPushButton(QStringLiteral("..."), GroupBox3);
  plain(Button3);
  Label6 = label("Execute Every ", GroupBox3);
  Label6->setEnabled(false);
  SpinEdit1 = new CountSpinEdit(GroupBox3);
  plain(SpinEdit1);
  SpinEdit1->setRange(1, 999);
  SpinEdit1->setValue(1);
  SpinEdit1->setEnabled(false);
  ComboBox4 = list(GroupBox3);
  for (std::string_view item : kPeriodUnitItems) ComboBox4->addItem(QString::fromLatin1(item.data(), item.size()));
  ComboBox4->setCurrentIndex(-1);
  ComboBox4->setEnabled(false);
  Label5 = label("Last Execution Date:", GroupBox3);
  Label5->setEnabled(false);
  Edit2 = new QLineEdit(GroupBox3);
  plain(Edit2);
  Edit2->setReadOnly(true);
  Edit2->setFocusPolicy(Qt::ClickFocus);
  Edit2->setEnabled(false);
  auto* grid3 = new QGridLayout(GroupBox3);
  grid3->addWidget(CheckBox1, 0, 0, 1, 3);
  grid3->addWidget(Label4, 1, 0);
  grid3->addWidget(startdate, 1, 1);
  grid3->addWidget(Button3, 1, 2);
  grid3->addWidget(Label6, 2, 0);
  auto* every = new QHBoxLayout;
  every->addWidget(SpinEdit1);
  every->addWidget(ComboBox4, 1);
  grid3->addLayout(every, 2, 1, 1, 2);
  grid3->addWidget(Label5, 3, 0);
  grid3->addWidget(Edit2, 3, 1, 1, 2);

  Button1 = new QPushButton(QStringLiteral("Close"), this);
  Button1->setFont(bold);

  auto* main = new QVBoxLayout(this);
  main->addWidget(GroupBox1);
  main->addWidget(GroupBox2);
  main->addWidget(GroupBox3);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(Button1);
  main->addLayout(bottom);
  main->setSizeConstraint(QLayout::SetFixedSize);

  // The operator's selections (activated: not raised by selections made in code).
  connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
  connect(ComboBox4, &QComboBox::activated, this, [this] { ComboBox1Change(); });
  connect(ComboBox2, &QComboBox::activated, this, [this] { ComboBox2Change(); });
  connect(ComboBox3, &QComboBox::activated, this, [this] { ComboBox3Change(); });
  connect(ComboBox5, &QComboBox::activated, this, [this] { ComboBox3Change(); });
  // Check boxes: every change of state, by the operator or by code.
  connect(cb1, &QCheckBox::toggled, this, [this] { cb1Click(); });
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

// ---- helpers ---------------------------------------------------------------------------------------

std::string TForm8::Bytes(const QString& text) {
  // The fields accept Latin-1 only; anything else could not be stored as it was typed.
  if (std::optional<std::string> bytes = Latin1Bytes(text)) return std::move(*bytes);
  throw std::invalid_argument("The text may only hold characters of the Latin-1 character set");
}

std::string TForm8::SelectedName(const QComboBox* box) {
  const int index = box->currentIndex();
  if (index < 0) return {};
  const QVariant data = box->itemData(index);
  if (data.isValid()) {
    const QByteArray bytes = data.toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }
  return Bytes(box->itemText(index));
}

void TForm8::FillNames(QComboBox* box, const std::vector<std::string>& names) {
  ShowNames(box, SortedNames(names), std::nullopt);
}

void TForm8::SelectQuietly(QComboBox* box, int index) {
  const QSignalBlocker blocker(box);
  box->setCurrentIndex(index);
}

void TForm8::SelectName(QComboBox* box, const std::string& name) {
  int found = -1;
  for (int i = 0; i < box->count() && found < 0; ++i) {
    const QVariant data = box->itemData(i);
    const std::string item = data.isValid() ? data.toByteArray().toStdString() : Bytes(box->itemText(i));
    if (NamesEqualIgnoringCase(item, name)) found = i;
  }
  SelectQuietly(box, found);
}

void TForm8::Message(const char* text) { Ui().Message(this, QString::fromLatin1(text)); }

void TForm8::SetActiveQuietly(bool ticked) {
  const QSignalBlocker blocker(cb1);
  cb1->setChecked(ticked);
}

void TForm8::SetRunOnceQuietly(bool ticked) {
  const QSignalBlocker blocker(CheckBox1);
  CheckBox1->setChecked(ticked);
}

std::string TForm8::SchedulePath() const {
  return ProgramPaths::Bytes(form1_.Paths().SchdIniPath());
}

QString TForm8::StartDateText() const { return startdate->text(); }
void TForm8::SetStartDateText(const QString& text) { startdate->setText(text); }

ScheduleFields TForm8::Fields() const {
  ScheduleFields f;
  f.active = cb1->isChecked();
  f.once = CheckBox1->isChecked();
  f.start = Bytes(startdate->text());
  f.every = Bytes(SpinEdit1->Text());
  f.unit = ComboBox4->currentIndex();
  f.job = SelectedName(ComboBox2);
  f.environment = SelectedName(ComboBox6);
  f.protocol = ComboBox5->currentIndex() >= 0 ? Bytes(ComboBox5->currentText()) : std::string();
  f.parameter = SelectedName(ComboBox3);
  f.value = Bytes(Edit1->text());
  return f;
}

// ---- handlers ----------------------------------------------------------------------------------------

void TForm8::FormShow() {
  HandlerScope scope(*this);
  // 3.-5. No scheduled job shown; the protocol selection stays as it was. Done first, so that
  // nothing of the last show stays current when a file below cannot be read.
  loaded_ = false;
  ShowNoScheduledJob();
  startdate->clear();
  FillNames(ComboBox1, {});
  // 1. Fresh copies of the three files.
  schedule_ = ReadScheduleFile(SchedulePath());
  jobs_ = IniFile(ProgramPaths::Bytes(form1_.Paths().JobIniPath()));
  environments_ = IniFile(ProgramPaths::Bytes(form1_.Paths().EnvIniPath()));
  // 2. The lists, nothing selected.
  FillNames(ComboBox1, schedule_.Sections());
  FillNames(ComboBox2, jobs_.Sections());
  FillNames(ComboBox6, environments_.Sections());
  loaded_ = true;
}

void TForm8::ShowNoScheduledJob() {
  CurrentParameter_.clear();
  CurrentSchedule_.clear();
  ScheduleJobName_.clear();
  entered_.Clear();
  cb1->setChecked(false);
  SetRunOnceQuietly(true);
  CheckBox1Click();
  SelectQuietly(ComboBox2, -1);
  ComboBox3->clear();
  Edit1->setReadOnly(true);
  Edit1->clear();
}

void TForm8::ComboBox1Change() {
  HandlerScope scope(*this);
  const bool done = Guarded(Ui(), this, [this] {
    // 1., 2. Save the shown scheduled job into a fresh copy of the file.
    schedule_ = SaveScheduleFile(SchedulePath(), values_, CurrentSchedule_, Fields(), entered_,
                                 NameOrder::JobEnvironmentProtocol, false);
    // 3.
    CurrentSchedule_ = SelectedName(ComboBox1);
    Edit1->clear();
    CurrentParameter_.clear();
    entered_.Clear();
    ComboBox3->clear();
    Edit1->setReadOnly(true);
    // 4.
    LoadCurrent();
  });
  // The save failed: the fields still belong to the scheduled job shown so far, and the list says so.
  if (!done) SelectName(ComboBox1, CurrentSchedule_);
}

void TForm8::LoadCurrent() {
  LoadedSchedule loaded;
  try {
    loaded = ReadScheduledJob(schedule_, values_, CurrentSchedule_);
  } catch (const std::exception& e) {
    // Nothing of the previous scheduled job may stay on screen to be saved into this one.
    ClearAfterFailedLoad();
    Ui().Message(this, QString::fromLocal8Bit(e.what()));
    return;
  }
  SelectName(ComboBox2, loaded.job);
  SelectName(ComboBox6, loaded.environment);
  SelectName(ComboBox5, loaded.protocol);
  ScheduleJobName_ = SelectedName(ComboBox2);
  ComboBox2Change();
  startdate->setText(Latin1Text(loaded.start));
  // Active is judged once, after everything is in place.
  SetActiveQuietly(false);
  if (loaded.once) {
    SetRunOnceQuietly(true);
  } else {
    SpinEdit1->SetText(Latin1Text(loaded.every));
    SelectQuietly(ComboBox4, loaded.unit >= 0 && loaded.unit < ComboBox4->count() ? loaded.unit : -1);
    SetRunOnceQuietly(false);
  }
  CheckBox1Click();
  SetActiveQuietly(loaded.active);
  cb1Click();
  Edit2->setText(Latin1Text(loaded.last));
}

void TForm8::ClearAfterFailedLoad() {
  SelectQuietly(ComboBox1, -1);
  ShowNoScheduledJob();
  startdate->clear();
}

void TForm8::ComboBox2Change() {
  HandlerScope scope(*this);
  const bool done = Guarded(Ui(), this, [this] {
    // 1.
    if (CurrentSchedule_.empty()) {
      SelectQuietly(ComboBox2, -1);
      Message(kSelectScheduledJobMessage);
      return;
    }
    // 2.
    Edit1->clear();
    const std::string job = SelectedName(ComboBox2);
    // 3. Another job: the parameter values of the old one are gone at once.
    if (!ScheduleJobName_.empty() && ScheduleJobName_ != job) {
      schedule_ = DeleteParameterValues(SchedulePath(), CurrentSchedule_);
      entered_.Clear();
      CurrentParameter_.clear();
    }
    // 4.
    FillNames(ComboBox3, JobParameters(jobs_, job));
    // 5.
    ScheduleJobName_ = job;
  });
  // The old job's parameter values could not be removed: the scheduled job keeps its job.
  if (!done) SelectName(ComboBox2, ScheduleJobName_);
}

void TForm8::ComboBox3Change() {
  HandlerScope scope(*this);
  Guarded(Ui(), this, [this] {
    Edit1->setReadOnly(false);
    if (!CurrentParameter_.empty() && !Edit1->text().isEmpty()) {
      entered_.Enter(CurrentParameter_, Bytes(Edit1->text()));
    }
    CurrentParameter_ = SelectedName(ComboBox3);
    if (const std::string* value = entered_.Find(CurrentParameter_)) {
      Edit1->setText(Latin1Text(*value));
    } else {
      Edit1->setText(Latin1Text(StoredParameterValue(schedule_, values_, CurrentSchedule_, CurrentParameter_)));
    }
  });
}

void TForm8::cb1Click() {
  HandlerScope scope(*this);
  if (!cb1->isChecked()) return;
  if (const std::optional<std::string_view> failure = FirstFailingActiveCheck(Fields())) {
    Message(failure->data());
    SetActiveQuietly(false);
  }
}

void TForm8::CheckBox1Click() {
  HandlerScope scope(*this);
  const bool once = CheckBox1->isChecked();
  Label6->setEnabled(!once);
  Label5->setEnabled(!once);
  Edit2->setEnabled(!once);
  SpinEdit1->setEnabled(!once);
  ComboBox4->setEnabled(!once);
  if (once) {
    Edit2->clear();
    SpinEdit1->SetText(QStringLiteral("1"));
    SelectQuietly(ComboBox4, -1);
  } else {
    cb1Click();
  }
}

void TForm8::Button2Click() {
  HandlerScope scope(*this);
  Guarded(Ui(), this, [this] {
    const std::optional<QString> typed = Ui().InputText(this, QString::fromLatin1(kNewScheduledJobCaption),
                                                        QString::fromLatin1(kNewScheduledJobPrompt), QString());
    if (!typed) return;
    const std::optional<std::string> bytes = Latin1Bytes(*typed);
    if (!bytes) {
      Ui().Message(this, Latin1Text(kNameNotLatin1));
      return;
    }
    const std::string& name = *bytes;
    std::vector<std::string> names;
    for (int i = 0; i < ComboBox1->count(); ++i) names.push_back(ComboBox1->itemData(i).toByteArray().toStdString());
    if (NameListed(names, name)) {
      Message(kNameExistsMessage);
      return;
    }
    if (name.empty()) return;
    if (const std::optional<std::string> problem = SectionNameProblem(TypedName{name, true})) {
      Ui().Message(this, Latin1Text(*problem));
      return;
    }
    // Into its sorted place, then selected and loaded.
    names.push_back(name);
    FillNames(ComboBox1, names);
    SelectName(ComboBox1, name);
    ComboBox1Change();
  });
}

void TForm8::Button4Click() {
  HandlerScope scope(*this);
  Guarded(Ui(), this, [this] {
    const std::string selected = SelectedName(ComboBox1);
    if (ComboBox1->currentIndex() < 0) return;
    schedule_ = RemoveScheduledJob(SchedulePath(), selected);
    FillNames(ComboBox1, schedule_.Sections());
    ShowNoScheduledJob();  // the start field keeps its text
  });
}

void TForm8::Button3Click() {
  HandlerScope scope(*this);
  if (CurrentSchedule_.empty()) return;
  SecondaryWindow* picker = form1_.Windows().Form9;
  if (picker == nullptr) return;
  Guarded(Ui(), this, [picker] { picker->present(); });
}

void TForm8::Button1Click() { close(); }

bool TForm8::FormClose() {
  HandlerScope scope(*this);
  // The show could not read the files and nothing was chosen since: nothing to write back.
  if (!loaded_ && CurrentSchedule_.empty()) return true;
  schedule_ = SaveScheduleFile(SchedulePath(), values_, CurrentSchedule_, Fields(), entered_,
                               NameOrder::ProtocolEnvironmentJob, true);
  return true;
}

void TForm8::ReloadFromDisk() {
  if (handlerDepth_ > 0) {
    reloadPending_ = true;
    return;
  }
  CurrentSchedule_.clear();
  if (ComboBox1->currentIndex() < 0) return;  // nothing shown: nothing to refresh
  ComboBox1Change();
}

}  // namespace corvane
