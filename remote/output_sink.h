// Where the output of a run goes while it arrives, and the bounds of a run.
//
// The client receives straight into the room a sink offers and then tells the sink how much
// arrived. The sinks that keep the output for a caller turn every line feed into CR LF on the
// way: each receive lands in the room behind the kept text and is converted forward into place
// in one pass, while it is still in the cache. A sink keeps at most its limit of bytes; the first
// byte past it ends the run.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "posix/descriptor.h"
#include "remote/result_text.h"

namespace corvane {

// How long a run waits for the server's status byte (the remote command has not started before
// it): a server that accepts and never answers must not hold the run for ever.
inline constexpr std::chrono::milliseconds kDefaultStatusWait{60000};
// The most output one run keeps (in the form it is kept: line feeds already CR LF).
inline constexpr std::size_t kDefaultOutputLimit = std::size_t{256} * 1024 * 1024;

struct RunLimits {
  std::chrono::milliseconds statusWait = kDefaultStatusWait;
  std::size_t outputLimit = kDefaultOutputLimit;
};

// The line that ends the result of a run that was ended at its output limit.
std::string OutputLimitLine(std::size_t limit);
// What follows the kept output of such a run: a line break unless the output ends with one, then
// OutputLimitLine().
std::string OutputLimitSuffix(std::string_view kept_output_end, std::size_t limit);

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Room for the next receive; never empty.
  virtual std::span<char> Room() = 0;
  // The first `received` bytes of the last Room() hold output now. False when the output went
  // past the limit: the sink has kept what fits, and the run is to end.
  virtual bool Commit(std::size_t received) = 0;
};

// Converts `size` bytes at `from` (LF -> CR LF) into `to`, front to back, and returns the length
// written. `to` may lie before `from` in the same buffer when the two are at least `size` bytes
// apart (a line feed adds one byte, so the writer never overtakes the reader).
std::size_t ConvertLineFeeds(const char* from, std::size_t size, char* to) noexcept;

// The output as received (no conversion), in a result buffer.
class RawOutput final : public OutputSink {
 public:
  explicit RawOutput(std::size_t limit = kDefaultOutputLimit, std::size_t chunk = kChunk) noexcept
      : limit_(limit), chunk_(chunk) {}
  std::span<char> Room() override;
  bool Commit(std::size_t received) override;
  ResultText& Buffer() noexcept { return buffer_; }

  static constexpr std::size_t kChunk = 1024 * 1024;

 private:
  ResultText buffer_;
  std::size_t limit_;
  std::size_t chunk_;
};

// The output with CR LF line ends, in a result buffer (execute's result).
class CrLfOutput final : public OutputSink {
 public:
  explicit CrLfOutput(std::size_t limit = kDefaultOutputLimit, std::size_t chunk = RawOutput::kChunk) noexcept
      : limit_(limit), chunk_(chunk) {}
  std::span<char> Room() override;
  bool Commit(std::size_t received) override;
  ResultText& Buffer() noexcept { return buffer_; }

 private:
  ResultText buffer_;
  std::size_t limit_;
  std::size_t chunk_;
};

// The output with CR LF line ends, in an unnamed temporary file of a directory (a background
// run's output: its memory stays at two chunks whatever the output's size).
class CrLfFileOutput final : public OutputSink {
 public:
  // Throws std::system_error when no temporary file can be made in `directory`.
  CrLfFileOutput(const std::string& directory, std::size_t limit = kDefaultOutputLimit,
                 std::size_t chunk = RawOutput::kChunk);
  std::span<char> Room() override;
  bool Commit(std::size_t received) override;
  // Adds text beyond the limit (the limit line).
  void Append(std::string_view text);
  // The file (read from offset 0) and the bytes written to it.
  int Descriptor() const noexcept { return file_.Get(); }
  std::uint64_t Size() const noexcept { return size_; }
  // The last bytes written (at most two), to see whether the output ends with a line break.
  std::string_view End() const noexcept { return end_; }

 private:
  void Write(const char* data, std::size_t size);

  posix::Descriptor file_;
  std::string buffer_;
  std::size_t limit_;
  std::size_t chunk_;
  std::uint64_t size_ = 0;
  std::string end_;
};

}  // namespace corvane
