// The RunUi of the shared library, with Qt Widgets: the operator prompt is a QInputDialog owned by
// the caller's window, and an answer with a character outside Latin-1 is refused with a message
// and asked again; the busy cursor is the application's wait cursor. Without a QApplication
// the prompt counts as cancelled and the cursor is left alone. Called from a thread other than the
// GUI thread, both are carried out on the GUI thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "remote/job_expansion.h"

namespace corvane {

// What the prompt says when an answer holds a character outside Latin-1 (the command is 8-bit
// text); the question is then asked again.
inline constexpr char kAnswerNotLatin1Text[] = "The value may only hold characters of the Latin-1 character set";

class QtRunUi final : public RunUi {
 public:
  // `owner_window`: the window id of the caller's top-level window (0: no owner).
  explicit QtRunUi(std::uintptr_t owner_window) noexcept : ownerWindow_(owner_window) {}
  ~QtRunUi() override;
  QtRunUi(const QtRunUi&) = delete;
  QtRunUi& operator=(const QtRunUi&) = delete;

  std::optional<std::string> AskValue(std::string_view caption, std::string_view prompt,
                                      std::string_view preset) override;
  void SetBusy(bool busy) override;

 private:
  std::uintptr_t ownerWindow_;
  bool busy_ = false;
};

}  // namespace corvane
