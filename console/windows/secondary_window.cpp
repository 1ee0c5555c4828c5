#include "console/windows/secondary_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QLayout>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>

namespace corvane {

UiServices::~UiServices() = default;

void UiServices::Message(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok);
}

bool UiServices::Confirm(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, QString::fromLatin1(kApplicationTitle), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> UiServices::InputText(QWidget* parent, const QString& caption,
                                             const QString& prompt, const QString& preset) {
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

SecondaryWindow::SecondaryWindow(QWidget* mainWindow, UiServices& ui, Qt::WindowFlags extraFlags)
    // A dialog-type window: on X11 only such windows are made transient for their parent.
    : QWidget(mainWindow, Qt::Dialog | extraFlags),
      mainWidget_(mainWindow),
      ui_(ui) {}

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
