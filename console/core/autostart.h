// The start-at-logon entry: a per-user XDG autostart entry ("Corvane.desktop" in the autostart
// folder, normally ~/.config/autostart) named "Corvane 2.0" that starts the program file.
//
// The main window applies the RUNSTART preference to it when it closes: with RUNSTART 1 the entry
// is created when it is missing (an existing entry is left as it is, even when it names a program
// file elsewhere); with RUNSTART 0 an existing entry is removed.
#pragma once

#include <QByteArray>
#include <QString>

namespace corvane {

class AutostartEntry {
 public:
  // The entry lives in `directory` (created when missing).
  explicit AutostartEntry(QString directory);

  // The per-user autostart folder of the desktop ($XDG_CONFIG_HOME/autostart).
  static QString DefaultDirectory();

  QString FilePath() const;
  bool Exists() const;

  // Writes the entry for `programPath` whole (replacing any entry there).  Throws
  // std::runtime_error when it cannot be written; a half-written entry is never left behind.
  void Create(const QString& programPath);
  // Removes the entry when it exists.  Throws std::runtime_error when it cannot be removed.
  void Remove();

  // The close-time rule above.
  void Apply(bool runAtLogon, const QString& programPath);

  // The entry's bytes (UTF-8).
  static QByteArray EntryText(const QString& programPath);
  // `argument` as one argument of a desktop entry's Exec key: in double quotes with '"', '`', '$'
  // and '\' escaped by a backslash, and then escaped for a string value ('\' doubled; line
  // breaks, tabs and carriage returns as \n, \t, \r), '%' doubled.
  static QString QuoteExecArgument(const QString& argument);

 private:
  QString directory_;
};

}  // namespace corvane
