// An ordered registry of class descriptors: one text line per class ("name=text"), kept in
// registration order, found by short class name or by the name part of its line without regard
// to case. The hash and cipher registries are two of these.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cipher/formats/formats.h"
#include "cipher/base/support.h"

namespace corvane {

template <class Info>
class ClassRegistry {
 public:
  // Adds the class's line, or replaces it in place. An empty name is made from the class name:
  // a leading "T" removed, then everything up to and including the first "_".
  bool Register(const Info* cls, std::string_view name, std::string_view text) {
    if (cls == nullptr) return false;
    std::string display(Trim(name));
    if (display.empty()) {
      std::string_view n = cls->name;
      if (!n.empty() && n.front() == 'T') n.remove_prefix(1);
      display = AfterFirstUnderscore(n);
    }
    std::string line = display + "=" + std::string(text);
    for (auto& e : entries_)
      if (e.cls == cls) {
        e.line = std::move(line);
        return true;
      }
    entries_.push_back({cls, std::move(line)});
    return true;
  }

  // Everything up to and including the first "_" of the name is dropped; then the first class
  // whose short class name matches wins, else the first line whose name part matches.
  const Info* Find(std::string_view name) const {
    const std::string_view reduced = AfterFirstUnderscore(name);
    for (const auto& e : entries_)
      if (SameText(ShortClassName(e.cls->name), reduced)) return e.cls;
    for (const auto& e : entries_)
      if (SameText(NamePart(e.line), reduced)) return e.cls;
    return nullptr;
  }

  // The registered name, or the short class name of a class that is not registered.
  std::string NameOf(const Info* cls) const {
    if (cls == nullptr) return {};
    for (const auto& e : entries_)
      if (e.cls == cls) return std::string(NamePart(e.line));
    return ShortClassName(cls->name);
  }

  std::string LineOf(const Info* cls) const {
    for (const auto& e : entries_)
      if (e.cls == cls) return e.line;
    return {};
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const auto& e : entries_) lines.push_back(e.line);
    return lines;
  }

  std::vector<const Info*> Classes() const {
    std::vector<const Info*> classes;
    for (const auto& e : entries_) classes.push_back(e.cls);
    return classes;
  }

 private:
  struct Entry {
    const Info* cls;
    std::string line;
  };
  static std::string_view AfterFirstUnderscore(std::string_view name) {
    const auto p = name.find('_');
    return p == std::string_view::npos ? name : name.substr(p + 1);
  }
  static std::string_view NamePart(const std::string& line) {
    return std::string_view(line).substr(0, line.find('='));
  }

  std::vector<Entry> entries_;
};

}  // namespace corvane
