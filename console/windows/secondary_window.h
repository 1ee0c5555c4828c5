// What every window of the console shares: the dialogs and shell calls the windows make (behind
// UiServices, so tests can put fakes in their place), the guard that keeps an exception from
// unwinding through Qt, and the base of every secondary window.
//
// A secondary window (Preferences, About, the editors, the date picker, Help) is created hidden at
// start-up and lives until the program ends.  It is a transient child window of the main window:
// the window manager keeps it above the main window only, and it is minimised and restored with
// the main window.  The operator opens it through present() (a menu item, a shortcut, a tool
// button, another window's button): that centres it on the main window, shows it modeless and
// runs its show handler.  Presenting a window that is already open changes nothing in it; it is
// only brought back from the minimised state, raised and given the focus.  A window shown again
// by anything else (the notification area restoring the program, the window manager) keeps what
// it shows: its show handler does not run.
//
// A secondary window is a Qt child of the main window, so it must be destroyed before the main
// window (the start-up code and the tests own them and do so).  Windows do not reach each other:
// each says what happens by its signals, and the start-up code (console/windows/app.cpp) connects
// them in one place.
//
// Contract for a secondary window class (created by the start-up code in console/windows/app.cpp):
//   - it derives from SecondaryWindow and its constructor takes the main window (its parent) and
//     the services it needs (ConsoleServices), nothing else of the main window;
//   - onShow() is its show handler (runs each time the operator opens the window);
//   - onClose() is its close handler (Close button, the window's own close); returning false, or
//     throwing, keeps the window open;
//   - ReloadFromDisk() is what the scheduler service's reload request asks of an open scheduler
//     editor after the scheduler worker has rewritten the schedule file (default: nothing);
//   - onEscape() is what the Escape key does: by default what the Close button does (close());
//     a window with a Cancel button makes it Cancel.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <exception>
#include <optional>
#include <utility>

class QCloseEvent;
class QKeyEvent;

namespace corvane {

// The application's title: message box captions and the main window's caption.
inline constexpr char kApplicationTitle[] = "Corvane 2.0";

// Dialogs and shell calls of the windows.  The base implementation is the real one (Qt dialogs,
// QDesktopServices); tests derive fakes.
class UiServices {
 public:
  UiServices() = default;
  virtual ~UiServices();
  UiServices(const UiServices&) = delete;
  UiServices& operator=(const UiServices&) = delete;

  // While the program ends with nobody to answer (a signal, the end of the session), the real
  // dialogs are not shown: a message goes to the standard error, a question answers No, an input
  // box is cancelled.
  void SetUnattended(bool unattended) noexcept { unattended_ = unattended; }
  bool Unattended() const noexcept { return unattended_; }

  // A message box with an OK button and the application's title as caption.
  virtual void Message(QWidget* parent, const QString& text);
  // A question with Yes and No buttons, No the default (Return answers No); answers true for Yes.
  virtual bool Confirm(QWidget* parent, const QString& text);
  // A one-line input box; nothing when the operator cancels.
  virtual std::optional<QString> InputText(QWidget* parent, const QString& caption, const QString& prompt,
                                           const QString& preset);
  // The font dialog, started on `font`; answers whether the operator chose a font (then `font`
  // holds it; otherwise `font` is unchanged).
  virtual bool ChooseFont(QWidget* parent, QFont& font);
  // The colour dialog, started on `color`; answers whether the operator chose one (then `color`
  // holds it; otherwise `color` is unchanged).
  virtual bool ChooseColor(QWidget* parent, QColor& color);
  // The desktop's "open" (xdg-open) on a file or a web address; answers whether a program took
  // it: false without xdg-open or when it ends in failure (no program for that kind of file),
  // true when it succeeds or is still running after kOpenerWaitMs (the program it started runs
  // in its place; xdg-open itself is then ended). Waits at most about twice kOpenerWaitMs.
  static constexpr int kOpenerWaitMs = 3000;
  virtual bool Open(QWidget* parent, const QUrl& target);

 private:
  bool unattended_ = false;
};

// Runs `handler`; an exception that leaves it is shown in a message box (as the toolkit's default
// handler would) instead of unwinding through Qt.  Answers whether the handler ran to its end.
template <typename Handler>
bool Guarded(UiServices& ui, QWidget* parent, Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
    return true;
  } catch (const std::exception& e) {
    ui.Message(parent, QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ui.Message(parent, QStringLiteral("Unknown failure"));
  }
  return false;
}

// `geometry` moved into `area` (a screen's available area), and made no larger than it: a window
// larger than the screen (a large scale factor) keeps its caption and menu on the screen.
QRect FittedGeometry(const QRect& geometry, const QRect& area);
// Fits `window` (a top-level window) into the available area of its screen, as FittedGeometry
// says; a window that cannot be made that small keeps its upper left corner on the screen.
void FitIntoScreen(QWidget& window);

class SecondaryWindow : public QWidget {
  Q_OBJECT
 public:
  // `mainWindow` is its parent, the window it is centred on; `ui` shows the guarded handlers'
  // failures.  `extraFlags` adds to the window flags (for example Qt::Tool for a tool-window
  // border).
  SecondaryWindow(QWidget* mainWindow, UiServices& ui, Qt::WindowFlags extraFlags = {});
  ~SecondaryWindow() override;

  // The operator opens the window: a hidden window is centred on the main window, shown and its
  // show handler runs; an open one keeps what it shows and is un-minimised, raised and focused.
  void present();

  // Asks the window to re-read what it shows from disk (see the contract above).
  virtual void ReloadFromDisk() {}

  UiServices& Ui() const { return ui_; }
  QWidget* MainWidget() const { return mainWidget_; }

 protected:
  // The show handler; runs every time the operator opens the window (present()), never when the
  // window is shown again by the notification area or the window manager.
  virtual void onShow() {}
  // The close handler; false keeps the window open.
  virtual bool onClose() { return true; }

  // The Escape key (not taken by a control, such as an open list): closes the window as its Close
  // button does; a window with a Cancel button answers Cancel instead.
  virtual void onEscape() { close(); }

  // Without the platform's system menu and caption buttons: the window closes through its own
  // Close button.
  void RemoveCaptionButtons();

  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CentreOnMainWidget();

  QWidget* mainWidget_;
  UiServices& ui_;
};

}  // namespace corvane
