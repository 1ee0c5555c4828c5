// The per-schedule parameter values of a scheduled job as the library's background export takes
// them: "name=value" pairs joined by "&".
//
// The library finds a name's value by a plain substring search: the first occurrence of the name
// followed by "=" anywhere in the text, up to the next "&". A pair therefore reads back its own
// value only when no earlier part of the text holds its name followed by "=": "a=1&xa=5" gives a
// 1 and xa 5, "xa=5&a=1" gives a 5. The pairs are ordered so that, for every name, each pair whose
// text holds that name followed by "=" (not at its start) comes after the name's own pair. A name
// that is a proper ending of another comes before it; a value holding "=" can demand more (a
// value "b=2" of a must come after b's pair), and two values that demand each other
// (a = "b=1", b = "a=2") cannot be ordered at all. A value holding "&" cannot be carried, as
// the pair would end there.
//
// Names and values are 8-bit bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane {

using ParameterPair = std::pair<std::string, std::string>;  // name, value

inline constexpr std::string_view kValueHasAmpersand =
    "The value may not hold \"&\": the scheduled run could not pass it to the job";
inline constexpr std::string_view kValuesCannotBeOrdered =
    "These parameter values cannot all be passed to the job: a value holds another parameter's name "
    "followed by \"=\", which the job would read in place of that parameter's own value";

// What the library reads for `name` from `parameterValues`: the text after the "=" of the first
// occurrence of name + "=", up to the next "&" (or the end); nothing when there is none.
std::optional<std::string> LookUpParameterValue(std::string_view parameterValues, std::string_view name);

// Why one value cannot be passed, or nothing.
std::optional<std::string_view> ParameterValueProblem(std::string_view value);

// The pairs joined in an order from which every name reads back its own value (checked by that
// very lookup), or nothing when no such text exists or a value cannot be carried. Names are
// distinct. No pairs give the empty text.
std::optional<std::string> JoinParameterValues(std::vector<ParameterPair> pairs);

// The text for a scheduled run: the scheduled job's own values, and, for every other variable the
// job may read (`others`: the job's and the environment's variables, each with the value the job
// uses when the text gives none), a pair with that value wherever the text would otherwise hand
// that variable a value meant for another name (with only xa=5 set, a job reading "a" would get
// 5; "a=<its own value>" is added). Nothing when no such text exists.
std::optional<std::string> ScheduledRunParameterValues(std::vector<ParameterPair> own,
                                                       const std::vector<ParameterPair>& others);

}  // namespace corvane
