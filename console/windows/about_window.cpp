#include "console/windows/about_window.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "console/windows/main_window.h"

namespace corvane {
namespace {

QFont LabelFont(QFont font, int points, bool underline = false) {
  font.setPointSize(points);
  font.setBold(true);
  font.setUnderline(underline);
  return font;
}

}  // namespace

AboutWindow::AboutWindow(MainWindow& mainWindow) : SecondaryWindow(&mainWindow, mainWindow.Ui(), Qt::Tool) {
  setWindowTitle(QStringLiteral("About..."));
  RemoveCaptionButtons();
  setFixedSize(235, 154);

  picture_ = new QLabel(this);
  picture_->setGeometry(12, 12, 41, 41);
  picture_->setScaledContents(true);
  picture_->setPixmap(mainWindow.windowIcon().pixmap(64, 64));

  productLabel_ = new QLabel(QStringLiteral("Corvane Version 2.0"), this);
  productLabel_->setFont(LabelFont(font(), 10));
  productLabel_->setGeometry(64, 14, 165, 20);

  makerLabel_ = new QLabel(QStringLiteral("Corvane team, 2024"), this);
  makerLabel_->setFont(LabelFont(font(), 10));
  makerLabel_->setGeometry(64, 38, 165, 20);

  webAddressLabel_ = new QLabel(QString::fromLatin1(kProductWebAddress), this);
  webAddressLabel_->setFont(LabelFont(
      font(), webAddressLabel_->font().pointSize() > 0 ? webAddressLabel_->font().pointSize() : 8, true));
  QPalette palette = webAddressLabel_->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  webAddressLabel_->setPalette(palette);
  webAddressLabel_->setCursor(Qt::PointingHandCursor);
  webAddressLabel_->setGeometry(12, 74, 211, 20);
  webAddressLabel_->installEventFilter(this);

  closeButton_ = new QPushButton(QStringLiteral("Close"), this);
  closeButton_->setFont(LabelFont(font(), font().pointSize() > 0 ? font().pointSize() : 8));
  closeButton_->setGeometry(76, 114, 84, 26);
  connect(closeButton_, &QPushButton::clicked, this, [this] { onCloseClicked(); });
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == webAddressLabel_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    onWebAddressClicked();
    return true;
  }
  return SecondaryWindow::eventFilter(watched, event);
}

void AboutWindow::onWebAddressClicked() { Ui().Open(this, QUrl(QString::fromLatin1(kProductWebAddress))); }

void AboutWindow::onCloseClicked() { hide(); }

}  // namespace corvane
