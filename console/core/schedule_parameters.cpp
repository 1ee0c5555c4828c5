#include "console/core/schedule_parameters.h"

#include <algorithm>
#include <cstddef>

namespace corvane {

std::optional<std::string> LookUpParameterValue(std::string_view parameterValues, std::string_view name) {
  std::string key(name);
  key += '=';
  const std::size_t at = parameterValues.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = parameterValues.substr(at);
  rest.remove_prefix(rest.find('=') + 1);
  return std::string(rest.substr(0, rest.find('&')));
}

std::optional<std::string_view> ParameterValueProblem(std::string_view value) {
  if (value.find('&') != std::string_view::npos) return kValueHasAmpersand;
  return std::nullopt;
}

std::optional<std::string> JoinParameterValues(std::vector<ParameterPair> pairs) {
  for (const ParameterPair& pair : pairs) {
    if (ParameterValueProblem(pair.second)) return std::nullopt;
  }
  const std::size_t n = pairs.size();
  std::vector<std::string> texts;
  texts.reserve(n);
  for (const ParameterPair& pair : pairs) texts.push_back(pair.first + '=' + pair.second);

  // mustPrecede[i] lists the pairs that hold pair i's name followed by "=" past their start: each
  // of them would shadow pair i if it came first.
  std::vector<std::vector<std::size_t>> mustPrecede(n);
  std::vector<std::size_t> waitingFor(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string key = pairs[i].first + '=';
    for (std::size_t j = 0; j < n; ++j) {
      if (i != j && texts[j].find(key, 1) != std::string::npos) {
        mustPrecede[i].push_back(j);
        ++waitingFor[j];
      }
    }
  }

  // Among the pairs free to go next, the shortest name first, then byte order: the same set of
  // values always gives the same text.
  const auto before = [&pairs](std::size_t a, std::size_t b) {
    if (pairs[a].first.size() != pairs[b].first.size()) return pairs[a].first.size() < pairs[b].first.size();
    return pairs[a].first < pairs[b].first;
  };
  std::vector<std::size_t> ready;
  for (std::size_t i = 0; i < n; ++i) {
    if (waitingFor[i] == 0) ready.push_back(i);
  }
  std::string joined;
  std::size_t placed = 0;
  while (!ready.empty()) {
    const auto next = std::min_element(ready.begin(), ready.end(), before);
    const std::size_t i = *next;
    ready.erase(next);
    if (placed++ > 0) joined += '&';
    joined += texts[i];
    for (std::size_t j : mustPrecede[i]) {
      if (--waitingFor[j] == 0) ready.push_back(j);
    }
  }
  if (placed != n) return std::nullopt;  // the values demand each other

  // Names holding "&" can still be matched across two pairs: what the lookup reads decides.
  for (const ParameterPair& pair : pairs) {
    if (LookUpParameterValue(joined, pair.first) != pair.second) return std::nullopt;
  }
  return joined;
}

std::optional<std::string> ScheduledRunParameterValues(std::vector<ParameterPair> own,
                                                       const std::vector<ParameterPair>& others) {
  std::vector<bool> added(others.size(), false);
  for (std::size_t i = 0; i < others.size(); ++i) {
    added[i] = std::any_of(own.begin(), own.end(),
                           [&](const ParameterPair& pair) { return pair.first == others[i].first; });
  }
  // Each added pair may bring new text to search; at most every name is added once.
  for (;;) {
    std::optional<std::string> joined = JoinParameterValues(own);
    if (!joined) return std::nullopt;
    bool grew = false;
    for (std::size_t i = 0; i < others.size(); ++i) {
      if (added[i] || !LookUpParameterValue(*joined, others[i].first)) continue;
      own.push_back(others[i]);
      added[i] = true;
      grew = true;
    }
    if (!grew) return joined;
  }
}

}  // namespace corvane
