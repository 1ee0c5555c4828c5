#include "remote/output_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace corvane {

std::string OutputLimitLine(std::size_t limit) {
  constexpr std::size_t kMiB = 1024 * 1024;
  const std::string amount =
      limit % kMiB == 0 ? std::to_string(limit / kMiB) + " MiB" : std::to_string(limit) + " bytes";
  return "The run was ended: its output went past the limit of " + amount + ".";
}

std::string OutputLimitSuffix(std::string_view kept_output_end, std::size_t limit) {
  std::string suffix;
  if (!kept_output_end.empty() && kept_output_end.back() != '\n') suffix = "\r\n";
  suffix += OutputLimitLine(limit);
  return suffix;
}

std::size_t ConvertLineFeeds(const char* from, std::size_t size, char* to) noexcept {
  char* out = to;
  const char* end = from + size;
  while (from < end) {
    const auto* lf = static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
    const std::size_t run = static_cast<std::size_t>((lf != nullptr ? lf : end) - from);
    if (out != from) std::memmove(out, from, run);
    out += run;
    from += run;
    if (lf == nullptr) break;
    *out++ = '\r';
    *out++ = '\n';
    ++from;
  }
  return static_cast<std::size_t>(out - to);
}

// --- RawOutput ------------------------------------------------------------------------------

std::span<char> RawOutput::Room() {
  // One byte past the limit is still received: it shows that the output went on.
  const std::size_t left = limit_ - std::min(limit_, buffer_.Size());
  const std::size_t want = left >= chunk_ ? chunk_ : left + 1;
  buffer_.Reserve(buffer_.Size() + want);
  return {buffer_.Data() + buffer_.Size(), want};
}

bool RawOutput::Commit(std::size_t received) {
  const std::size_t size = buffer_.Size() + received;
  buffer_.SetSize(std::min(size, limit_));
  return size <= limit_;
}

// --- CrLfOutput -----------------------------------------------------------------------------

std::span<char> CrLfOutput::Room() {
  // The receive lands one chunk behind the kept text, so the conversion forward into place never
  // overtakes what it reads.
  buffer_.Reserve(buffer_.Size() + 2 * chunk_);
  return {buffer_.Data() + buffer_.Size() + chunk_, chunk_};
}

bool CrLfOutput::Commit(std::size_t received) {
  char* end = buffer_.Data() + buffer_.Size();
  const std::size_t written = ConvertLineFeeds(end + chunk_, received, end);
  const std::size_t size = buffer_.Size() + written;
  buffer_.SetSize(std::min(size, limit_));
  return size <= limit_;
}

// --- CrLfFileOutput -------------------------------------------------------------------------

namespace {

// An unnamed file in `directory`; where the file system knows no unnamed files, a named one that
// is removed at once.
posix::Descriptor UnnamedTemporaryFile(const std::string& directory) {
#ifdef O_TMPFILE
  const int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return posix::Descriptor(fd);
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    posix::ThrowErrno(errno, "Cannot create a temporary file in " + directory);
  }
#endif
  std::string pattern = directory + "/.output.txt.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int named = ::mkostemp(name.data(), O_CLOEXEC);
  if (named < 0) {
    posix::ThrowErrno(errno, "Cannot create a temporary file in " + directory);
  }
  ::unlink(name.data());
  return posix::Descriptor(named);
}

}  // namespace

CrLfFileOutput::CrLfFileOutput(const std::string& directory, std::size_t limit, std::size_t chunk)
    : file_(UnnamedTemporaryFile(directory)), limit_(limit), chunk_(chunk) {
  buffer_.resize(3 * chunk_);  // converted text (up to two chunks) before the received one
}

std::span<char> CrLfFileOutput::Room() { return {buffer_.data() + 2 * chunk_, chunk_}; }

bool CrLfFileOutput::Commit(std::size_t received) {
  std::size_t written = ConvertLineFeeds(buffer_.data() + 2 * chunk_, received, buffer_.data());
  const bool within = size_ + written <= limit_;
  if (!within) written = static_cast<std::size_t>(limit_ - size_);
  Write(buffer_.data(), written);
  return within;
}

void CrLfFileOutput::Append(std::string_view text) { Write(text.data(), text.size()); }

void CrLfFileOutput::Write(const char* data, std::size_t size) {
  if (size == 0) return;
  end_.append(data + (size > 2 ? size - 2 : 0), std::min<std::size_t>(size, 2));
  if (end_.size() > 2) end_.erase(0, end_.size() - 2);
  posix::WriteAll(file_.Get(), std::string_view(data, size), "Cannot write the temporary output file");
  size_ += static_cast<std::uint64_t>(size);
}

}  // namespace corvane
