// The command editor window (Form7, "Corvane 2.0 - Command"): the job editor opens it on the
// shown job's command, one command per line; OK hands the edited text, every command followed by
// ";", back to the job editor's command field, Cancel drops it. Both windows stay usable, so OK
// takes effect only while the job editor still shows the job the editor was opened on; otherwise
// it says so and keeps the text.
//
// Creating the window (at start-up, after the main window's first show) also applies the stored
// minimize-to-tray preference to the main window's notification-area icon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/secondary_window.h"

class QPlainTextEdit;
class QPushButton;

namespace corvane {

class TForm1;

// What OK says when the job editor no longer shows the job (%1: its name).
inline constexpr char kCommandJobChanged[] =
    "The job editor no longer shows the job \"%1\". Select that job in the job editor again to "
    "take this command over, or press Cancel.";
// What OK says when the text holds characters the job file cannot hold.
inline constexpr char kCommandNotLatin1[] =
    "The command may only hold characters of the Latin-1 character set";

class TForm7 : public SecondaryWindow {
  Q_OBJECT
 public:
  explicit TForm7(TForm1& form1);
  ~TForm7() override;

  // The job editor's "...": clears the memo, shows `lines` in it and presents the window; OK goes
  // to the job `job` while the job editor's selection serial is still `serial`.
  void Open(const std::vector<std::string>& lines, std::uint64_t serial, const std::string& job);

  // Event handlers.
  void FormCreate();
  void Button2Click();  // "OK"
  void Button1Click();  // "Cancel"

  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button1 = nullptr;

 private:
  TForm1& form1_;
  std::uint64_t serial_ = 0;
  std::string job_;
};

}  // namespace corvane
