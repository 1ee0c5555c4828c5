// Rules the editors apply to the names of environments, jobs and their variables: the sorted,
// case-insensitive order of the editors' lists, the duplicate test, and the test that a typed
// name can be stored in a settings file without forging or losing lines.
//
// Names are 8-bit bytes ("\xA7" is the section sign). Letter case is folded as the settings
// files fold it (ASCII and Latin-1 letters).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The name as the operator typed it, in the 8-bit character set of the settings files.
// `latin1` is false when the typed text held characters that set cannot hold (they are then
// missing from `bytes`, and the name must be refused).
struct TypedName {
  std::string bytes;
  bool latin1 = true;
};

// The dialogs the editors open, Qt-free so the editors' rules can be tested without windows.
class EditorDialogs {
 public:
  EditorDialogs() = default;
  virtual ~EditorDialogs() = default;
  EditorDialogs(const EditorDialogs&) = delete;
  EditorDialogs& operator=(const EditorDialogs&) = delete;

  // A message box with an OK button.
  virtual void Message(std::string_view text) = 0;
  // A one-line input dialog with an empty initial text; nothing when the operator cancels.
  virtual std::optional<TypedName> AskName(std::string_view caption, std::string_view prompt) = 0;
};

// Negative, zero or positive as `a` sorts before, with or after `b` without regard to letter case.
int CompareNamesIgnoringCase(std::string_view a, std::string_view b) noexcept;

// Inserts `name` at its case-insensitive place in the sorted `list`, after the names equal to it;
// answers the index it took.
std::size_t InsertSorted(std::vector<std::string>& list, std::string name);

// The names sorted without regard to letter case (equal names keep their order).
std::vector<std::string> SortedNames(const std::vector<std::string>& names);

// The name as the settings files read it back: without leading and trailing blanks and control
// characters.
std::string_view StrippedName(std::string_view name) noexcept;

// Whether `list` holds `name` once both are read back from a settings file, letter case ignored:
// "Prod" and "prod " are the same name there.
bool NameListed(const std::vector<std::string>& list, std::string_view name) noexcept;

// The index of the entry equal to `name` byte for byte, or -1.
int IndexOfName(const std::vector<std::string>& list, std::string_view name) noexcept;

// Why a typed name cannot be stored, or nothing when it can. Section names (environments,
// jobs) may hold any character of the 8-bit set but control characters; key names (variables)
// also may not contain "=" nor begin with ";", which the reader would cut or skip.
std::optional<std::string> SectionNameProblem(const TypedName& name);
std::optional<std::string> KeyNameProblem(const TypedName& name);

// The texts of those refusals.
inline constexpr std::string_view kNameNotLatin1 =
    "The name may only hold characters of the Latin-1 character set";
inline constexpr std::string_view kNameHasControl =
    "The name may not hold a line break or another control character";
inline constexpr std::string_view kNameHasEquals = "The name may not hold \"=\"";
inline constexpr std::string_view kNameStartsWithSemicolon = "The name may not begin with \";\"";

}  // namespace corvane
