#include "console/windows/date_picker_window.h"

#include <QCalendarWidget>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace corvane {

QString TwoDigitSpinBox::textFromValue(int value) const {
  return QString::fromStdString(PadTwoDigits(std::to_string(value)));
}

DatePickerWindow::DatePickerWindow(QWidget* mainWindow, UiServices& ui, StartDateField& field)
    : SecondaryWindow(mainWindow, ui), field_(field), clock_(std::make_shared<SystemClock>()) {
  RemoveCaptionButtons();
  setWindowTitle(QStringLiteral("Date"));
  BuildControls();
  BuildLayout();
  ConnectHandlers();
}

DatePickerWindow::~DatePickerWindow() = default;

void DatePickerWindow::BuildControls() {
  QFont bold = font();
  bold.setBold(true);

  monthLabel_ = new QLabel(QStringLiteral("Month:"), this);
  monthLabel_->setFont(bold);
  monthEdit_ = new TwoDigitSpinBox(this);
  monthEdit_->setRange(1, 12);
  yearLabel_ = new QLabel(QStringLiteral("Year:"), this);
  yearLabel_->setFont(bold);
  yearEdit_ = new QSpinBox(this);
  yearEdit_->setRange(kFirstShownYear, kLastShownYear);
  calendar_ = new QCalendarWidget(this);
  calendar_->setFirstDayOfWeek(Qt::Sunday);
  calendar_->setDateRange(QDate(kFirstShownYear, 1, 1), QDate(kLastShownYear, 12, 31));  // the year field's
  calendar_->setNavigationBarVisible(false);  // month and year are steered by their fields
  calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  hourEdit_ = new TwoDigitSpinBox(this);
  hourEdit_->setRange(0, 23);
  timeSeparator_ = new QLabel(QStringLiteral(":"), this);
  timeSeparator_->setFont(bold);
  minuteEdit_ = new TwoDigitSpinBox(this);
  minuteEdit_->setRange(0, 59);
  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setFont(bold);
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton_->setFont(bold);
}

void DatePickerWindow::BuildLayout() {
  // Month and year above the grid, the time below it, the buttons at the lower right.
  auto* top = new QHBoxLayout;
  top->addWidget(monthLabel_);
  top->addWidget(monthEdit_);
  top->addSpacing(12);
  top->addWidget(yearLabel_);
  top->addWidget(yearEdit_);
  top->addStretch(1);
  auto* time = new QHBoxLayout;
  time->addStretch(1);
  time->addWidget(hourEdit_);
  time->addWidget(timeSeparator_);
  time->addWidget(minuteEdit_);
  time->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);
  auto* main = new QVBoxLayout(this);
  main->addLayout(top);
  main->addWidget(calendar_);
  main->addLayout(time);
  main->addLayout(buttons);
  main->setSizeConstraint(QLayout::SetFixedSize);
}

void DatePickerWindow::ConnectHandlers() {
  connect(monthEdit_, &QSpinBox::textChanged, this, [this] { onMonthChanged(); });
  connect(yearEdit_, &QSpinBox::textChanged, this, [this] { onYearChanged(); });
  // A day chosen on the grid by mouse or keyboard; the grid set from code is silent.
  connect(calendar_, &QCalendarWidget::selectionChanged, this, [this] { onDayPicked(); });
  connect(okButton_, &QPushButton::clicked, this, [this] { onOk(); });
  connect(cancelButton_, &QPushButton::clicked, this, [this] { onCancel(); });
}

void DatePickerWindow::ShowDateOnGrid() {
  const QSignalBlocker blocker(calendar_);
  const QDate date(date_.Year(), date_.Month(), date_.Day());
  calendar_->setSelectedDate(date);
  calendar_->setCurrentPage(date_.Year(), date_.Month());
}

void DatePickerWindow::ShowDateInFields() {
  const QSignalBlocker month(monthEdit_);
  const QSignalBlocker year(yearEdit_);
  monthEdit_->setValue(date_.Month());
  yearEdit_->setValue(date_.Year());
}

void DatePickerWindow::onShow() {
  const QString start = field_.StartDateText();
  scheduledJob_ = field_.CurrentSchedule();
  int hour = 0;
  int minute = 0;
  if (!start.isEmpty()) {
    const LocalDateTime t = ParseDateTimeText(start.toStdString());
    // An earlier start shows as the first year the fields hold; OK then writes what they show.
    date_ = ShownDate(t.year, t.month, t.day);
    hour = t.hour;
    minute = t.minute;
  } else {
    const LocalDateTime now = clock_->Now();
    date_.SetDate(now.year, now.month, now.day);
    hour = now.hour;
    minute = now.minute;
  }
  // Filled without running the fields' handlers: showing must not move the date.
  ShowDateInFields();
  {
    const QSignalBlocker h(hourEdit_);
    const QSignalBlocker m(minuteEdit_);
    hourEdit_->setValue(hour);
    minuteEdit_->setValue(minute);
  }
  ShowDateOnGrid();
}

void DatePickerWindow::onMonthChanged() {
  Guarded(Ui(), this, [this] { ApplyMonthField(date_, monthEdit_->cleanText().toStdString()); });
  ShowDateOnGrid();
}

void DatePickerWindow::onYearChanged() {
  Guarded(Ui(), this, [this] { ApplyYearField(date_, yearEdit_->cleanText().toStdString()); });
  ShowDateOnGrid();
}

void DatePickerWindow::onDayPicked() {
  const QDate picked = calendar_->selectedDate();
  Guarded(Ui(), this, [&] { date_.SetDate(picked.year(), picked.month(), picked.day()); });
  ShowDateInFields();
  ShowDateOnGrid();
}

void DatePickerWindow::onOk() {
  Guarded(Ui(), this, [this] {
    const std::string text =
        PickedDateTimeText(date_, hourEdit_->cleanText().toStdString(), minuteEdit_->cleanText().toStdString());
    // Both windows stay usable: the date belongs to the scheduled job the picker was opened for.
    if (!field_.TakeStartDate(scheduledJob_,
                              QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())))) {
      Ui().Message(
          this, QString::fromLatin1(kDateJobChanged)
                    .arg(QString::fromLatin1(scheduledJob_.data(), static_cast<qsizetype>(scheduledJob_.size()))));
      return;
    }
    hide();
  });
}

void DatePickerWindow::onCancel() { hide(); }

}  // namespace corvane
