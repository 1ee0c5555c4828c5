// What the editor windows share on the Qt side: names and values as 8-bit bytes on screen and
// back (the settings files hold Latin-1 text), a validator that keeps text fields to what the
// files can hold, the editors' dialogs over UiServices, the filling of a sorted name list, and
// the bold captions over regular controls.
#pragma once

#include <QFont>
#include <QString>
#include <QValidator>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/core/name_rules.h"
#include "console/windows/secondary_window.h"

class QComboBox;
class QWidget;

namespace corvane {

// Bytes of the settings files as text on screen.
QString Latin1Text(std::string_view bytes);
// Text from the screen as bytes; nothing when it holds a character outside Latin-1.
std::optional<std::string> Latin1Bytes(const QString& text);

// Accepts only text of Latin-1 characters, so a typed or pasted value can never lose a
// character on its way into the file.
class Latin1Validator : public QValidator {
 public:
  explicit Latin1Validator(QObject* parent = nullptr) : QValidator(parent) {}
  State validate(QString& input, int& pos) const override;
};

// The editors' dialogs through the window's UiServices.
class UiEditorDialogs final : public EditorDialogs {
 public:
  UiEditorDialogs(UiServices& ui, QWidget* parent) noexcept : ui_(ui), parent_(parent) {}
  void Message(std::string_view text) override;
  std::optional<TypedName> AskName(std::string_view caption, std::string_view prompt) override;

 private:
  UiServices& ui_;
  QWidget* parent_;
};

// Fills `box` with `names` (in the given order) and selects `selected` (nothing when it is
// empty or not listed). Runs no change handler.
void ShowNames(QComboBox* box, const std::vector<std::string>& names,
               const std::optional<std::string>& selected);

// The name at `index` of a list filled by ShowNames (nothing for -1).
std::optional<std::string> NameAt(const QComboBox* box, int index);

// `font` in bold (group captions, the Close button).
QFont BoldFont(QFont font);
// `font` explicitly not bold, so that the controls inside a bold group keep the window's weight
// (a group box hands its font down).
QFont RegularFont(QFont font);
// Gives every one of `controls` RegularFont(font).
void SetRegularFont(const QFont& font, std::initializer_list<QWidget*> controls);

}  // namespace corvane
