// The job editor window (Form6, "Corvane 2.0 - Job"): the operator creates and removes jobs,
// edits a job's command (in the field or, one command per line, in the command editor Form7),
// adds and removes job variables and sets each variable's value and Display flag. The window is
// a thin view over JobEditor: before each handler it hands the fields to the editor, afterwards
// it shows the editor's lists, selections and fields.
//
// Lists react to the operator's choice only (activated); ticking Display from code stores
// nothing (the flag is stored with its variable). Every handler shows a failure in a message box;
// a failed save keeps the window open with everything as it was.
#pragma once

#include <cstdint>
#include <string>

#include "console/editor_ui.h"
#include "console/job_editor.h"
#include "console/secondary_window.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

class TForm1;

class TForm6 : public SecondaryWindow {
  Q_OBJECT
 public:
  explicit TForm6(TForm1& form1);
  ~TForm6() override;

  const JobEditor& Editor() const noexcept { return editor_; }

  // The command editor's OK: puts `command` into the command field when this window is open and
  // still shows the job whose command the command editor was opened on (`serial` is the
  // selection serial of that moment). Answers whether it did.
  bool TakeCommand(std::uint64_t serial, const std::string& command);

  // Event handlers.
  void ComboBox1Change();  // job chosen
  void ComboBox2Change();  // job variable chosen
  void Button2Click();     // "New" job
  void Button4Click();     // "Remove" job
  void Button3Click();     // "New" job variable
  void Button5Click();     // "Remove" job variable
  void Button6Click();     // "..." command editor
  void Button1Click();     // "Close"

  QGroupBox* GroupBox1 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button4 = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button6 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button5 = nullptr;
  QCheckBox* cb1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QPushButton* Button1 = nullptr;

 protected:
  void FormShow() override;
  bool FormClose() override;

 private:
  template <typename Step>
  void Handle(Step&& step);
  void PushFields();
  void ShowState();

  TForm1& form1_;
  UiEditorDialogs dialogs_;
  JobEditor editor_;
};

}  // namespace corvane
