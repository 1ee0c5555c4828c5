// The environment editor window ("Corvane 2.0 - Environment"): the operator creates and
// removes environments, adds and removes their variables and edits the variables' values. The
// window is a thin view over EnvironmentEditor: before each handler it hands the value field to
// the editor, afterwards it shows the editor's lists, selections and value. A value the file
// cannot hold is refused with a message before the handler runs: the handler then does nothing,
// the lists show what they showed, and the field keeps what was typed.
//
// Lists react to the operator's choice only (activated): filling or selecting from code runs no
// change handler. Every handler shows a failure in a message box; a failed save keeps the window
// open with everything as it was.
#pragma once

#include <string>
#include <vector>

#include "console/core/environment_editor.h"
#include "console/core/program_paths.h"
#include "console/windows/editor_ui.h"
#include "console/windows/secondary_window.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

class EnvironmentWindow : public SecondaryWindow {
  Q_OBJECT
 public:
  // Edits the environment file of `paths`; `cipher` (the stored-value cipher) is borrowed.
  EnvironmentWindow(QWidget* mainWindow, UiServices& ui, TCipherManager& cipher, const ProgramPaths& paths);
  ~EnvironmentWindow() override;

  const EnvironmentEditor& Editor() const noexcept { return editor_; }

  // Event handlers.
  void onEnvironmentChosen();
  void onVariableChosen();
  void onNewEnvironment();     // "New" under "Environment Name"
  void onRemoveEnvironment();  // "Remove" under "Environment Name"
  void onNewVariable();        // "New" under "Environment Variables"
  void onRemoveVariable();     // "Remove" under "Environment Variables"
  void onCloseClicked();       // "Close"

  // The controls (public for the tests that drive the window).
  QGroupBox* environmentGroup_ = nullptr;
  QComboBox* environmentList_ = nullptr;
  QPushButton* newEnvironmentButton_ = nullptr;
  QPushButton* removeEnvironmentButton_ = nullptr;
  QGroupBox* variableGroup_ = nullptr;
  QComboBox* variableList_ = nullptr;
  QPushButton* newVariableButton_ = nullptr;
  QPushButton* removeVariableButton_ = nullptr;
  QLabel* valueLabel_ = nullptr;
  QLineEdit* valueEdit_ = nullptr;
  QPushButton* closeButton_ = nullptr;

 signals:
  // Closing wrote the file back: the environments it holds, in file order.
  void environmentNamesChanged(const std::vector<std::string>& names);

 protected:
  void onShow() override;
  bool onClose() override;

 private:
  void BuildEnvironmentGroup();
  void BuildVariableGroup();
  void ConnectHandlers();
  template <typename Step>
  void Handle(Step&& step);
  bool PushFields();
  void ShowLists();
  void ShowState();

  const ProgramPaths& paths_;
  UiEditorDialogs dialogs_;
  EnvironmentEditor editor_;
};

}  // namespace corvane
