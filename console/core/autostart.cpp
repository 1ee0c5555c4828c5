#include "console/core/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <stdexcept>
#include <utility>

namespace corvane {
namespace {

constexpr char kEntryFileName[] = "Corvane.desktop";

std::runtime_error Failure(const QString& what) { return std::runtime_error(what.toLocal8Bit().toStdString()); }

}  // namespace

AutostartEntry::AutostartEntry(QString directory) : directory_(std::move(directory)) {}

QString AutostartEntry::DefaultDirectory() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString AutostartEntry::FilePath() const { return directory_ + QLatin1Char('/') + QLatin1String(kEntryFileName); }

bool AutostartEntry::Exists() const { return QFileInfo::exists(FilePath()); }

QString AutostartEntry::QuoteExecArgument(const QString& argument) {
  // Quoting of the Exec key's argument rules.
  QString quoted = QStringLiteral("\"");
  for (const QChar c : argument) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += QLatin1Char('\\');
    quoted += c;
  }
  quoted += QLatin1Char('"');
  // Then the escapes of a string value, and the field-code escape.
  QString value;
  for (const QChar c : quoted) {
    switch (c.unicode()) {
      case u'\\': value += QStringLiteral("\\\\"); break;
      case u'\n': value += QStringLiteral("\\n"); break;
      case u'\t': value += QStringLiteral("\\t"); break;
      case u'\r': value += QStringLiteral("\\r"); break;
      case u'%': value += QStringLiteral("%%"); break;
      default: value += c;
    }
  }
  return value;
}

QByteArray AutostartEntry::EntryText(const QString& programPath) {
  QString text;
  text += QStringLiteral("[Desktop Entry]\n");
  text += QStringLiteral("Type=Application\n");
  text += QStringLiteral("Name=Corvane 2.0\n");
  text += QStringLiteral("Exec=") + QuoteExecArgument(programPath) + QLatin1Char('\n');
  text += QStringLiteral("Terminal=false\n");
  text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
  return text.toUtf8();
}

void AutostartEntry::Create(const QString& programPath) {
  if (!QDir().mkpath(directory_)) {
    throw Failure(QStringLiteral("Cannot create the folder \"%1\"").arg(directory_));
  }
  QSaveFile file(FilePath());
  const QByteArray bytes = EntryText(programPath);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    throw Failure(QStringLiteral("Cannot create file \"%1\". %2").arg(FilePath(), file.errorString()));
  }
}

void AutostartEntry::Remove() {
  QFile file(FilePath());
  if (!file.exists()) return;
  if (!file.remove()) {
    throw Failure(QStringLiteral("Cannot remove file \"%1\". %2").arg(FilePath(), file.errorString()));
  }
}

void AutostartEntry::Apply(bool runAtLogon, const QString& programPath) {
  if (runAtLogon) {
    if (!Exists()) Create(programPath);
  } else {
    Remove();
  }
}

}  // namespace corvane
