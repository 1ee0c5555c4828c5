// The environment editor window (Form5, "Corvane 2.0 - Environment"): the operator creates and
// removes environments, adds and removes their variables and edits the variables' values. The
// window is a thin view over EnvironmentEditor: before each handler it hands the value field to
// the editor, afterwards it shows the editor's lists, selections and value.
//
// Lists react to the operator's choice only (activated): filling or selecting from code runs no
// change handler. Every handler shows a failure in a message box; a failed save keeps the window
// open with everything as it was.
#pragma once

#include "console/editor_ui.h"
#include "console/environment_editor.h"
#include "console/secondary_window.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

class TForm1;

class TForm5 : public SecondaryWindow {
  Q_OBJECT
 public:
  explicit TForm5(TForm1& form1);
  ~TForm5() override;

  const EnvironmentEditor& Editor() const noexcept { return editor_; }

  // Event handlers.
  void ComboBox1Change();  // environment chosen
  void ComboBox2Change();  // variable chosen
  void Button2Click();     // "New" environment
  void Button4Click();     // "Remove" environment
  void Button3Click();     // "New" variable
  void Button5Click();     // "Remove" variable
  void Button1Click();     // "Close"

  QGroupBox* GroupBox1 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button4 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button5 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
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
  EnvironmentEditor editor_;
};

}  // namespace corvane
