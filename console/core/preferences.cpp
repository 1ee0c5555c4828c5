#include "console/core/preferences.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace corvane {
namespace {

QString KeyName(std::string_view name) {
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

std::optional<std::int32_t> ParseDecimalInt32(const QString& text) {
  qsizetype i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

std::int32_t ToStoredColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(rgb.red()) |
                                   (static_cast<std::uint32_t>(rgb.green()) << 8) |
                                   (static_cast<std::uint32_t>(rgb.blue()) << 16));
}

QColor FromStoredColor(std::int32_t stored) {
  const auto bits = static_cast<std::uint32_t>(stored);
  return QColor(static_cast<int>(bits & 0xFFu), static_cast<int>((bits >> 8) & 0xFFu),
                static_cast<int>((bits >> 16) & 0xFFu));
}

namespace {

double RelativeLuminance(const QColor& color) {
  const QColor rgb = color.toRgb();
  const auto linear = [](int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(rgb.red()) + 0.7152 * linear(rgb.green()) + 0.0722 * linear(rgb.blue());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableTextColor(const QColor& text, const QColor& background) {
  if (ContrastRatio(text, background) >= kMinimumTextContrast) return text;
  const QColor black(0, 0, 0);
  const QColor white(255, 255, 255);
  return ContrastRatio(black, background) >= ContrastRatio(white, background) ? black : white;
}

std::int32_t FontStyleByte(const QFont& font) {
  std::int32_t style = 0;
  if (font.bold()) style |= 1;
  if (font.italic()) style |= 2;
  if (font.underline()) style |= 4;
  if (font.strikeOut()) style |= 8;
  return style;
}

void ApplyFontStyleByte(QFont& font, std::int32_t style) {
  font.setBold((style & 1) != 0);
  font.setItalic((style & 2) != 0);
  font.setUnderline((style & 4) != 0);
  font.setStrikeOut((style & 8) != 0);
}

Preferences::Preferences() : format_(QSettings::NativeFormat) {
  const QSettings probe(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvane"),
                        QStringLiteral("Corvane"));
  file_ = probe.fileName();
}

Preferences::Preferences(QString iniFile) : file_(std::move(iniFile)), format_(QSettings::IniFormat) {}

void Preferences::Open() {
  if (format_ == QSettings::NativeFormat && !QFileInfo(file_).isAbsolute()) return;  // registry
  QDir().mkpath(QFileInfo(file_).absolutePath());
}

std::int32_t Preferences::ReadInteger(std::string_view name, std::int32_t def) const {
  const QSettings store(file_, format_);
  const QVariant value = store.value(KeyName(name));
  if (!value.isValid()) return def;
  return ParseDecimalInt32(value.toString()).value_or(def);
}

void Preferences::WriteInteger(std::string_view name, std::int32_t value) {
  WriteText(name, QString::number(value));
}

QString Preferences::ReadText(std::string_view name, const QString& def) const {
  const QSettings store(file_, format_);
  const QVariant value = store.value(KeyName(name));
  if (!value.isValid()) return def;
  return value.toString();
}

void Preferences::WriteText(std::string_view name, const QString& value) {
  Open();
  QSettings store(file_, format_);
  store.setValue(KeyName(name), value);
  store.sync();
  if (store.status() != QSettings::NoError) {
    throw std::runtime_error("Failed to set data for '" + std::string(name) + "'");
  }
}

}  // namespace corvane
