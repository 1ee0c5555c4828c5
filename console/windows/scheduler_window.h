// The scheduler editor window ("Corvane 2.0 - Scheduler"): the operator defines scheduled
// jobs with their job, environment, protocol, parameter values, start date-time and period, and
// switches them active. What it shows and does without the window is SchedulerEditor
// (console/core/scheduler_editor.h): the window reads its fields for the editor, forwards each
// handler to it and shows what it holds afterwards.
//
// Handler wiring follows the toolkit rules the editor relies on: ticking or unticking a check box
// runs its click handler (also from code); selecting a list item from code runs no handler, only
// the operator's selection does (the unit list runs onScheduledJobChosen, the protocol list runs
// onParameterChosen). Inside a load the check boxes are set quietly and their handlers run once,
// explicitly, so each load checks Active once.
//
// The scheduler worker asks for a reload after each run (ReloadFromDisk, through the scheduler
// service's editorReloadRequested, connected at start-up). A reload that arrives while one of
// this window's handlers is still running (inside its message box, for example) is done right
// after that handler instead. A reload with no scheduled job shown changes nothing and shows
// nothing.
//
// A scheduled job whose values cannot be loaded (a damaged file) is reported and stays selected
// in the list, so Remove removes it; nothing is current then, so nothing is saved into it.
//
// A save writes into a fresh read of the schedule file and leaves every key that the operator did
// not change since the load as the file holds it, so a scheduled run meanwhile (whose reload
// waits for an open dialog) keeps what the worker wrote.
#pragma once

#include <QSpinBox>

#include <string>
#include <vector>

#include "console/core/program_paths.h"
#include "console/core/scheduler_editor.h"
#include "console/windows/date_picker_window.h"
#include "console/windows/editor_ui.h"
#include "console/windows/secondary_window.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

// The count field: a spin box whose text can also hold what a damaged file stored.
class CountSpinBox : public QSpinBox {
  Q_OBJECT
 public:
  explicit CountSpinBox(QWidget* parent = nullptr);
  QString Text() const;
  void SetText(const QString& text);
};

class SchedulerWindow : public SecondaryWindow, public StartDateField {
  Q_OBJECT
 public:
  // Edits the schedule file of `paths` (with its job and environment files); `cipher` (the
  // stored-value cipher) is borrowed.
  SchedulerWindow(QWidget* mainWindow, UiServices& ui, TCipherManager& cipher, const ProgramPaths& paths);
  ~SchedulerWindow() override;

  // ---- handlers ---------------------------------------------------------------------------
  void onScheduledJobChosen();  // also: unit changed, New, reload
  void onJobChosen();
  void onParameterChosen();     // also: protocol changed
  void onActiveToggled();       // "Active"
  void onRunOnceToggled();      // "Run Once"
  void onNewScheduledJob();     // "New"
  void onRemoveScheduledJob();  // "Remove"
  void onPickStartDate();       // "..." beside the start date
  void onCloseClicked();        // "Close"

  // The scheduler service's request after a scheduled run.
  void ReloadFromDisk() override;

  // The start field, read and written by the date picker.
  QString StartDateText() const override;
  void SetStartDateText(const QString& text);
  // The date picker's OK: puts `text` into the start field when this window is open and still
  // shows `scheduledJob`.  Answers whether it did.
  bool TakeStartDate(const std::string& scheduledJob, const QString& text) override;

  // ---- state ------------------------------------------------------------------------------
  const SchedulerEditor& Editor() const noexcept { return editor_; }
  const std::string& CurrentSchedule() const override { return editor_.CurrentSchedule(); }
  const std::string& ScheduleJobName() const { return editor_.ScheduleJobName(); }
  const std::string& CurrentParameter() const { return editor_.CurrentParameter(); }
  const EnteredValues& Entered() const { return editor_.Entered(); }
  // The fields of the shown scheduled job as a save would take them. Throws when the value field
  // holds a character the file cannot hold (the save is then refused with that message).
  ScheduleFields Fields() const;
  // The same without the value field (what the Active checks look at).
  ScheduleFields FieldsWithoutValue() const;
  const std::string& SchedulePath() const { return editor_.SchedulePath(); }

  // ---- controls (public for the tests that drive the window) -----------------------------
  QGroupBox* scheduledJobGroup_ = nullptr;
  QComboBox* scheduledJobList_ = nullptr;
  QCheckBox* activeBox_ = nullptr;
  QPushButton* newButton_ = nullptr;
  QPushButton* removeButton_ = nullptr;
  QGroupBox* jobGroup_ = nullptr;
  QLabel* jobLabel_ = nullptr;
  QComboBox* jobList_ = nullptr;
  QLabel* environmentLabel_ = nullptr;
  QComboBox* environmentList_ = nullptr;
  QLabel* protocolLabel_ = nullptr;
  QComboBox* protocolList_ = nullptr;
  QLabel* parameterLabel_ = nullptr;
  QComboBox* parameterList_ = nullptr;
  QLabel* valueLabel_ = nullptr;
  QLineEdit* valueEdit_ = nullptr;
  QGroupBox* scheduleGroup_ = nullptr;
  QCheckBox* runOnceBox_ = nullptr;
  QLabel* startLabel_ = nullptr;
  QLineEdit* startEdit_ = nullptr;
  QPushButton* pickStartButton_ = nullptr;
  QLabel* everyLabel_ = nullptr;
  CountSpinBox* countEdit_ = nullptr;
  QComboBox* unitList_ = nullptr;
  QLabel* lastExecutionLabel_ = nullptr;
  QLineEdit* lastExecutionEdit_ = nullptr;
  QPushButton* closeButton_ = nullptr;

 signals:
  // "..." beside the start date with a scheduled job shown: the date picker is to open.
  void startDatePickRequested();

 protected:
  void onShow() override;
  bool onClose() override;

 private:
  class HandlerScope;
  struct Look;
  void Build();
  void BuildScheduledJobGroup(const Look& look);
  void BuildJobGroup(const Look& look);
  void BuildScheduleGroup(const Look& look);
  void ConnectHandlers();
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

  UiEditorDialogs dialogs_;
  SchedulerEditor editor_;
  int handlerDepth_ = 0;
  bool reloadPending_ = false;
};

}  // namespace corvane
