// What the editor windows share on the Qt side: names and values as 8-bit bytes on screen and
// back (the settings files hold Latin-1 text), the refusal of a field's text that the files
// cannot hold, the editors' dialogs over UiServices, the filling of a sorted name list, and the
// bold captions over regular controls, and the fixed-size layout of the small windows.
#pragma once

#include <QFont>
#include <QString>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/core/name_rules.h"
#include "console/windows/secondary_window.h"

class QComboBox;
class QLayout;
class QLineEdit;
class QSize;
class QWidget;

namespace corvane {

// Bytes of the settings files as text on screen.
QString Latin1Text(std::string_view bytes);
// Text from the screen as bytes; nothing when it holds a character outside Latin-1.
std::optional<std::string> Latin1Bytes(const QString& text);

// What a field says when its text holds a character the files cannot hold (Latin-1 only): the
// command (the job editor's command field, the command editor) or a value.
inline constexpr char kCommandNotLatin1[] = "The command may only hold characters of the Latin-1 character set";
inline constexpr char kValueNotLatin1[] = "The value may only hold characters of the Latin-1 character set";

// The text of `field` as bytes. A text with a character outside Latin-1 is refused: `refusal`
// is shown, the field keeps the text as typed and takes the focus, and the answer is nothing.
// Fields take whatever is typed, so nothing typed is ever dropped without a word.
std::optional<std::string> FieldBytes(UiServices& ui, QWidget* window, QLineEdit* field, const char* refusal);

// The editors' dialogs through the window's UiServices.
class UiEditorDialogs final : public EditorDialogs {
 public:
  UiEditorDialogs(UiServices& ui, QWidget* parent) noexcept : ui_(ui), parent_(parent) {}
  void Message(std::string_view text) override;
  std::optional<TypedName> AskName(std::string_view caption, std::string_view prompt) override;

  // Runs `step`, a handler that asks for a name (New).  When the name typed is refused with a
  // message (a name that exists, a character the files cannot hold), the step runs again with
  // the input dialog holding the refused name, ready to be corrected, until a name is taken or
  // the operator cancels.
  template <typename Step>
  void AskUntilTaken(Step&& step) {
    preset_.clear();
    for (;;) {
      askedName_ = false;
      nameRefused_ = false;
      step();
      if (!nameRefused_) break;
      preset_ = lastTyped_;
    }
    preset_.clear();
    askedName_ = false;
  }

 private:
  UiServices& ui_;
  QWidget* parent_;
  QString preset_;            // the input dialog's text when it is asked again
  QString lastTyped_;         // what the operator typed into the last input dialog
  bool askedName_ = false;    // an input dialog was answered in the current step
  bool nameRefused_ = false;  // a message followed it: the name was refused
};


// Fills `box` with `names` (in the given order) and selects `selected` (nothing when it is
// empty or not listed). Runs no change handler.
void ShowNames(QComboBox* box, const std::vector<std::string>& names, const std::optional<std::string>& selected);

// The name at `index` of a list filled by ShowNames (nothing for -1).
std::optional<std::string> NameAt(const QComboBox* box, int index);

// Lays `content` out as the whole of `window`, which gets a fixed size: `designed` (its client
// area), or more where the content needs more with the font, style and scale in use, so that no
// caption is ever cut. The window cannot be resized; extra room goes to the content's stretches.
// Call it once the controls have their fonts.
void SetFixedLayout(QWidget* window, QLayout* content, const QSize& designed);
// The layout of the editors and Preferences: `groups` one below the other, then `closeButton`
// at the lower right corner.
QLayout* GroupsAboveCloseButton(std::initializer_list<QWidget*> groups, QWidget* closeButton);

// `font` in bold (group captions, the Close button).
QFont BoldFont(QFont font);
// `font` explicitly not bold, so that the controls inside a bold group keep the window's weight
// (a group box hands its font down).
QFont RegularFont(QFont font);
// Gives every one of `controls` RegularFont(font).
void SetRegularFont(const QFont& font, std::initializer_list<QWidget*> controls);

}  // namespace corvane
