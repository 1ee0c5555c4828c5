// Where the program's files are.  The program directory is where the executable lives; the
// settings files, the log file and the output file sit in the data directory, which is the
// program directory itself unless that is not writable (a system-wide installation), in which
// case it is the per-user application data directory.  The choice is made once at start-up; the
// data directory is what the program passes to the library as DataDir.
#pragma once

#include <QString>

#include <string>

namespace corvane {

struct ProgramPaths {
  QString programFile;  // full path of the executable
  QString programDir;   // its directory, without a trailing separator
  QString dataDir;      // settings, log and output files; without a trailing separator

  // `programFile` is the executable; `fallbackDataDir` is used (and created) when the program
  // directory is not writable.
  static ProgramPaths Resolve(const QString& programFile, const QString& fallbackDataDir);
  // For the running program (QCoreApplication must exist).
  static ProgramPaths ForThisProgram();

  QString EnvIniPath() const { return dataDir + QStringLiteral("/CorvaneEnv.ini"); }
  QString JobIniPath() const { return dataDir + QStringLiteral("/CorvaneJob.ini"); }
  QString SchdIniPath() const { return dataDir + QStringLiteral("/CorvaneSchd.ini"); }
  QString LogPath() const { return dataDir + QStringLiteral("/log.txt"); }
  QString OutputPath() const { return dataDir + QStringLiteral("/output.txt"); }
  // The help file ships with the program.
  QString HelpPath() const { return programDir + QStringLiteral("/CORVANE.HLP"); }

  // A path as the bytes the file system and the library take.
  static std::string Bytes(const QString& path);
  // The data directory as the library's DataDir.
  std::string DataDirBytes() const { return Bytes(dataDir); }
};

}  // namespace corvane
