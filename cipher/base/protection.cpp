#include "cipher/base/protection.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>

#include "cipher/formats/formats.h"
#include "cipher/base/support.h"

namespace corvane {

namespace {
std::mutex gProgressMutex;
// The handler is shared, so that a report copies a pointer rather than the handler itself; the
// flag lets a report without a handler (the usual case) return without taking the lock.
std::shared_ptr<const TProgressEvent> gProgressHandler;
std::atomic<bool> gProgressHandlerSet{false};
constexpr std::int64_t kChunk = 4096;
// Only a read of 0 bytes (the end of the stream) ends the stream loop quietly.
constexpr const char* kReadError = "Stream read error.";
constexpr const char* kWriteError = "Stream write error.";
}  // namespace

bool InheritsFrom(const ClassInfo* cls, const ClassInfo& base) {
  for (const ClassInfo* c = cls; c != nullptr; c = c->parent)
    if (c == &base) return true;
  return false;
}

void SetProgressHandler(TProgressEvent handler) {
  std::shared_ptr<const TProgressEvent> next;
  if (handler) next = std::make_shared<const TProgressEvent>(std::move(handler));
  {
    std::lock_guard lock(gProgressMutex);
    gProgressHandler.swap(next);
    gProgressHandlerSet.store(gProgressHandler != nullptr, std::memory_order_release);
  }
  // The previous handler ends here, outside the lock.
}

void ReportProgress(TProtection* sender, std::int32_t current, std::int32_t maximal) {
  if (!gProgressHandlerSet.load(std::memory_order_acquire)) return;
  std::shared_ptr<const TProgressEvent> handler;
  {
    std::lock_guard lock(gProgressMutex);
    handler = gProgressHandler;
  }
  if (handler) (*handler)(sender, current, maximal);
}

void ProtectionDeleter::operator()(TProtection* p) const {
  if (p == nullptr) return;
  if (p->refs_.load() == 0) {
    delete p;
  } else {
    p->owned_ = false;  // the last link that lets go destroys it
  }
}

const ClassInfo& TProtection::StaticClass() {
  static const ClassInfo info{"TProtection", nullptr};
  return info;
}

TProtection::TProtection(TProtection* chained) { SetChainedProtection(chained); }

TProtection::~TProtection() {
  if (refs_.load() != 0) {
    // Another protection still links to this object and would go on using freed memory: no
    // way back from a destructor, so stop here rather than later somewhere unrelated.
    std::fputs(
        "Invalid pointer operation: a protection object was destroyed while another protection "
        "still links to it (clear the link first, or let its Owned handle go)\n",
        stderr);
    std::abort();
  }
  TProtection* old = chained_;
  chained_ = nullptr;
  if (old) old->ReleaseRef();
}

void TProtection::ReleaseRef() {
  if (refs_.fetch_sub(1) == 1 && !owned_) delete this;
}

void TProtection::SetChainedProtection(TProtection* p) {
  if (p == chained_) return;
  for (const TProtection* q = p; q != nullptr; q = q->chained_)
    if (q == this) throw EProtection("Circular Protection detected, Protection Object is invalid.");
  if (p) p->AddRef();
  TProtection* old = chained_;
  chained_ = p;
  if (old) old->ReleaseRef();
}

void TProtection::BeginAction(TProtectionAction action) {
  if (chained_) chained_->BeginAction(action);
}

void TProtection::EndAction(TProtectionAction action) {
  if (chained_) chained_->EndAction(action);
}

void TProtection::ProcessBlock(std::uint8_t* data, std::size_t size, TProtectionAction action) {
  if (NoBytes(size)) size = 0;
  if (chained_) chained_->ProcessBlock(data, size, action);
}

namespace {
// The one clean-up rule of the entry points: the closing steps of a piece of work, run on every
// way out. The normal way out calls Close(), which runs them in order; a failing step ends the
// clean-up there and travels on. Any other way out (a failure of the work) runs every step from
// the destructor, each on its own, and drops their failures: the failure already on its way is
// the one the caller sees. Steps that cannot fail may be left to the destructor on every way out.
template <class... Steps>
class Closing {
 public:
  explicit Closing(Steps... steps) : steps_(std::move(steps)...) {}
  Closing(const Closing&) = delete;
  Closing& operator=(const Closing&) = delete;
  ~Closing() {
    if (!closed_) std::apply([](Steps&... steps) { (Quietly(steps), ...); }, steps_);
  }

  void Close() {
    closed_ = true;
    std::apply([](Steps&... steps) { (steps(), ...); }, steps_);
  }

 private:
  template <class Step>
  static void Quietly(Step& step) noexcept {
    try {
      step();
    } catch (...) {
    }
  }

