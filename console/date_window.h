// The date and time picker (Form9, "Date"): opened from the scheduler editor's "..." button, it
// starts from the editor's start field (or from now), lets the operator pick a day on a month grid
// and set month, year, hour and minute, and on OK writes the date-time text back into the start
// field. The date rules are in console/date_model.h.
//
// Opening the picker does not change the date: its fields are filled without running their
// change handlers. The month, hour and minute fields always show two digits.
#pragma once

#include <QSpinBox>

#include <memory>
#include <string>

#include "console/date_model.h"
#include "console/secondary_window.h"
#include "settings/date_time_text.h"

class QCalendarWidget;
class QLabel;
class QPushButton;

namespace corvane {

class TForm1;

// What OK says when the scheduler editor no longer shows the scheduled job the picker was opened
// for (%1: its name).
inline constexpr char kDateJobChanged[] =
    "The scheduler editor no longer shows the scheduled job \"%1\". Select it there again to "
    "take this date over, or press Cancel.";

// A numeric field that shows one-digit numbers with a leading "0".
class TwoDigitSpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit TwoDigitSpinEdit(QWidget* parent = nullptr) : QSpinBox(parent) {}

 protected:
  QString textFromValue(int value) const override;
};

class TForm9 : public SecondaryWindow {
  Q_OBJECT
 public:
  explicit TForm9(TForm1& form1);
  ~TForm9() override;

  // The source of "now" when the start field is empty (the system clock unless set).
  void SetClock(std::shared_ptr<const Clock> clock) { clock_ = std::move(clock); }

  // ---- handlers ---------------------------------------------------------------------------
  void SpinEdit1Change();  // month
  void SpinEdit2Change();  // year
  void Calendar1Click();   // a day picked on the grid
  void Button2Click();     // OK
  void Button1Click();     // Cancel

  const CalendarDate& Date() const { return date_; }

  QLabel* Label1 = nullptr;
  TwoDigitSpinEdit* SpinEdit1 = nullptr;  // month
  QLabel* Label2 = nullptr;
  QSpinBox* SpinEdit2 = nullptr;          // year
  QCalendarWidget* Calendar1 = nullptr;
  TwoDigitSpinEdit* SpinEdit3 = nullptr;  // hour
  QLabel* Label3 = nullptr;
  TwoDigitSpinEdit* SpinEdit4 = nullptr;  // minute
  QPushButton* Button2 = nullptr;         // OK
  QPushButton* Button1 = nullptr;         // Cancel

 protected:
  void FormShow() override;

 private:
  void ShowDateOnGrid();
  void ShowDateInFields();

  TForm1& form1_;
  std::shared_ptr<const Clock> clock_;
  CalendarDate date_;
  std::string scheduledJob_;  // the scheduled job shown in the scheduler editor at the show
};

}  // namespace corvane
