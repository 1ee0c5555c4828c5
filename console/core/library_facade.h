// The program's view of the remote command library libCorvaneDll.so: its three exports behind an
// interface (the real one calls the library, tests put a fake in its place), result buffers held
// by an owner that hands them back exactly once, and the Execute road of the main window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class LibraryFacade {
 public:
  LibraryFacade() = default;
  virtual ~LibraryFacade() = default;
  LibraryFacade(const LibraryFacade&) = delete;
  LibraryFacade& operator=(const LibraryFacade&) = delete;

  // The exports as they are: NUL-terminated 8-bit texts in, a result buffer out (null when the
  // library produced none), to be handed back to releasebuffer exactly once.
  virtual char* execute(const char* EnvironmentName, const char* JobName, std::int32_t ProtocolIndex,
                        const char* DataDir, std::uintptr_t OwnerWindow) = 0;
  virtual char* executeA(const char* EnvironmentName, const char* JobName, std::int32_t ProtocolIndex,
                         const char* DataDir, const char* ParameterValues) = 0;
  virtual void releasebuffer(char* buffer) = 0;

  // The same calls with the buffer copied into a string and released on every road.  Throws
  // std::runtime_error when the library produced no result buffer.
  std::string Execute(const std::string& environment, const std::string& job, std::int32_t protocolIndex,
                      const std::string& dataDir, std::uintptr_t ownerWindow);
  std::string ExecuteA(const std::string& environment, const std::string& job, std::int32_t protocolIndex,
                       const std::string& dataDir, const std::string& parameterValues);
};

// A result buffer and the facade that takes it back.
class ResultBuffer {
 public:
  ResultBuffer(LibraryFacade& library, char* buffer) : buffer_(buffer, Releaser{&library}) {}
  bool Empty() const { return buffer_ == nullptr; }
  std::string Text() const;

 private:
  struct Releaser {
    LibraryFacade* library;
    void operator()(char* buffer) const { library->releasebuffer(buffer); }
  };
  std::unique_ptr<char, Releaser> buffer_;
};

// The real library: the exports of libCorvaneDll.so, bound by the loader.  Defined only in the
// program (and in the tests that link the library).
std::unique_ptr<LibraryFacade> MakeCorvaneDllFacade();

// What the main window shows of a foreground result: at most this many bytes.
inline constexpr std::size_t kForegroundResultLimit = 32000;

// The background answer that means the run was handed over, and what the window shows for it.
inline constexpr std::string_view kHandedOverResult = "0";
inline constexpr std::string_view kHandedOverText = "Job was sent to server";

struct ExecuteRequest {
  std::string environment;         // the environment's name as listed
  std::string job;                 // the job's name as listed
  std::int32_t protocolIndex = 0;  // -1 when no protocol is selected
  std::string dataDir;
  std::uintptr_t ownerWindow = 0;
  bool background = false;
};

// What a run gives the output memo.
struct ExecuteResult {
  std::string text;
  bool cut = false;  // a foreground output longer than kForegroundResultLimit, cut there
};

// Runs the request through the library and answers the text for the output memo: for a
// background run "Job was sent to server" when the library answered "0", else its answer whole;
// for a foreground run the first kForegroundResultLimit bytes of the output.
ExecuteResult RunExecute(LibraryFacade& library, const ExecuteRequest& request);

}  // namespace corvane
