#include "remote/result_text.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>
#include <utility>

#include "remote/never_destroyed.h"

namespace corvane {

namespace {

// From this size on a buffer lives in a mapping of its own.
constexpr std::size_t kMappedFrom = 1024 * 1024;
// Mappings grow in steps of whole huge pages.
constexpr std::size_t kHugePage = 2 * 1024 * 1024;

std::size_t RoundUp(std::size_t value, std::size_t step) noexcept { return (value + step - 1) / step * step; }

std::size_t PageSize() noexcept {
  static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

// The mapping of the buffer released last, kept for the next large result: its pages are already
// there, so the next run neither faults them in nor has them zeroed. The kernel may take the
// pages back at any time (MADV_FREE); a page it took comes back zeroed on the next write. Never
// destroyed: buffers may be freed while the process runs its exit handlers.
struct SpareMapping {
  std::mutex mutex;
  void* memory = nullptr;
  std::size_t bytes = 0;
};

SpareMapping& Spare() {
  // In static storage and never destroyed: no heap block that a leak checker could see orphaned
  // once the library is unloaded.
  alignas(SpareMapping) static unsigned char storage[sizeof(SpareMapping)];
  static SpareMapping* const spare = new (storage) SpareMapping;
  return *spare;
}

// Takes the spare mapping when it holds at least `bytes`; null otherwise.
void* TakeSpare(std::size_t bytes, std::size_t& taken_bytes) noexcept {
  SpareMapping& spare = Spare();
  std::lock_guard lock(spare.mutex);
  if (spare.memory == nullptr || spare.bytes < bytes) return nullptr;
  taken_bytes = std::exchange(spare.bytes, 0);
  return std::exchange(spare.memory, nullptr);
}

// Keeps a released mapping as the spare (the earlier spare goes back to the system).
void KeepAsSpare(void* memory, std::size_t bytes) noexcept {
#ifdef MADV_FREE
  if (::madvise(memory, bytes, MADV_FREE) == 0) {
    SpareMapping& spare = Spare();
    void* old = nullptr;
    std::size_t old_bytes = 0;
    {
      std::lock_guard lock(spare.mutex);
      old = std::exchange(spare.memory, memory);
      old_bytes = std::exchange(spare.bytes, bytes);
    }
    if (old != nullptr) ::munmap(old, old_bytes);
    return;
  }
#endif
  ::munmap(memory, bytes);
}

// The texts handed out by Release() and not yet given back. Free() looks a pointer up here before
// it touches any memory: the header in front of a text that was given back already (its heap
// block freed, its mapping unmapped or serving another result) or of a pointer this library never
// handed out cannot be read safely, let alone trusted. Never destroyed, like the spare mapping; it
// holds no heap memory while no text is out, so unloading the library orphans nothing.
struct HandedOutTexts {
  std::mutex mutex;
  std::unordered_set<const char*> texts;
};

HandedOutTexts& HandedOut() { return NeverDestroyed<HandedOutTexts>(); }

// Records a text as handed out. Throws std::bad_alloc.
void NoteHandedOut(const char* text) {
  HandedOutTexts& handed_out = HandedOut();
  std::lock_guard lock(handed_out.mutex);
  handed_out.texts.insert(text);
}

// Takes a text off the record; false when it is not there (given back already, or never out).
bool TakeBack(const char* text) noexcept {
  HandedOutTexts& handed_out = HandedOut();
  std::lock_guard lock(handed_out.mutex);
  if (handed_out.texts.erase(text) == 0) return false;
  if (handed_out.texts.empty()) std::unordered_set<const char*>().swap(handed_out.texts);  // its buckets go too
  return true;
}

void AskForHugePages([[maybe_unused]] void* memory, [[maybe_unused]] std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
  ::madvise(memory, bytes, MADV_HUGEPAGE);  // a hint: without it the pages are merely smaller
#endif
}

}  // namespace

ResultText::ResultText(std::string_view text) {
  Reserve(text.size());
  if (!text.empty()) std::memcpy(text_, text.data(), text.size());
  size_ = text.size();
}

ResultText::~ResultText() { Reset(); }

ResultText::ResultText(ResultText&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)),
      text_(std::exchange(other.text_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      size_(std::exchange(other.size_, 0)) {}

ResultText& ResultText::operator=(ResultText&& other) noexcept {
  if (this != &other) {
    Reset();
    block_ = std::exchange(other.block_, nullptr);
    text_ = std::exchange(other.text_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void ResultText::Reset() noexcept {
  if (block_ != nullptr) FreeBlock(block_);
  block_ = nullptr;
  text_ = nullptr;
  capacity_ = 0;
  size_ = 0;
}

void ResultText::Reserve(std::size_t capacity) {
  if (block_ != nullptr && capacity <= capacity_) return;
  if (capacity > (std::size_t{1} << 46)) throw std::bad_alloc();
  std::size_t wanted = capacity;
  if (block_ != nullptr && wanted < capacity_ * 2) wanted = capacity_ * 2;
  std::size_t bytes = sizeof(Header) + wanted + 1;

  if (bytes < kMappedFrom) {
    void* memory = std::realloc(block_, bytes);
    if (memory == nullptr) throw std::bad_alloc();
    block_ = static_cast<Header*>(memory);
    block_->mappedBytes = 0;
  } else {
    bytes = RoundUp(bytes, kHugePage);
    void* memory = nullptr;
    if (block_ != nullptr && block_->mappedBytes != 0) {
      // The pages move to their new place without being copied or touched.
      memory = ::mremap(block_, block_->mappedBytes, bytes, MREMAP_MAYMOVE);
      if (memory == MAP_FAILED) throw std::bad_alloc();
    } else {
      std::size_t spare_bytes = 0;
      memory = TakeSpare(bytes, spare_bytes);
      if (memory != nullptr) {
        bytes = spare_bytes;
      } else {
        memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) throw std::bad_alloc();
      }
      if (block_ != nullptr) {  // from the heap into the first mapping: copied once, at most 1 MiB
        std::memcpy(static_cast<Header*>(memory) + 1, text_, size_);
        std::free(block_);
      }
    }
    AskForHugePages(memory, bytes);
    block_ = static_cast<Header*>(memory);
    block_->mappedBytes = bytes;
  }
  block_->unused = 0;
  text_ = reinterpret_cast<char*>(block_ + 1);
  capacity_ = bytes - sizeof(Header) - 1;
}

void ResultText::Append(std::string_view text) {
  if (text.empty()) return;
  Reserve(size_ + text.size());
  std::memcpy(text_ + size_, text.data(), text.size());
  size_ += text.size();
}

char* ResultText::Release() {
  Reserve(size_);  // an empty object gets its memory here
  if (block_->mappedBytes != 0) {
    const std::size_t needed = RoundUp(sizeof(Header) + size_ + 1, PageSize());
    if (needed < block_->mappedBytes) {
      // Shrinking in place never moves the mapping; the pages past the text go back.
      if (::mremap(block_, block_->mappedBytes, needed, 0) != MAP_FAILED) block_->mappedBytes = needed;
    }
  }
  text_[size_] = '\0';
  NoteHandedOut(text_);
  char* text = text_;
  block_ = nullptr;
  text_ = nullptr;
  capacity_ = 0;
  size_ = 0;
  return text;
}

void ResultText::Free(char* text) noexcept {
  if (text == nullptr) return;
  if (!TakeBack(text)) {
    std::fprintf(stderr,
                 "CorvaneDll: releasebuffer ignored %p: it is no result buffer in use (released already, "
                 "or never handed out by the library)\n",
                 static_cast<void*>(text));
    return;
  }
  FreeBlock(reinterpret_cast<Header*>(text) - 1);
}

void ResultText::FreeBlock(Header* block) noexcept {
  if (block->mappedBytes != 0) {
    KeepAsSpare(block, block->mappedBytes);
  } else {
    std::free(block);
  }
}

}  // namespace corvane
