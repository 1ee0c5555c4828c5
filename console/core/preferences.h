// The operator's preferences: values directly in the per-user store of organisation and
// application "Corvane" (on Windows the registry key Software\Corvane under the current user, on
// Linux ~/.config/Corvane/Corvane.conf).  Integers are kept as their decimal text; reading one
// that is missing or is not a decimal integer gives the caller's default.
//
// Every operation opens the store, reads or writes one value and closes it again, so a value
// changed by another instance of the program is seen at the next read.  GUI thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QSettings>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

// The preference names and their defaults.
namespace pref {
inline constexpr char BGCLR[] = "BGCLR";              // memo background colour (0x00BBGGRR)
inline constexpr char FONTCOLOR[] = "FONTCOLOR";      // memo font colour (0x00BBGGRR)
inline constexpr char FONTSIZE[] = "FONTSIZE";        // memo font size in points
inline constexpr char FONTSTYLE[] = "FONTSTYLE";      // bold 1, italic 2, underline 4, strike-out 8
inline constexpr char FONTCHARSET[] = "FONTCHARSET";  // character set 0..255 (kept, not applied)
inline constexpr char FONTNAME[] = "FONTNAME";        // memo font name
inline constexpr char PROTOCOL[] = "PROTOCOL";        // protocol list index
inline constexpr char EXECBACK[] = "EXECBACK";        // 1: Execute runs in the background
inline constexpr char RUNSTART[] = "RUNSTART";        // 1: start at logon
inline constexpr char MINIMIZE[] = "MINIMIZE";        // 1: minimizing hides in the notification area

inline constexpr std::int32_t kBgColorDefault = 12632256;  // 0xC0C0C0, silver
inline constexpr std::int32_t kFontColorDefault = 0;
inline constexpr std::int32_t kFontSizeDefault = 8;
inline constexpr std::int32_t kFontStyleDefault = 0;
inline constexpr std::int32_t kFontCharsetDefault = 0;
inline constexpr char kFontNameDefault[] = "Arial";
inline constexpr std::int32_t kProtocolDefault = 0;
inline constexpr std::int32_t kExecBackDefault = 0;
inline constexpr std::int32_t kRunStartDefault = 0;
inline constexpr std::int32_t kMinimizeDefault = 0;
}  // namespace pref

// How the output shows its text: the background and text colours as set, and the font.
struct OutputLook {
  QColor background;
  QColor text;
  QFont font;
};

// The value of a decimal integer text (an optional sign and digits, nothing else, within 32 bits).
std::optional<std::int32_t> ParseDecimalInt32(const QString& text);

// Colours as stored: 0x00BBGGRR.  A stored value with its top byte set (a platform colour code)
// is read by its low three bytes.
std::int32_t ToStoredColor(const QColor& color);
QColor FromStoredColor(std::int32_t stored);

// How far apart two colours stand for a reader: the contrast ratio of their relative luminances
// (sRGB), from 1 (the same) to 21 (black and white).
double ContrastRatio(const QColor& a, const QColor& b);
// The least contrast at which the output's text counts as readable (3:1, the least that large or
// bold text needs by the common accessibility guidelines).
inline constexpr double kMinimumTextContrast = 3.0;
// The colour the output's text is shown in on `background`: `text` when it stands out by at
// least kMinimumTextContrast, otherwise black or white, whichever stands out more.  The stored
// colour stays what the operator chose.
QColor ReadableTextColor(const QColor& text, const QColor& background);

// The font style set as one byte: bold 1, italic 2, underline 4, strike-out 8.
std::int32_t FontStyleByte(const QFont& font);
void ApplyFontStyleByte(QFont& font, std::int32_t style);

class Preferences {
 public:
  // The platform's per-user store of organisation and application "Corvane".
  Preferences();
  // A store kept in the given INI file (tests, portable use).
  explicit Preferences(QString iniFile);

  // Makes sure the store exists (its folder is created when missing).  Writes no value.
  void Open();

  std::int32_t ReadInteger(std::string_view name, std::int32_t def) const;
  // Stores the decimal text of the value.  Throws std::runtime_error when it cannot be stored.
  void WriteInteger(std::string_view name, std::int32_t value);
  // The stored text, or `def` when the value is missing; an existing empty value gives "".
  QString ReadText(std::string_view name, const QString& def) const;
  // Throws std::runtime_error when it cannot be stored.
  void WriteText(std::string_view name, const QString& value);

  // Where the store is (a file name, or the registry path on Windows).
  QString Location() const { return file_; }

 private:
  QString file_;
  QSettings::Format format_;
};

}  // namespace corvane
