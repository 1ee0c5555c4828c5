// Seekable byte streams for the protection entry points: an in-memory stream and a file stream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "posix/descriptor.h"

namespace corvane {

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes at the current position; gives the number read (0 at the end, a
  // negative number for a failed read).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes count bytes at the current position, growing the stream as needed; gives the number
  // written (fewer than count means the write failed).
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Position() const = 0;
  virtual void SetPosition(std::int64_t position) = 0;
  virtual std::int64_t Size() const = 0;
  virtual void SetSize(std::int64_t size) = 0;
};

class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view bytes) : data_(bytes) {}
  ~TMemoryStream() override;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Position() const override { return pos_; }
  void SetPosition(std::int64_t position) override { pos_ = position < 0 ? 0 : position; }
  std::int64_t Size() const override { return std::int64_t(data_.size()); }
  void SetSize(std::int64_t size) override;
  const std::string& Bytes() const { return data_; }

 private:
  std::string data_;
  std::int64_t pos_ = 0;
};

// A file opened through the platform; failures raise std::system_error with the file's name.
class TFileStream final : public TStream {
 public:
  enum class Mode { ReadOnly, ReadWrite, Create };
  TFileStream(const std::string& name, Mode mode);
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Position() const override;
  void SetPosition(std::int64_t position) override;
  std::int64_t Size() const override;
  void SetSize(std::int64_t size) override;

 private:
  posix::Descriptor fd_;
  std::string name_;
};

}  // namespace corvane
