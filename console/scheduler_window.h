// The scheduler editor window (Form8, "Corvane 2.0 - Scheduler"): the operator defines scheduled
// jobs with their job, environment, protocol, parameter values, start date-time and period, and
// switches them active. The rules without the window are in console/scheduler_editor.h.
//
// Handler wiring follows the toolkit rules the editor relies on: ticking or unticking a check box
// runs its click handler (also from code); selecting a list item from code runs no handler, only
// the operator's selection does (the unit list runs ComboBox1Change, the protocol list runs
// ComboBox3Change). Inside a load the check boxes are set quietly and their handlers run once,
// explicitly, so each load checks Active once.
//
// The scheduler worker asks for a reload after each run (ReloadFromDisk, through the main
// window's SynchroEvent2). A reload that arrives while one of this window's handlers is still
// running (inside its message box, for example) is done right after that handler instead. A
// reload with no scheduled job selected changes nothing and shows nothing.
//
// Constructing the window installs the scheduler worker as thread1's loop.
#pragma once

#include <QSpinBox>

#include <string>

#include "console/scheduler_editor.h"
#include "console/secondary_window.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

class TForm1;

// The count field: a spin box whose text can also hold what a damaged file stored.
class CountSpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit CountSpinEdit(QWidget* parent = nullptr);
  QString Text() const;
  void SetText(const QString& text);
};

class TForm8 : public SecondaryWindow {
  Q_OBJECT
 public:
  explicit TForm8(TForm1& form1);
  ~TForm8() override;

  // ---- handlers ---------------------------------------------------------------------------
  void ComboBox1Change();  // scheduled job selected, unit changed, New, reload
  void ComboBox2Change();  // job selected
  void ComboBox3Change();  // parameter selected, protocol changed
  void cb1Click();         // "Active"
  void CheckBox1Click();   // "Run Once"
  void Button2Click();     // "New"
  void Button4Click();     // "Remove"
  void Button3Click();     // "..." start date
  void Button1Click();     // "Close"

  // SynchroEvent2's request after a scheduled run.
  void ReloadFromDisk() override;

  // The start field, read and written by the date picker.
  QString StartDateText() const;
  void SetStartDateText(const QString& text);

  // ---- state ------------------------------------------------------------------------------
  const std::string& CurrentSchedule() const { return CurrentSchedule_; }
  const std::string& ScheduleJobName() const { return ScheduleJobName_; }
  const std::string& CurrentParameter() const { return CurrentParameter_; }
  const EnteredValues& Entered() const { return entered_; }
  // The fields of the shown scheduled job as a save would take them.
  ScheduleFields Fields() const;
  std::string SchedulePath() const;

  // ---- controls ---------------------------------------------------------------------------
  QGroupBox* GroupBox1 = nullptr;
  QComboBox* ComboBox1 = nullptr;  // scheduled jobs
  QCheckBox* cb1 = nullptr;        // Active
  QPushButton* Button2 = nullptr;  // New
  QPushButton* Button4 = nullptr;  // Remove
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* ComboBox2 = nullptr;  // jobs
  QLabel* Label8 = nullptr;
  QComboBox* ComboBox6 = nullptr;  // environments
  QLabel* Label7 = nullptr;
  QComboBox* ComboBox5 = nullptr;  // protocol
  QLabel* Label2 = nullptr;
  QComboBox* ComboBox3 = nullptr;  // parameters
  QLabel* Label3 = nullptr;
  QLineEdit* Edit1 = nullptr;      // parameter value
  QGroupBox* GroupBox3 = nullptr;
  QCheckBox* CheckBox1 = nullptr;  // Run Once
  QLabel* Label4 = nullptr;
  QLineEdit* startdate = nullptr;
  QPushButton* Button3 = nullptr;  // "..."
  QLabel* Label6 = nullptr;
  CountSpinEdit* SpinEdit1 = nullptr;
  QComboBox* ComboBox4 = nullptr;  // period unit
  QLabel* Label5 = nullptr;
  QLineEdit* Edit2 = nullptr;      // last execution
  QPushButton* Button1 = nullptr;  // Close

 protected:
  void FormShow() override;
  bool FormClose() override;

 private:
  class HandlerScope;
  void Build();
  void Message(const char* text);
  void LoadCurrent();
  void ClearAfterFailedLoad();
  // No scheduled job shown: names, parameter and entered values cleared, Active unticked, Run
  // Once ticked (its handler run), no job selected, no parameters, the value field empty and
  // read-only. The start field is left to the caller.
  void ShowNoScheduledJob();
  void SetActiveQuietly(bool ticked);
  void SetRunOnceQuietly(bool ticked);
  static std::string Bytes(const QString& text);
  static std::string SelectedName(const QComboBox* box);
  static void FillNames(QComboBox* box, const std::vector<std::string>& names);
  static void SelectName(QComboBox* box, const std::string& name);
  static void SelectQuietly(QComboBox* box, int index);  // runs no change handler

  TForm1& form1_;
  StoredValues values_;
  IniFile schedule_;
  IniFile jobs_;
  IniFile environments_;
  std::string CurrentSchedule_;
  std::string ScheduleJobName_;
  std::string CurrentParameter_;
  EnteredValues entered_;
  bool loaded_ = false;  // the last show read all three files
  int handlerDepth_ = 0;
  bool reloadPending_ = false;
};

}  // namespace corvane
