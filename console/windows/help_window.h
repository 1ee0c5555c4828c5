// The help text inside the program: a read-only window showing a plain text file (the help file
// CORVANE.HLP), its bytes decoded as the output is (UTF-8 where valid, Latin-1 otherwise).  A
// secondary window of the main window, opened by Help / Help / Tutorial (F1) and the tool bar's
// Help; a second one shows the log or the output file when the desktop cannot open them.
#pragma once

#include <QString>

#include "console/windows/secondary_window.h"

class QPlainTextEdit;

namespace corvane {

class HelpWindow : public SecondaryWindow {
  Q_OBJECT
 public:
  // A help file larger than this is refused rather than read into memory.
  static constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

  // A transient child window of `mainWindow` (above it, minimised with it), captioned "Corvane 2.0
  // - Help" or `caption`.  The program also shows the log and output files in one of these when
  // the desktop has no program for them.
  HelpWindow(QWidget* mainWindow, UiServices& ui);
  HelpWindow(QWidget* mainWindow, UiServices& ui, const QString& caption);

  // Reads the file anew and shows it from its first line.  False, with the text on screen left as
  // it was, when the file cannot be read or is larger than kMaxFileSize; errorString() says why.
  bool loadFile(const QString& path);
  QString errorString() const { return error_; }

  // The text on screen.
  QString text() const;

 private:
  QPlainTextEdit* text_;
  QString error_;
};

}  // namespace corvane
