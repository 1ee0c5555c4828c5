// The date and time picker ("Date"): opened from the scheduler editor's "..." button, it
// starts from the editor's start field (or from now), lets the operator pick a day on a month grid
// and set month, year, hour and minute, and on OK writes the date-time text back into the start
// field. The date rules are in console/core/date_model.h.
//
// Opening the picker does not change the date: its fields are filled without running their
// change handlers. The month, hour and minute fields always show two digits.
#pragma once

#include <QSpinBox>

#include <memory>
#include <string>

#include "console/core/date_model.h"
#include "console/windows/secondary_window.h"
#include "settings/date_time_text.h"

class QCalendarWidget;
class QLabel;
class QPushButton;

namespace corvane {

// What the picker edits: the scheduler editor's start field and the scheduled job it belongs to.
class StartDateField {
 public:
  virtual ~StartDateField() = default;
  // The start field's text.
  virtual QString StartDateText() const = 0;
  // The scheduled job shown ("" none).
  virtual const std::string& CurrentSchedule() const = 0;
  // Puts `text` into the start field when the editor is open and still shows `scheduledJob`;
  // answers whether it did.
  virtual bool TakeStartDate(const std::string& scheduledJob, const QString& text) = 0;
};

// What OK says when the scheduler editor no longer shows the scheduled job the picker was opened
// for (%1: its name).
inline constexpr char kDateJobChanged[] =
    "The scheduler editor no longer shows the scheduled job \"%1\". Select it there again to "
    "take this date over, or press Cancel.";

// A numeric field that shows one-digit numbers with a leading "0".
class TwoDigitSpinBox : public QSpinBox {
  Q_OBJECT
 public:
  explicit TwoDigitSpinBox(QWidget* parent = nullptr) : QSpinBox(parent) {}

 protected:
  QString textFromValue(int value) const override;
};

class DatePickerWindow : public SecondaryWindow {
  Q_OBJECT
 public:
  // `field` is borrowed: it outlives the picker.
  DatePickerWindow(QWidget* mainWindow, UiServices& ui, StartDateField& field);
  ~DatePickerWindow() override;

  // The source of "now" when the start field is empty (the system clock unless set).
  void SetClock(std::shared_ptr<const Clock> clock) { clock_ = std::move(clock); }

  // ---- handlers ---------------------------------------------------------------------------
  void onMonthChanged();
  void onYearChanged();
  void onDayPicked();  // on the month grid
  void onOk();         // "OK"
  void onCancel();     // "Cancel"

  const CalendarDate& Date() const { return date_; }

  // The controls (public for the tests that drive the window).
  QLabel* monthLabel_ = nullptr;
  TwoDigitSpinBox* monthEdit_ = nullptr;
  QLabel* yearLabel_ = nullptr;
  QSpinBox* yearEdit_ = nullptr;
  QCalendarWidget* calendar_ = nullptr;
  TwoDigitSpinBox* hourEdit_ = nullptr;
  QLabel* timeSeparator_ = nullptr;
  TwoDigitSpinBox* minuteEdit_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;

 protected:
  void onShow() override;
  // Escape answers Cancel.
  void onEscape() override { onCancel(); }

 private:
  void BuildControls();
  void BuildLayout();
  void ConnectHandlers();
  void ShowDateOnGrid();
  void ShowDateInFields();

  StartDateField& field_;
  std::shared_ptr<const Clock> clock_;
  CalendarDate date_;
  std::string scheduledJob_;  // the scheduled job shown in the scheduler editor at the show
};

}  // namespace corvane
