// Notification-area icon component: while the application's main window is minimized and the
// component is enabled, the application lives in the notification area (an icon there, its own
// windows hidden: the main window and the windows it is parent of); restoring removes the icon
// and shows those windows again.  Clicks on the icon become the component's events.
//
// The notification area itself is reached through TrayBackend, so tests can put a fake in its
// place.  Where the desktop has no notification area, minimizing behaves as without the
// component: hiding the windows would leave the program with no way back.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QEvent;
class QMenu;
class QWidget;

namespace corvane {

// The notification area as the component sees it.
class TrayBackend {
 public:
  virtual ~TrayBackend() = default;
  // Whether the desktop has a notification area at all.
  virtual bool Available() const = 0;
  // Puts the icon into the notification area (an empty tip: no tip).
  virtual void Add(const QIcon& icon, const QString& tip) = 0;
  // Changes the icon and tip of the icon in the notification area.
  virtual void Modify(const QIcon& icon, const QString& tip) = 0;
  // Takes the icon out of the notification area.
  virtual void Delete() = 0;
  // Where the icon is on the screen; empty while it is in no notification area.
  virtual QRect Geometry() const { return {}; }
  // Gives the icon its context menu (none: no menu).  A backend that answers true to
  // ShowsContextMenu() shows it itself when the operator asks for it (a right click on an X11
  // tray icon; a D-Bus tray draws the menu it is handed); otherwise the component pops it up.
  virtual void SetContextMenu(QMenu*) {}
  virtual bool ShowsContextMenu() const { return false; }

  // Set by the component: the backend reports every activation of the icon through it.
  std::function<void(QSystemTrayIcon::ActivationReason)> Activated;
};

// The real notification area, through QSystemTrayIcon.
class QtTrayBackend final : public TrayBackend {
 public:
  QtTrayBackend();
  ~QtTrayBackend() override;
  bool Available() const override;
  void Add(const QIcon& icon, const QString& tip) override;
  void Modify(const QIcon& icon, const QString& tip) override;
  void Delete() override;
  QRect Geometry() const override;
  void SetContextMenu(QMenu* menu) override;
  bool ShowsContextMenu() const override { return true; }

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
};

using TrayEvent = std::function<void(QObject* sender)>;

class TrayIcon : public QObject {
  Q_OBJECT
 public:
  // The notification area shows at most this many bytes of the hint; a longer hint is cut.
  static constexpr std::size_t kMaxHintLength = 63;

  // `owner`'s window is the application's main window whose minimizing and restoring the
  // component follows.  With no backend given, the real notification area is used.
  explicit TrayIcon(QWidget* owner, std::unique_ptr<TrayBackend> backend = nullptr);
  ~TrayIcon() override;

  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  bool Enabled() const { return enabled_; }
  // Stores the value; while the main window is minimized it acts at once: enabling puts the
  // application into the notification area, disabling brings it back to the taskbar.
  void SetEnabled(bool enabled);

  const QIcon& Icon() const { return icon_; }
  void SetIcon(const QIcon& icon);

  // The tip text, 8-bit bytes shown as Latin-1; cut to kMaxHintLength bytes.
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string_view hint);

  // The icon's context menu.  Not owned; forgotten by itself when the menu is destroyed.
  QMenu* PopupMenu() const;
  void SetPopupMenu(QMenu* menu);

  // True while the icon is in the notification area.
  bool Shown() const { return shown_; }
  // Where the notification area shows the icon; empty when it shows none.
  QRect IconGeometry() const { return backend_->Geometry(); }

  // The icon the notification area shows: Icon, or the application's icon when Icon is empty,
  // or the program's own picture when the application has none either.
  QIcon IconHandle() const;

  // Raised with this component as sender.  At creation OnDblClick restores the application and
  // OnRightClick pops up PopupMenu (unless the notification area shows it itself); OnLeftClick
  // is empty.
  TrayEvent OnDblClick;
  TrayEvent OnLeftClick;
  TrayEvent OnRightClick;

  virtual void AppMinimized();
  virtual void AppRestored();
  virtual void DblClick();
  virtual void LeftClick();
  virtual void RightClick();

  void ShowPopupMenu();
  // Restores the application from its minimized state (the default double-click action).
  void Restore();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddIcon();
  void ModifyIcon();
  void DeleteIcon();
  // Whether `window` is the main window or one of its own (a window it is parent of).
  bool OwnWindow(const QWidget* window) const;
  void HideWindows();
  // Shows the hidden windows again; `restoring`: the application is restored, not only taken
  // out of the notification area.
  void ShowWindows(bool restoring);
  bool MainWindowMinimized() const;
  QString TipText() const;
  void Activated(QSystemTrayIcon::ActivationReason reason);

  std::unique_ptr<TrayBackend> backend_;
  QPointer<QWidget> mainWindow_;
  bool shown_ = false;
  bool enabled_ = true;
  QIcon icon_;
  std::string hint_;
  QPointer<QMenu> popupMenu_;
  std::vector<QPointer<QWidget>> hiddenWindows_;
};

}  // namespace corvane
