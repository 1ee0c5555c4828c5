// The Preferences window (Form2): the output memo's background colour and font, and the options
// "Minimize to Tray", "Run When Windows Starts" and "Execute Jobs in Background".  Every change is
// written to the preferences at once and, where it has an immediate effect, applied at once.  The
// window keeps no state of its own: it shows the preferences and the main window's memo.
#pragma once

#include <QColor>
#include <QString>

#include <utility>
#include <vector>

#include "console/secondary_window.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;

namespace corvane {

class TForm1;

class TForm2 : public SecondaryWindow {
  Q_OBJECT
 public:
  explicit TForm2(TForm1& form1);

  // The colour list: the 16 standard colours.
  static const std::vector<std::pair<QString, QColor>>& StandardColors();
  // The colour selected in the list (invalid when none is).
  QColor SelectedColor() const;

  // Event handlers.
  void ColorBox2Change();
  void Button2Click();
  void CheckBox1Click();
  void CheckBox2Click();
  void CheckBox3Click();
  void Button1Click();

  QGroupBox* GroupOutput = nullptr;
  QGroupBox* GroupOptions = nullptr;
  QComboBox* ColorBox2 = nullptr;
  QPushButton* Button2 = nullptr;  // "Font..."
  QCheckBox* CheckBox1 = nullptr;  // "Minimize to Tray"
  QCheckBox* CheckBox2 = nullptr;  // "Run When Windows Starts"
  QCheckBox* CheckBox3 = nullptr;  // "Execute Jobs in Background"
  QPushButton* Button1 = nullptr;  // "Close"

 protected:
  void FormShow() override;

 private:
  void SelectColor(const QColor& color);

  TForm1& form1_;
};

}  // namespace corvane
