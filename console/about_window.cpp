#include "console/about_window.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "console/main_window.h"

namespace corvane {
namespace {

QFont LabelFont(QFont font, int points, bool underline = false) {
  font.setPointSize(points);
  font.setBold(true);
  font.setUnderline(underline);
  return font;
}

}  // namespace

TForm3::TForm3(TForm1& form1) : SecondaryWindow(&form1, form1.Ui(), Qt::Tool) {
  setWindowTitle(QStringLiteral("About..."));
  RemoveCaptionButtons();
  setFixedSize(235, 154);

  Image1 = new QLabel(this);
  Image1->setGeometry(12, 12, 41, 41);
  Image1->setScaledContents(true);
  Image1->setPixmap(form1.windowIcon().pixmap(64, 64));

  Label1 = new QLabel(QStringLiteral("Corvane Version 2.0"), this);
  Label1->setFont(LabelFont(font(), 10));
  Label1->setGeometry(64, 14, 165, 20);

  Label2 = new QLabel(QStringLiteral("Corvane team, 2024"), this);
  Label2->setFont(LabelFont(font(), 10));
  Label2->setGeometry(64, 38, 165, 20);

  Label3 = new QLabel(QString::fromLatin1(kProductWebAddress), this);
  Label3->setFont(LabelFont(font(), Label3->font().pointSize() > 0 ? Label3->font().pointSize() : 8, true));
  QPalette palette = Label3->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  Label3->setPalette(palette);
  Label3->setCursor(Qt::PointingHandCursor);
  Label3->setGeometry(12, 74, 211, 20);
  Label3->installEventFilter(this);

  Button1 = new QPushButton(QStringLiteral("Close"), this);
  Button1->setFont(LabelFont(font(), font().pointSize() > 0 ? font().pointSize() : 8));
  Button1->setGeometry(76, 114, 84, 26);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label3 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Label3Click();
    return true;
  }
  return SecondaryWindow::eventFilter(watched, event);
}

void TForm3::Label3Click() { Ui().Open(this, QUrl(QString::fromLatin1(kProductWebAddress))); }

void TForm3::Button1Click() { hide(); }

}  // namespace corvane