  std::tuple<Steps...> steps_;
  bool closed_ = false;
};
}  // namespace

std::size_t TProtection::ProcessBuffer(std::uint8_t* buffer, std::size_t size, TProtectionAction action) {
  if (NoBytes(size)) size = 0;
  BeginAction(action);
  Closing closing([&] { EndAction(action); });
  ProcessBlock(buffer, size, action);
  closing.Close();
  return size;
}

namespace {
std::int32_t Clamp32(std::int64_t v) { return std::int32_t(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); }
}  // namespace

namespace {
// The run of an action over data in chunks of at most kChunk bytes, shared by the stream and the
// text entry points: BeginAction, a progress report before the first chunk and after each one,
// and on the way out (also after a failure) the wipe of the working memory the chunks went
// through, the closing report and EndAction. step(want) does one chunk of want bytes at most and
// gives the bytes done (0: the data ended early); `wipe` and `wipeSize` name the memory to wipe.
template <class Step>
void RunInChunks(TProtection& self, TProtectionAction action, std::int64_t total, std::uint8_t* wipe,
                 const std::size_t& wipeSize, Step&& step) {
  self.BeginAction(action);
  ReportProgress(&self, 0, Clamp32(total));
  Closing closing([&] { SecureWipe(wipe, wipeSize); }, [&] { ReportProgress(&self, 0, 0); },
                  [&] { self.EndAction(action); });
  std::int64_t remaining = total;
  while (remaining > 0) {
    const std::int64_t n = step(std::min(remaining, kChunk));
    if (n == 0) break;
    remaining -= n;
    ReportProgress(&self, Clamp32(total - remaining), Clamp32(total));
  }
  closing.Close();
}
}  // namespace

void TProtection::ProcessStream(TStream* source, TStream* dest, std::int64_t dataSize, TProtectionAction action) {
  if (source == nullptr) return;
  if (dest == nullptr) dest = source;
  if (dataSize < 0) {
    dataSize = source->Size();
    source->SetPosition(0);
  }
  // The chunks pass through this buffer; only the part they used is wiped afterwards.
  std::uint8_t buffer[kChunk];
  std::size_t used = 0;
  std::int64_t writePos = dest->Position(), readPos = source->Position();
  RunInChunks(*this, action, dataSize, buffer, used, [&](std::int64_t want) -> std::int64_t {
    if (action != TProtectionAction::Digest) source->SetPosition(readPos);
    used = std::max(used, std::size_t(want));
    const std::int64_t n = source->Read(buffer, want);
    if (n < 0) throw EProtection(kReadError);
    if (n == 0) return 0;
    if (action == TProtectionAction::Digest) {
      ProcessBlock(buffer, std::size_t(n), action);
      return n;
    }
    readPos = source->Position();
    ProcessBlock(buffer, std::size_t(n), action);
    dest->SetPosition(writePos);
    if (dest->Write(buffer, n) != n) throw EProtection(kWriteError);
    writePos = dest->Position();
    return n;
  });
}

namespace {
// Two names are the same file when they are equal or name one existing file.
bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
}  // namespace

void TProtection::ProcessFile(const std::string& sourceName, const std::string& destName,
                              TProtectionAction action) {
  std::optional<TFileStream> source;
  std::optional<TFileStream> dest;
  if (SameFile(sourceName, destName)) {
    source.emplace(sourceName, TFileStream::Mode::ReadWrite);
  } else if (!Trim(destName).empty() || action == TProtectionAction::Digest) {
    source.emplace(sourceName, TFileStream::Mode::ReadOnly);
    if (action != TProtectionAction::Digest) dest.emplace(destName, TFileStream::Mode::Create);
  } else {
    source.emplace(sourceName, TFileStream::Mode::ReadWrite);
  }
  TStream* out = dest ? static_cast<TStream*>(&*dest) : static_cast<TStream*>(&*source);
  source->SetPosition(0);
  // A destination file ends where the output ended, also after a failure.
  Closing closing([&] {
    if (dest) dest->SetSize(dest->Position());
  });
  ProcessStream(&*source, out, source->Size(), action);
  closing.Close();
}

std::string TProtection::ProcessText(std::string_view text, TProtectionAction action, int formatId) {
  if (text.empty()) return {};
  std::string work = action == TProtectionAction::Decrypt ? ConvertFromText(text, formatId) : std::string(text);
  // The working copy holds the plain bytes (before encryption, after decryption): wiped on every
  // way out, after the result is made.
  Closing wipeWork([&] { SecureWipe(work); });
  auto* const data = reinterpret_cast<std::uint8_t*>(work.data());
  const std::int64_t total = std::int64_t(work.size());
  std::int64_t done = 0;
  if (action == TProtectionAction::Digest) {
    // A digest leaves the bytes as they are: each chunk goes to the hooks as a copy.
    std::uint8_t buffer[kChunk];
    std::size_t used = 0;
    RunInChunks(*this, action, total, buffer, used, [&](std::int64_t want) {
      used = std::max(used, std::size_t(want));
      std::memcpy(buffer, data + done, std::size_t(want));
      ProcessBlock(buffer, std::size_t(want), action);
      done += want;
      return want;
    });
  } else {
    // The other actions change the bytes in place, chunk by chunk.
    const std::size_t nothingToWipe = 0;
    RunInChunks(*this, action, total, nullptr, nothingToWipe, [&](std::int64_t want) {
      ProcessBlock(data + done, std::size_t(want), action);
      done += want;
      return want;
    });
  }
  if (action == TProtectionAction::Decrypt) return std::string(work);  // a copy: the working one is wiped
  return ConvertToText(work, formatId);
}

}  // namespace corvane
