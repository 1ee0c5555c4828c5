#include "console/core/name_rules.h"

#include <algorithm>

#include "settings/ini_file.h"

namespace corvane {
namespace {

bool IsControl(unsigned char c) noexcept { return c < 0x20 || c == 0x7F; }

std::optional<std::string> CommonProblem(const TypedName& name) {
  if (!name.latin1) return std::string(kNameNotLatin1);
  for (const char c : name.bytes) {
    if (IsControl(static_cast<unsigned char>(c))) return std::string(kNameHasControl);
  }
  return std::nullopt;
}

}  // namespace

int CompareNamesIgnoringCase(std::string_view a, std::string_view b) noexcept {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int fa = FoldNameByte(static_cast<unsigned char>(a[i]));
    const int fb = FoldNameByte(static_cast<unsigned char>(b[i]));
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::size_t InsertSorted(std::vector<std::string>& list, std::string name) {
  const auto place =
      std::upper_bound(list.begin(), list.end(), name, [](const std::string& value, const std::string& element) {
        return CompareNamesIgnoringCase(value, element) < 0;
      });
  const auto index = static_cast<std::size_t>(place - list.begin());
  list.insert(place, std::move(name));
  return index;
}

std::vector<std::string> SortedNames(const std::vector<std::string>& names) {
  std::vector<std::string> sorted;
  sorted.reserve(names.size());
  for (const std::string& name : names) InsertSorted(sorted, name);
  return sorted;
}

std::string_view StrippedName(std::string_view name) noexcept { return StripBlanks(name); }

bool NameListed(const std::vector<std::string>& list, std::string_view name) noexcept {
  const std::string_view wanted = StrippedName(name);
  return std::any_of(list.begin(), list.end(), [wanted](const std::string& listed) {
    return NamesEqualIgnoringCase(StrippedName(listed), wanted);
  });
}

int IndexOfName(const std::vector<std::string>& list, std::string_view name) noexcept {
  const auto it = std::find(list.begin(), list.end(), name);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

std::optional<std::string> SectionNameProblem(const TypedName& name) { return CommonProblem(name); }

std::optional<std::string> KeyNameProblem(const TypedName& name) {
  if (auto problem = CommonProblem(name)) return problem;
  if (name.bytes.find('=') != std::string::npos) return std::string(kNameHasEquals);
  const std::string_view read = StrippedName(name.bytes);
  if (!read.empty() && read.front() == ';') return std::string(kNameStartsWithSemicolon);
  return std::nullopt;
}

}  // namespace corvane
