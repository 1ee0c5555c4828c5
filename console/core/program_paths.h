// Where the program's files are.  The program directory is where the executable lives; the
// settings files, the log file and the output file sit in the data directory.  For a program in
// an installed layout (its folder is named bin/ and has ../share/corvane/ beside it, as
// `cmake --install` lays it out under any prefix) that is the per-user application data
// directory, whoever runs it, root included: nothing is ever written under the prefix.  A program
// run from its build tree or from a folder of its own keeps its files beside itself, unless that
// folder is not writable, in which case the per-user directory is used too.  The choice is made
// once at start-up; the data directory is what the program passes to the library as DataDir.
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

  // Whether `programDir` is the bin/ folder of an installation (../share/corvane/ beside it).
  static bool IsInstalledLayout(const QString& programDir);

  // `programFile` is the executable; `fallbackDataDir` is used (and created) for an installed
  // layout and when the program directory is not writable.
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
