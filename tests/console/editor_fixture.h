// Shared by the editor tests: scripted dialogs, a temporary data directory and the real cipher
// manager of stored values.
#pragma once

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cipher/base/managers.h"
#include "console/core/name_rules.h"
#include "settings/ini_file.h"
#include "settings/settings_test_util.h"
#include "settings/stored_values.h"

namespace corvane::test {

// Answers the input dialogs from a script and records every dialog it was asked to show.
class ScriptedDialogs : public EditorDialogs {
 public:
  struct Asked {
    std::string caption;
    std::string prompt;
  };

  // Queues the answer of the next input dialog (nothing: the operator cancels).
  void Answer(std::optional<std::string> name) {
    if (name) {
      answers_.push_back(TypedName{std::move(*name), true});
    } else {
      answers_.push_back(std::nullopt);
    }
  }
  void AnswerTyped(TypedName name) { answers_.push_back(std::move(name)); }

  void Message(std::string_view text) override { messages.emplace_back(text); }
  std::optional<TypedName> AskName(std::string_view caption, std::string_view prompt) override {
    asked.push_back({std::string(caption), std::string(prompt)});
    if (answers_.empty()) {
      ADD_FAILURE() << "unexpected input dialog: " << caption;
      return std::nullopt;
    }
    std::optional<TypedName> answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
  }

  bool AllAnswersUsed() const { return answers_.empty(); }

  std::vector<std::string> messages;
  std::vector<Asked> asked;

 private:
  std::deque<std::optional<TypedName>> answers_;
};

// Makes every write past `bytes` bytes fail, as a full disk would (for every user, root
// included), until it goes out of scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved_;
    small.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  struct rlimit saved_ {};
  void (*oldHandler_)(int) = nullptr;
};

// A data directory and the cipher manager of stored values.
class StoredFileTest : public ::testing::Test {
 protected:
  StoredFileTest() { InitStoredValueManager(cipher_); }

  std::string Path(std::string_view name) const { return dir_.File(std::string(name)); }
  std::string Plain(const IniFile& file, std::string_view section, std::string_view key) {
    return StoredValues(cipher_).Read(file, section, key);
  }
  std::string Stored(std::string_view plain) { return StoredValues(cipher_).Encrypt(plain); }

  TempDir dir_;
  TCipherManager cipher_;
  ScriptedDialogs dialogs_;
};

}  // namespace corvane::test
