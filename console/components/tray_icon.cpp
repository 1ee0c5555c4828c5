#include "console/components/tray_icon.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include <utility>

namespace corvane {

namespace {
const char kProgramIcon[] = ":/corvane/resources/corvane.png";
}  // namespace

// ---------------------------------------------------------------------------------------------
// QtTrayBackend

QtTrayBackend::QtTrayBackend() : icon_(std::make_unique<QSystemTrayIcon>()) {
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (Activated) Activated(reason);
                   });
}

QtTrayBackend::~QtTrayBackend() = default;

bool QtTrayBackend::Available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtTrayBackend::Add(const QIcon& icon, const QString& tip) {
  icon_->setIcon(icon);
  icon_->setToolTip(tip);
  icon_->show();
}

void QtTrayBackend::Modify(const QIcon& icon, const QString& tip) {
  icon_->setIcon(icon);
  icon_->setToolTip(tip);
}

void QtTrayBackend::Delete() { icon_->hide(); }

QRect QtTrayBackend::Geometry() const { return icon_->isVisible() ? icon_->geometry() : QRect(); }

void QtTrayBackend::SetContextMenu(QMenu* menu) { icon_->setContextMenu(menu); }

// ---------------------------------------------------------------------------------------------
// TrayIcon

TrayIcon::TrayIcon(QWidget* owner, std::unique_ptr<TrayBackend> backend)
    : QObject(owner),
      backend_(backend ? std::move(backend) : std::make_unique<QtTrayBackend>()),
      mainWindow_(owner != nullptr ? owner->window() : nullptr) {
  OnDblClick = [this](QObject*) { Restore(); };
  OnRightClick = [this](QObject*) { ShowPopupMenu(); };
  backend_->Activated = [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); };
  if (mainWindow_) mainWindow_->installEventFilter(this);
}

TrayIcon::~TrayIcon() {
  if (mainWindow_) mainWindow_->removeEventFilter(this);
  DeleteIcon();
  backend_->Activated = nullptr;
}

void TrayIcon::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!MainWindowMinimized()) return;
  if (enabled) {
    // With no notification area the application stays on the taskbar.
    if (!backend_->Available()) return;
    AddIcon();
    HideWindows();
  } else {
    DeleteIcon();
    ShowWindows(false);
  }
}

void TrayIcon::SetIcon(const QIcon& icon) {
  icon_ = icon;
  if (enabled_ && shown_) ModifyIcon();
}

void TrayIcon::SetHint(std::string_view hint) {
  if (hint.size() > kMaxHintLength) hint = hint.substr(0, kMaxHintLength);
  if (hint == hint_) return;
  hint_.assign(hint);
  if (enabled_ && shown_) ModifyIcon();
}

QMenu* TrayIcon::PopupMenu() const { return popupMenu_; }

void TrayIcon::SetPopupMenu(QMenu* menu) {
  popupMenu_ = menu;
  backend_->SetContextMenu(menu);
}

QIcon TrayIcon::IconHandle() const {
  if (!icon_.isNull()) return icon_;
  const QIcon app = QApplication::windowIcon();
  if (!app.isNull()) return app;
  return QIcon(QString::fromLatin1(kProgramIcon));
}

QString TrayIcon::TipText() const {
  return QString::fromLatin1(hint_.data(), static_cast<qsizetype>(hint_.size()));
}

void TrayIcon::AddIcon() {
  if (shown_) return;
  backend_->Add(IconHandle(), TipText());
  shown_ = true;
}

void TrayIcon::ModifyIcon() {
  if (!shown_) return;
  backend_->Modify(IconHandle(), TipText());
}

void TrayIcon::DeleteIcon() {
  if (!shown_) return;
  backend_->Delete();
  shown_ = false;
}

bool TrayIcon::MainWindowMinimized() const {
  return mainWindow_ && (mainWindow_->windowState() & Qt::WindowMinimized);
}

bool TrayIcon::OwnWindow(const QWidget* window) const {
  for (const QWidget* w = window; w != nullptr; w = w->parentWidget()) {
    if (w == mainWindow_) return true;
  }
  return false;
}

void TrayIcon::HideWindows() {
  // Only the application's own windows: the main window and the windows it is parent of.  Other
  // top-level widgets of the process, the notification area's own icon window among them (an
  // X11 tray embeds a window of ours), must stay as they are.
  hiddenWindows_.clear();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || !OwnWindow(w)) continue;
    const Qt::WindowType type = w->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip) continue;
    hiddenWindows_.emplace_back(w);
  }
  for (const QPointer<QWidget>& w : hiddenWindows_)
    if (w) w->hide();
}

void TrayIcon::ShowWindows(bool restoring) {
  std::vector<QPointer<QWidget>> windows = std::move(hiddenWindows_);
  hiddenWindows_.clear();
  bool mainShown = false;
  for (const QPointer<QWidget>& w : windows) {
    if (!w) continue;
    // Restoring the application also brings back the windows the window manager minimised
    // with the main window.
    if (restoring && w != mainWindow_) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->show();
    if (w == mainWindow_) mainShown = true;
  }
  if (mainWindow_ && !mainShown) mainWindow_->show();
}

void TrayIcon::AppMinimized() {
  if (!enabled_ || shown_) return;
  if (!backend_->Available()) return;  // minimize as usual: the taskbar is the only way back
  AddIcon();
  HideWindows();
}

void TrayIcon::AppRestored() {
  if (!enabled_ || !shown_) return;
  DeleteIcon();
  ShowWindows(true);
  if (mainWindow_) {
    mainWindow_->raise();
    mainWindow_->activateWindow();
  }
}

void TrayIcon::Restore() {
  if (!mainWindow_) return;
  mainWindow_->setWindowState(mainWindow_->windowState() & ~Qt::WindowMinimized);
  // The state change normally runs AppRestored already; this covers a window whose state
  // was not minimized any more.
  AppRestored();
  mainWindow_->show();
}

void TrayIcon::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TrayIcon::LeftClick() {
  if (OnLeftClick) OnLeftClick(this);
}

void TrayIcon::RightClick() {
  if (OnRightClick) OnRightClick(this);
}

void TrayIcon::ShowPopupMenu() {
  if (popupMenu_ && !backend_->ShowsContextMenu()) popupMenu_->popup(QCursor::pos());
}

void TrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
  if (!enabled_) return;
  switch (reason) {
    case QSystemTrayIcon::Trigger: LeftClick(); break;
    case QSystemTrayIcon::DoubleClick: DblClick(); break;
    case QSystemTrayIcon::Context: RightClick(); break;
    default: break;
  }
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mainWindow_ && event->type() == QEvent::WindowStateChange) {
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool was = change->oldState() & Qt::WindowMinimized;
    const bool is = mainWindow_->windowState() & Qt::WindowMinimized;
    if (is && !was)
      AppMinimized();
    else if (was && !is)
      AppRestored();
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace corvane
