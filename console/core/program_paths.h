// Where the program's files are.  The program directory is where the executable lives; the
// settings files, the log file and the output file sit in the data directory, which is the
// program directory itself unless that is not writable (a system-wide installation), in which
// case it is the per-user application data directory.  The choice is made once at start-up; the
// data directory is what the program passes to the library as DataDir.
//
// The help file ships with the program: beside it (the build tree, a folder of its own), or, for
// an installed program, in the installation's data folder, found relative to the program
// (kInstalledHelpDir, from bin/ to share/corvane/ for example).
#pragma once

#include <QString>

#include <string>

namespace corvane {

struct ProgramPaths {
  QString programFile;  // full path of the executable
  QString programDir;   // its directory, without a trailing separator
  QString dataDir;      // settings, log and output files; without a trailing separator
  QString helpFile;     // the help file: beside the program, or where the installation put it

  // The folder of the installed help file, relative to the program's folder.
  static const char kInstalledHelpDir[];

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
  QString HelpPath() const { return helpFile; }

  // A path as the bytes the file system and the library take.
  static std::string Bytes(const QString& path);
  // The data directory as the library's DataDir.
  std::string DataDirBytes() const { return Bytes(dataDir); }
};

}  // namespace corvane
