// The text buffers that the library's run exports hand to their callers.
//
// A result buffer holds 8-bit text followed by a NUL. Small results live on the heap; a large one
// lives in an anonymous mapping that grows by remapping its pages (never copying them) and asks
// for huge pages, so that hundreds of MiB of output cost neither copies nor a page fault per
// 4 KiB. A small header in front of the text records which kind of memory it is, so that Free()
// (the body of releasebuffer) gives back either kind; Free() takes back only texts that are out,
// and ignores and reports a second release or a pointer never handed out. The mapping freed last
// is kept, its pages left for the kernel to take back whenever it needs them (MADV_FREE), and
// serves the next large result, which then finds its pages in place instead of faulting in and
// zeroing them again.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvane {

class ResultText {
 public:
  ResultText() noexcept = default;
  // A copy of `text`.
  explicit ResultText(std::string_view text);
  ~ResultText();
  ResultText(ResultText&& other) noexcept;
  ResultText& operator=(ResultText&& other) noexcept;
  ResultText(const ResultText&) = delete;
  ResultText& operator=(const ResultText&) = delete;

  char* Data() noexcept { return text_; }
  const char* Data() const noexcept { return text_; }
  std::size_t Size() const noexcept { return size_; }
  // Bytes that fit without growing (the NUL has a place of its own beyond them).
  std::size_t Capacity() const noexcept { return capacity_; }
  std::string_view View() const noexcept { return {text_, size_}; }

  // Makes room for at least `capacity` bytes; keeps the content, but Data() may move. Throws
  // std::bad_alloc when the memory cannot be had.
  void Reserve(std::size_t capacity);
  // Sets the size; `size` must not exceed Capacity(). The bytes up to it are the caller's.
  void SetSize(std::size_t size) noexcept { size_ = size; }
  void Append(std::string_view text);

  // Hands the text with its NUL to a caller, who gives it back through Free(). Unused room of a
  // large buffer is returned to the system first. Throws std::bad_alloc (the object then keeps
  // its text).
  char* Release();
  // Frees a text that Release() handed out; null does nothing. A text given back already, or a
  // pointer that Release() never handed out, is ignored (its memory is not touched) and reported
  // on stderr.
  static void Free(char* text) noexcept;

 private:
  struct Header {
    std::size_t mappedBytes;  // 0: heap memory
    std::size_t unused;       // keeps the text 16-byte aligned
  };
  void Reset() noexcept;
  static void FreeBlock(Header* block) noexcept;

  Header* block_ = nullptr;
  char* text_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

}  // namespace corvane
