// The date and time picker window over the scheduler editor's start field.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QTableView>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include "console/console_fixture.h"
#include "console/core/date_model.h"
#include "console/windows/app.h"
#include "console/windows/date_picker_window.h"
#include "console/windows/scheduler_window.h"

namespace corvane {
namespace {

class DatePickerWindowTest : public test::ConsoleTest {
 protected:
  void SetUp() override {
    test::ConsoleTest::SetUp();
    ConsoleServices& services = Services();
    InitStoredValueManager(*services.storedValueCipher);
    scheduler_ =
        std::make_unique<SchedulerWindow>(&Window(), *services.ui, *services.storedValueCipher, services.paths);
    picker_ = std::make_unique<DatePickerWindow>(&Window(), *services.ui, *scheduler_);
    ConnectDatePicker(*scheduler_, *picker_, *services.ui);
    // The picker is opened from a scheduler editor that shows a scheduled job.
    WriteFile("CorvaneSchd.ini", "[S]\r\n");
    scheduler_->present();
    scheduler_->scheduledJobList_->setCurrentIndex(0);
    emit scheduler_->scheduledJobList_->activated(0);
    ASSERT_EQ(scheduler_->CurrentSchedule(), "S");
    LocalDateTime now;
    now.year = 2025;
    now.month = 3;
    now.day = 9;
    now.hour = 7;
    now.minute = 4;
    picker_->SetClock(std::make_shared<FixedClock>(now));
  }
  void DestroyWindows() override {
    picker_.reset();
    scheduler_.reset();
    test::ConsoleTest::DestroyWindows();
  }
  std::unique_ptr<SchedulerWindow> scheduler_;
  std::unique_ptr<DatePickerWindow> picker_;
};

TEST_F(DatePickerWindowTest, ShowingDoesNotMoveTheDate) {
  scheduler_->SetStartDateText("2024-01-30 10:05:00");
  picker_->present();
  EXPECT_EQ(picker_->windowTitle(), "Date");
  EXPECT_EQ(picker_->Date().Day(), 30);
  EXPECT_EQ(picker_->calendar_->selectedDate(), QDate(2024, 1, 30));
  EXPECT_EQ(picker_->monthEdit_->text(), "01");
  EXPECT_EQ(picker_->yearEdit_->text(), "2024");
  EXPECT_EQ(picker_->hourEdit_->text(), "10");
  EXPECT_EQ(picker_->minuteEdit_->text(), "05");
  picker_->okButton_->click();
  EXPECT_FALSE(picker_->isVisible());
  EXPECT_EQ(scheduler_->StartDateText(), "2024-01-30 10:05:00");
}

// A start before the years the picker shows: OK writes the date the fields and the grid show.
TEST_F(DatePickerWindowTest, OkWritesTheDateShownForAnEarlierStart) {
  struct Case {
    const char* stored;
    QDate shown;
    const char* written;
  };
  const Case cases[] = {
      {"1949-06-15 10:30:00", QDate(1950, 6, 15), "1950-06-15 10:30:00"},
      {"1948-02-29 23:59:00", QDate(1950, 2, 28), "1950-02-28 23:59:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    scheduler_->SetStartDateText(QString::fromLatin1(c.stored));
    picker_->present();
    EXPECT_EQ(picker_->yearEdit_->text(), QString::number(c.shown.year()));
    EXPECT_EQ(picker_->monthEdit_->value(), c.shown.month());
    EXPECT_EQ(picker_->calendar_->selectedDate(), c.shown);
    picker_->okButton_->click();
    EXPECT_FALSE(picker_->isVisible());
    EXPECT_EQ(scheduler_->StartDateText(), QString::fromLatin1(c.written));
  }
  EXPECT_TRUE(ui_->messages.empty());
}

TEST_F(DatePickerWindowTest, FieldsSteerTheGridAndOkWritesTheStart) {
  scheduler_->SetStartDateText("2024-01-31");
  picker_->present();
  EXPECT_EQ(picker_->hourEdit_->text(), "00");
  picker_->monthEdit_->setValue(2);  // 31 January -> 28 February
  EXPECT_EQ(picker_->calendar_->selectedDate(), QDate(2024, 2, 28));
  picker_->yearEdit_->setValue(2025);
  picker_->hourEdit_->setValue(9);
  picker_->minuteEdit_->setValue(30);
  picker_->okButton_->click();
  EXPECT_EQ(scheduler_->StartDateText(), "2025-02-28 09:30:00");
  // A day picked on the grid.
  picker_->present();
  picker_->calendar_->setSelectedDate(QDate(2025, 2, 3));
  emit picker_->calendar_->clicked(QDate(2025, 2, 3));
  picker_->hourEdit_->setValue(0);
  picker_->minuteEdit_->setValue(0);
  picker_->okButton_->click();
  EXPECT_EQ(scheduler_->StartDateText(), "2025-02-03 00:00:00");
}

// A day chosen on the grid with the keyboard counts like a clicked one: OK takes the day shown.
TEST_F(DatePickerWindowTest, DayChosenWithTheKeyboardIsTheOneTaken) {
  scheduler_->SetStartDateText("2024-01-31 10:00:00");
  picker_->present();
  auto* grid = picker_->calendar_->findChild<QTableView*>();
  ASSERT_NE(grid, nullptr);
  QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QCoreApplication::sendEvent(grid, &right);
  ASSERT_EQ(picker_->calendar_->selectedDate(), QDate(2024, 2, 1));
  EXPECT_EQ(picker_->monthEdit_->text(), "02");
  picker_->okButton_->click();
  EXPECT_EQ(scheduler_->StartDateText(), "2024-02-01 10:00:00");
}

TEST_F(DatePickerWindowTest, EmptyStartTakesNowCancelKeepsTheStart) {
  picker_->present();
  EXPECT_EQ(picker_->calendar_->selectedDate(), QDate(2025, 3, 9));
  EXPECT_EQ(picker_->hourEdit_->text(), "07");
  EXPECT_EQ(picker_->minuteEdit_->text(), "04");
  picker_->minuteEdit_->setValue(45);
  picker_->cancelButton_->click();
  EXPECT_FALSE(picker_->isVisible());
  EXPECT_EQ(scheduler_->StartDateText(), "");
}

TEST_F(DatePickerWindowTest, ImpossibleMonthAndBadStartAreReported) {
  scheduler_->SetStartDateText("2023-01-29 08:00:00");
  picker_->present();
  picker_->monthEdit_->setValue(2);
  ASSERT_FALSE(ui_->messages.empty());
  EXPECT_EQ(picker_->calendar_->selectedDate(), QDate(2023, 1, 29));
  picker_->cancelButton_->click();
  ui_->messages.clear();
  scheduler_->SetStartDateText("30.01.2024");
  picker_->present();
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_NE(ui_->messages[0].indexOf("30.01.2024"), -1);
}

}  // namespace
}  // namespace corvane
