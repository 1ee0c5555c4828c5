// The help text inside the program: a read-only window showing a plain text file (the help file
// CORVANE.HLP), its bytes decoded as the output is (UTF-8 where valid, Latin-1 otherwise).
#pragma once

#include <QString>
#include <QWidget>

class QPlainTextEdit;

namespace corvane {

class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  // A help file larger than this is refused rather than read into memory.
  static constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

  // With a parent, the window is a transient child of it (above it, minimised with it).
  explicit HelpWindow(QWidget* parent = nullptr);

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
