#include "console/windows/about_window.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "console/windows/editor_ui.h"

namespace corvane {
namespace {

QFont LabelFont(QFont font, int points, bool underline = false) {
  font.setPointSize(points);
  font.setBold(true);
  font.setUnderline(underline);
  return font;
}

}  // namespace

AboutWindow::AboutWindow(QWidget* mainWindow, UiServices& ui) : SecondaryWindow(mainWindow, ui, Qt::Tool) {
  setWindowTitle(QStringLiteral("About..."));
  RemoveCaptionButtons();

  picture_ = new QLabel(this);
  picture_->setFixedSize(41, 41);
  picture_->setScaledContents(true);
  picture_->setPixmap(mainWindow->windowIcon().pixmap(64, 64));

  productLabel_ = new QLabel(QStringLiteral("Corvane Version 2.0"), this);
  productLabel_->setFont(LabelFont(font(), 10));

  makerLabel_ = new QLabel(QStringLiteral("Corvane team, 2024"), this);
  makerLabel_->setFont(LabelFont(font(), 10));

  webAddressLabel_ = new QLabel(QString::fromLatin1(kProductWebAddress), this);
  webAddressLabel_->setFont(LabelFont(
      font(), webAddressLabel_->font().pointSize() > 0 ? webAddressLabel_->font().pointSize() : 8, true));
  QPalette palette = webAddressLabel_->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  webAddressLabel_->setPalette(palette);
  webAddressLabel_->setCursor(Qt::PointingHandCursor);
  webAddressLabel_->installEventFilter(this);

  closeButton_ = new QPushButton(QStringLiteral("Close"), this);
  closeButton_->setFont(LabelFont(font(), font().pointSize() > 0 ? font().pointSize() : 8));

  // The picture beside the name and the maker, the web address below, Close centred at the foot.
  auto* content = new QGridLayout;
  content->setContentsMargins(12, 12, 12, 12);
  content->setHorizontalSpacing(11);
  content->addWidget(picture_, 0, 0, 2, 1, Qt::AlignTop);
  content->addWidget(productLabel_, 0, 1);
  content->addWidget(makerLabel_, 1, 1);
  content->addWidget(webAddressLabel_, 2, 0, 1, 2);
  content->setRowStretch(3, 1);
  content->addWidget(closeButton_, 4, 0, 1, 2, Qt::AlignHCenter);
  content->setColumnStretch(1, 1);
  SetFixedLayout(this, content, QSize(235, 154));
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

void AboutWindow::onWebAddressClicked() {
  const QString address = QString::fromLatin1(kProductWebAddress);
  if (!Ui().Open(this, QUrl(address))) {
    Ui().Message(this,
                 QStringLiteral("Cannot open the web address \"%1\": no web browser could be started for it.")
                     .arg(address));
  }
}

void AboutWindow::onCloseClicked() { hide(); }

}  // namespace corvane
