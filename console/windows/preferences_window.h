// The Preferences window: the output memo's background colour, its font and text colour ("Font..."
// runs the font dialog and, when a font was chosen, the colour dialog for the text), and the
// options "Minimize to Tray", "Run When Windows Starts" and "Execute Jobs in Background".  Every change is
// written to the preferences at once and, where it has an immediate effect, applied at once: the
// window says so through its signals, which the start-up code connects to the main window.  The
// window keeps no state of its own: it shows the preferences and how the output looks.
#pragma once

#include <QColor>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

#include "console/core/preferences.h"
#include "console/windows/secondary_window.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;

namespace corvane {

class PreferencesWindow : public SecondaryWindow {
  Q_OBJECT
 public:
  // `outputLook` answers how the output shows its text now (the colour list and the font dialog
  // start from it).
  PreferencesWindow(QWidget* mainWindow, UiServices& ui, Preferences& preferences,
                    std::function<OutputLook()> outputLook);

  // The colour list: the 16 standard colours.
  static const std::vector<std::pair<QString, QColor>>& StandardColors();
  // The colour selected in the list (invalid when none is).
  QColor SelectedColor() const;

  // Event handlers.
  void onBackgroundColorChosen();
  void onFont();  // "Font..."

  void onMinimizeToTrayToggled();
  void onRunAtLogonToggled();
  void onExecuteInBackgroundToggled();
  void onCloseClicked();

  // The controls (public for the tests that drive the window).
  QGroupBox* outputGroup_ = nullptr;
  QGroupBox* optionsGroup_ = nullptr;
  QComboBox* backgroundColorList_ = nullptr;
  QPushButton* fontButton_ = nullptr;
  QCheckBox* minimizeToTrayBox_ = nullptr;
  QCheckBox* runAtLogonBox_ = nullptr;
  QCheckBox* executeInBackgroundBox_ = nullptr;
  QPushButton* closeButton_ = nullptr;

 signals:
  // The operator chose the output's background colour / font (already stored).
  void outputColorChanged(const QColor& color);
  void outputFontChanged(const QFont& font);
  void outputTextColorChanged(const QColor& color);
  // "Minimize to Tray" changed (already stored).
  void minimizeToTrayChanged(bool enabled);

 protected:
  void onShow() override;

 private:
  void SelectColor(const QColor& color);

  Preferences& preferences_;
  std::function<OutputLook()> outputLook_;
};

}  // namespace corvane
