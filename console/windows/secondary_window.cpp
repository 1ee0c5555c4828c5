#include "console/windows/secondary_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QByteArray>
#include <QStandardPaths>
#include <QStyle>

#include <cstdio>

namespace corvane {

UiServices::~UiServices() = default;

void UiServices::Message(QWidget* parent, const QString& text) {
  if (unattended_) {
    // Nobody is there to read a message box: the message goes to the standard error.
    const QByteArray bytes = (QString::fromLatin1(kApplicationTitle) + QStringLiteral(": ") + text).toLocal8Bit();
    std::fprintf(stderr, "%s\n", bytes.constData());
    return;
  }
  QMessageBox::information(parent, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok);
}

bool UiServices::Confirm(QWidget* parent, const QString& text) {
  if (unattended_) return false;
  // No is the default button: Return, or a key pressed by mistake, takes the safe answer.
  return QMessageBox::question(parent, QString::fromLatin1(kApplicationTitle), text,
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> UiServices::InputText(QWidget* parent, const QString& caption, const QString& prompt,
                                             const QString& preset) {
  if (unattended_) return std::nullopt;
  bool ok = false;
  QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, preset, &ok);
  if (!ok) return std::nullopt;
  return text;
}

bool UiServices::ChooseFont(QWidget* parent, QFont& font) {
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, font, parent);
  if (ok) font = chosen;
  return ok;
}

bool UiServices::ChooseColor(QWidget* parent, QColor& color) {
  const QColor chosen = QColorDialog::getColor(color, parent);
  if (!chosen.isValid()) return false;
  color = chosen;
  return true;
}

bool UiServices::Open(QWidget*, const QUrl& target) {
  // QDesktopServices::openUrl answers true whenever xdg-open could be started, also when it then
  // finds no program for the file; its exit status is the honest answer.
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) return false;
  QProcess process;
  process.setProgram(opener);
  process.setArguments({target.isLocalFile() ? target.toLocalFile() : target.toString(QUrl::FullyEncoded)});
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start();
  if (!process.waitForStarted(kOpenerWaitMs)) return false;
  if (!process.waitForFinished(kOpenerWaitMs)) {
    // Still running: a program took the file and runs under xdg-open. Only xdg-open itself is
    // ended (the program it started goes on), so that nothing of it outlives this call.
    process.kill();
    process.waitForFinished(kOpenerWaitMs);
    return true;
  }
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QRect FittedGeometry(const QRect& geometry, const QRect& area) {
  if (!area.isValid()) return geometry;
  QRect fitted(geometry.topLeft(), geometry.size().boundedTo(area.size()));
  if (fitted.right() > area.right()) fitted.moveRight(area.right());
  if (fitted.bottom() > area.bottom()) fitted.moveBottom(area.bottom());
  if (fitted.left() < area.left()) fitted.moveLeft(area.left());
  if (fitted.top() < area.top()) fitted.moveTop(area.top());
  return fitted;
}

void FitIntoScreen(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QRect fitted = FittedGeometry(window.geometry(), area);
  if (fitted == window.geometry()) return;
  // A size below the window's minimum is refused; the corner then goes to the area's corner.
  window.resize(fitted.size().expandedTo(window.minimumSize()));
  window.move(FittedGeometry(QRect(fitted.topLeft(), window.size()), area).topLeft());
}

SecondaryWindow::SecondaryWindow(QWidget* mainWindow, UiServices& ui, Qt::WindowFlags extraFlags)
    // A dialog-type window: on X11 only such windows are made transient for their parent.
    : QWidget(mainWindow, Qt::Dialog | extraFlags), mainWidget_(mainWindow), ui_(ui) {}

SecondaryWindow::~SecondaryWindow() = default;

void SecondaryWindow::RemoveCaptionButtons() {
  setWindowFlag(Qt::CustomizeWindowHint, true);
  setWindowFlag(Qt::WindowTitleHint, true);
  setWindowFlag(Qt::WindowSystemMenuHint, false);
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  setWindowFlag(Qt::WindowMinimizeButtonHint, false);
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
}

void SecondaryWindow::present() {
  const bool opening = !isVisible();
  if (opening) {
    // A window that takes its size from its layout has that size only once the layout has run,
    // which otherwise happens at the first show, after the window was placed.
    ensurePolished();
    if (QLayout* windowLayout = layout()) windowLayout->activate();
    CentreOnMainWidget();
  }
  // Back from the minimised state (an open window minimised through its own title bar, or a
  // hidden one that was minimised when it was hidden), in front and with the focus.
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  if (opening) Guarded(ui_, this, [this] { onShow(); });
}

void SecondaryWindow::CentreOnMainWidget() {
  // The window area without the frame, centred on the main window's: the frame's size is known
  // only once the window manager has framed the window, so a placement by the frame would put
  // the first showing elsewhere than the later ones.
  QRect area;
  if (mainWidget_ != nullptr && mainWidget_->isVisible()) {
    area = mainWidget_->geometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (!area.isValid()) return;
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), area));
  FitIntoScreen(*this);
}

void SecondaryWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    onEscape();
    return;
  }
  QWidget::keyPressEvent(event);
}

void SecondaryWindow::closeEvent(QCloseEvent* event) {
  bool mayClose = false;
  Guarded(ui_, this, [&] { mayClose = onClose(); });
  if (mayClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace corvane
