#include "cipher/protection.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <vector>

#include "cipher/formats.h"
#include "cipher/support.h"

namespace corvane {

namespace {
std::mutex gProgressMutex;
TProgressEvent gProgressHandler;
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
  std::lock_guard lock(gProgressMutex);
  gProgressHandler = std::move(handler);
}

void ReportProgress(TProtection* sender, std::int32_t current, std::int32_t maximal) {
  TProgressEvent handler;
  {
    std::lock_guard lock(gProgressMutex);
    handler = gProgressHandler;
  }
  if (handler) handler(sender, current, maximal);
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
    std::fputs("Invalid pointer operation: a protection object was destroyed while another protection "
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
// Ends an action after a failure: the failure that is already on its way is the one the caller
// sees, so a second one from EndAction is dropped.
void EndAfterFailure(TProtection& self, TProtectionAction action) noexcept {
  try {
    self.EndAction(action);
  } catch (...) {
  }
}
}  // namespace

std::size_t TProtection::ProcessBuffer(std::uint8_t* buffer, std::size_t size, TProtectionAction action) {
  if (NoBytes(size)) size = 0;
  BeginAction(action);
  try {
    ProcessBlock(buffer, size, action);
  } catch (...) {
    EndAfterFailure(*this, action);
    throw;
  }
  EndAction(action);
  return size;
}

namespace {
std::int32_t Clamp32(std::int64_t v) {
  return std::int32_t(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}
}  // namespace

void TProtection::ProcessStream(TStream* source, TStream* dest, std::int64_t dataSize, TProtectionAction action) {
  if (source == nullptr) return;
  if (dest == nullptr) dest = source;
  if (dataSize < 0) {
    dataSize = source->Size();
    source->SetPosition(0);
  }
  BeginAction(action);
  const std::int64_t total = dataSize;
  // Runs on the way out, also after a failure; a failure of its own while another one travels
  // would end the process, so then only the first one goes on.
  struct Cleanup {
    TProtection* self;
    TProtectionAction action;
    std::vector<std::uint8_t>* buffer;
    int failuresBefore = std::uncaught_exceptions();
    ~Cleanup() noexcept(false) {
      if (std::uncaught_exceptions() > failuresBefore) {
        try {
          ReportProgress(self, 0, 0);
        } catch (...) {
        }
        SecureWipe(buffer->data(), buffer->size());
        EndAfterFailure(*self, action);
        return;
      }
      ReportProgress(self, 0, 0);
      SecureWipe(buffer->data(), buffer->size());
      self->EndAction(action);
    }
  };
  std::vector<std::uint8_t> buffer;
  ReportProgress(this, 0, Clamp32(total));
  {
    Cleanup cleanup{this, action, &buffer};
    buffer.assign(std::size_t(kChunk), 0);
    std::int64_t remaining = dataSize;
    std::int64_t writePos = dest->Position();
    std::int64_t readPos = source->Position();
    if (action == TProtectionAction::Digest) {
      while (remaining > 0) {
        const std::int64_t n = source->Read(buffer.data(), std::min(remaining, kChunk));
        if (n < 0) throw EProtection(kReadError);
        if (n == 0) break;
        ProcessBlock(buffer.data(), std::size_t(n), action);
        remaining -= n;
        ReportProgress(this, Clamp32(total - remaining), Clamp32(total));
      }
    } else {
      while (remaining > 0) {
        source->SetPosition(readPos);
        const std::int64_t n = source->Read(buffer.data(), std::min(remaining, kChunk));
        if (n < 0) throw EProtection(kReadError);
        if (n == 0) break;
        readPos = source->Position();
        ProcessBlock(buffer.data(), std::size_t(n), action);
        dest->SetPosition(writePos);
        if (dest->Write(buffer.data(), n) != n) throw EProtection(kWriteError);
        writePos = dest->Position();
        remaining -= n;
        ReportProgress(this, Clamp32(total - remaining), Clamp32(total));
      }
    }
  }
}

namespace {
// Two names are the same file when they are equal or name one existing file.
bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
}  // namespace

void TProtection::ProcessFile(const std::string& sourceName, const std::string& destName, TProtectionAction action) {
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
  try {
    ProcessStream(&*source, out, source->Size(), action);
  } catch (...) {
    if (dest) dest->SetSize(dest->Position());
    throw;
  }
  if (dest) dest->SetSize(dest->Position());
}

std::string TProtection::ProcessText(std::string_view text, TProtectionAction action, int formatId) {
  if (text.empty()) return {};
  std::string work = action == TProtectionAction::Decrypt ? ConvertFromText(text, formatId) : std::string(text);
  TMemoryStream stream(work);
  SecureWipe(work);
  stream.SetPosition(0);
  ProcessStream(&stream, &stream, stream.Size(), action);
  if (action == TProtectionAction::Decrypt) return stream.Bytes();
  return ConvertToText(stream.Bytes(), formatId);
}

}  // namespace corvane
