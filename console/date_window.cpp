#include "console/date_window.h"

#include <QCalendarWidget>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "console/main_window.h"
#include "console/scheduler_window.h"

namespace corvane {

QString TwoDigitSpinEdit::textFromValue(int value) const {
  return QString::fromStdString(PadTwoDigits(std::to_string(value)));
}

TForm9::TForm9(TForm1& form1)
    : SecondaryWindow(&form1, form1.Ui()), form1_(form1), clock_(std::make_shared<SystemClock>()) {
  RemoveCaptionButtons();
  setWindowTitle(QStringLiteral("Date"));
  form1.Windows().Form9 = this;
  QFont bold = font();
  bold.setBold(true);

  Label1 = new QLabel(QStringLiteral("Month:"), this);
  Label1->setFont(bold);
  SpinEdit1 = new TwoDigitSpinEdit(this);
  SpinEdit1->setRange(1, 12);
  Label2 = new QLabel(QStringLiteral("Year:"), this);
  Label2->setFont(bold);
  SpinEdit2 = new QSpinBox(this);
  SpinEdit2->setRange(1950, 9999);
  Calendar1 = new QCalendarWidget(this);
  Calendar1->setFirstDayOfWeek(Qt::Sunday);
  Calendar1->setDateRange(QDate(1950, 1, 1), QDate(9999, 12, 31));  // the years of the year field
  Calendar1->setNavigationBarVisible(false);  // month and year are steered by their fields
  Calendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  SpinEdit3 = new TwoDigitSpinEdit(this);
  SpinEdit3->setRange(0, 23);
  Label3 = new QLabel(QStringLiteral(":"), this);
  Label3->setFont(bold);
  SpinEdit4 = new TwoDigitSpinEdit(this);
  SpinEdit4->setRange(0, 59);
  Button2 = new QPushButton(QStringLiteral("OK"), this);
  Button2->setFont(bold);
  Button1 = new QPushButton(QStringLiteral("Cancel"), this);
  Button1->setFont(bold);

  auto* top = new QHBoxLayout;
  top->addWidget(Label1);
  top->addWidget(SpinEdit1);
  top->addSpacing(12);
  top->addWidget(Label2);
  top->addWidget(SpinEdit2);
  top->addStretch(1);
  auto* time = new QHBoxLayout;
  time->addStretch(1);
  time->addWidget(SpinEdit3);
  time->addWidget(Label3);
  time->addWidget(SpinEdit4);
  time->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button2);
  buttons->addWidget(Button1);
  auto* main = new QVBoxLayout(this);
  main->addLayout(top);
  main->addWidget(Calendar1);
  main->addLayout(time);
  main->addLayout(buttons);
  main->setSizeConstraint(QLayout::SetFixedSize);

  connect(SpinEdit1, &QSpinBox::textChanged, this, [this] { SpinEdit1Change(); });
  connect(SpinEdit2, &QSpinBox::textChanged, this, [this] { SpinEdit2Change(); });
  // A day chosen on the grid by mouse or keyboard; the grid set from code is silent.
  connect(Calendar1, &QCalendarWidget::selectionChanged, this, [this] { Calendar1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

TForm9::~TForm9() = default;

void TForm9::ShowDateOnGrid() {
  const QSignalBlocker blocker(Calendar1);
  const QDate date(date_.Year(), date_.Month(), date_.Day());
  Calendar1->setSelectedDate(date);
  Calendar1->setCurrentPage(date_.Year(), date_.Month());
}

void TForm9::ShowDateInFields() {
  const QSignalBlocker month(SpinEdit1);
  const QSignalBlocker year(SpinEdit2);
  SpinEdit1->setValue(date_.Month());
  SpinEdit2->setValue(date_.Year());
}

void TForm9::FormShow() {
  auto* scheduler = qobject_cast<TForm8*>(form1_.Windows().Form8.data());
  const QString start = scheduler != nullptr ? scheduler->StartDateText() : QString();
  scheduledJob_ = scheduler != nullptr ? scheduler->CurrentSchedule() : std::string();
  int hour = 0;
  int minute = 0;
  if (!start.isEmpty()) {
    const LocalDateTime t = ParseDateTimeText(start.toStdString());
    date_.SetDate(t.year, t.month, t.day);
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
    const QSignalBlocker h(SpinEdit3);
    const QSignalBlocker m(SpinEdit4);
    SpinEdit3->setValue(hour);
    SpinEdit4->setValue(minute);
  }
  ShowDateOnGrid();
}

void TForm9::SpinEdit1Change() {
  Guarded(Ui(), this, [this] { ApplyMonthField(date_, SpinEdit1->cleanText().toStdString()); });
  ShowDateOnGrid();
}

void TForm9::SpinEdit2Change() {
  Guarded(Ui(), this, [this] { ApplyYearField(date_, SpinEdit2->cleanText().toStdString()); });
  ShowDateOnGrid();
}

void TForm9::Calendar1Click() {
  const QDate picked = Calendar1->selectedDate();
  Guarded(Ui(), this, [&] { date_.SetDate(picked.year(), picked.month(), picked.day()); });
  ShowDateInFields();
  ShowDateOnGrid();
}

void TForm9::Button2Click() {
  Guarded(Ui(), this, [this] {
    const std::string text =
        PickedDateTimeText(date_, SpinEdit3->cleanText().toStdString(), SpinEdit4->cleanText().toStdString());
    auto* scheduler = qobject_cast<TForm8*>(form1_.Windows().Form8.data());
    if (scheduler == nullptr) return;
    // Both windows stay usable: the date belongs to the scheduled job the picker was opened for.
    if (!scheduler->isVisible() || scheduler->CurrentSchedule() != scheduledJob_) {
      Ui().Message(this, QString::fromLatin1(kDateJobChanged)
                             .arg(QString::fromLatin1(scheduledJob_.data(), static_cast<qsizetype>(scheduledJob_.size()))));
      return;
    }
    scheduler->SetStartDateText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    hide();
  });
}

void TForm9::Button1Click() { hide(); }

}  // namespace corvane
