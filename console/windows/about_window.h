// The About window: the product's name and version, its maker and its web address.
#pragma once

#include "console/windows/secondary_window.h"

class QLabel;
class QPushButton;

namespace corvane {

// The product's web address, shown and opened by the About window.
inline constexpr char kProductWebAddress[] = "https://corvane.example.org/";

class AboutWindow : public SecondaryWindow {
  Q_OBJECT
 public:
  // Shows the main window's icon.
  AboutWindow(QWidget* mainWindow, UiServices& ui);

  // Event handlers.
  void onWebAddressClicked();  // the web address
  void onCloseClicked();       // "Close"

  // The controls (public for the tests that drive the window).
  QLabel* picture_ = nullptr;
  QLabel* productLabel_ = nullptr;  // "Corvane Version 2.0"
  QLabel* makerLabel_ = nullptr;
  QLabel* webAddressLabel_ = nullptr;
  QPushButton* closeButton_ = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace corvane
