// The About window (Form3): the product's name and version, its maker and its web address.
#pragma once

#include "console/secondary_window.h"

class QLabel;
class QPushButton;

namespace corvane {

class TForm1;

// The product's web address, shown and opened by the About window.
inline constexpr char kProductWebAddress[] = "https://corvane.example.org/";

class TForm3 : public SecondaryWindow {
  Q_OBJECT
 public:
  explicit TForm3(TForm1& form1);

  void Label3Click();
  void Button1Click();

  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;  // "Corvane Version 2.0"
  QLabel* Label2 = nullptr;  // maker and year
  QLabel* Label3 = nullptr;  // web address
  QPushButton* Button1 = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace corvane
