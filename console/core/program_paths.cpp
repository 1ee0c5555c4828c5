#include "console/core/program_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace corvane {
namespace {

QString WithoutTrailingSeparator(QString dir) {
  while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
  return dir;
}

// Whether files can be created in `dir` (tried, not guessed from mode bits).
bool CanCreateFilesIn(const QString& dir) {
  if (!QFileInfo(dir).isDir()) return false;
  QTemporaryFile probe(dir + QStringLiteral("/.corvane-probe-XXXXXX"));
  return probe.open();
}

constexpr char kHelpFileName[] = "/CORVANE.HLP";

}  // namespace

#ifndef CORVANE_INSTALLED_HELP_DIR
#define CORVANE_INSTALLED_HELP_DIR "../share/corvane"
#endif
const char ProgramPaths::kInstalledHelpDir[] = CORVANE_INSTALLED_HELP_DIR;

bool ProgramPaths::IsInstalledLayout(const QString& programDir) {
  const QFileInfo dir(programDir);
  if (dir.fileName() != QLatin1String("bin")) return false;
  return QFileInfo(QDir::cleanPath(programDir + QLatin1Char('/') + QLatin1String(kInstalledHelpDir))).isDir();
}

ProgramPaths ProgramPaths::Resolve(const QString& programFile, const QString& fallbackDataDir) {
  ProgramPaths paths;
  const QFileInfo info(programFile);
  paths.programFile = info.absoluteFilePath();
  paths.programDir = WithoutTrailingSeparator(info.absolutePath());
  paths.helpFile = paths.programDir + QLatin1String(kHelpFileName);
  const QString installed = QDir::cleanPath(paths.programDir + QLatin1Char('/') +
                                            QLatin1String(kInstalledHelpDir) + QLatin1String(kHelpFileName));
  if (!QFileInfo::exists(paths.helpFile) && QFileInfo::exists(installed)) paths.helpFile = installed;
  if (!IsInstalledLayout(paths.programDir) && CanCreateFilesIn(paths.programDir)) {
    paths.dataDir = paths.programDir;
  } else {
    QDir().mkpath(fallbackDataDir);
    paths.dataDir = WithoutTrailingSeparator(QDir(fallbackDataDir).absolutePath());
  }
  return paths;
}

ProgramPaths ProgramPaths::ForThisProgram() {
  return Resolve(QCoreApplication::applicationFilePath(),
                 QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

std::string ProgramPaths::Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace corvane
