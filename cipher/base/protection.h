// The protection base: one vocabulary of actions for every hash, MAC and cipher, chaining of one
// protection to another, and the buffer, stream, file and text entry points that drive the three
// hooks an algorithm supplies (BeginAction, ProcessBlock, EndAction).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cipher/base/streams.h"

namespace corvane {

enum class TProtectionAction : std::uint8_t { Encrypt = 0, Decrypt = 1, Obscure = 2, Digest = 3, Erase = 4 };

// A set of actions in one byte; bit n stands for the action of value n.
using TActionSet = std::uint8_t;
inline constexpr TActionSet kAllActions = 31;
constexpr TActionSet ActionBit(TProtectionAction a) { return TActionSet(1u << unsigned(a)); }
constexpr bool InSet(TActionSet set, TProtectionAction a) { return (set & ActionBit(a)) != 0; }

// A byte count of 0 or less. Lengths travel as std::size_t; a negative count that a caller passes
// arrives as a value beyond the largest signed count, and like 0 it means there is nothing to do.
// One comparison: 0 wraps around to the largest value.
constexpr bool NoBytes(std::size_t size) {
  return size - 1 >= std::size_t(std::numeric_limits<std::ptrdiff_t>::max());
}
static_assert(NoBytes(0) && !NoBytes(1) && !NoBytes(std::size_t(std::numeric_limits<std::ptrdiff_t>::max())) &&
              NoBytes(std::size_t(std::numeric_limits<std::ptrdiff_t>::max()) + 1) && NoBytes(std::size_t(-1)));

class EProtection : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Class descriptor: the class name and its parent; hashes and ciphers extend it.
struct ClassInfo {
  const char* name;
  const ClassInfo* parent;
};
// True when cls is base or derives from it.
bool InheritsFrom(const ClassInfo* cls, const ClassInfo& base);

class TProtection;

// The process-wide progress handler; nothing in the library sets it.
using TProgressEvent = std::function<void(TProtection* sender, std::int32_t current, std::int32_t maximal)>;
void SetProgressHandler(TProgressEvent handler);
void ReportProgress(TProtection* sender, std::int32_t current, std::int32_t maximal);

// Ownership of a protection object. The creator owns it through Owned<T>; a chained protection is
// kept alive by the links that hold it. When the owner lets go while links still hold the object,
// the last link destroys it; when the last link lets go of an object nobody owns, it is destroyed.
// An object that ends any other way (a scope, delete) while a link still holds it stops the
// process with a message: the link would otherwise lead to freed memory.
struct ProtectionDeleter {
  void operator()(TProtection* p) const;
};
template <class T>
using Owned = std::unique_ptr<T, ProtectionDeleter>;

template <class T, class... Args>
Owned<T> Make(Args&&... args) {
  return Owned<T>(new T(std::forward<Args>(args)...));
}

class TProtection {
 public:
  explicit TProtection(TProtection* chained = nullptr);
  virtual ~TProtection();
  TProtection(const TProtection&) = delete;
  TProtection& operator=(const TProtection&) = delete;

  static const ClassInfo& StaticClass();
  virtual const ClassInfo& Class() const { return StaticClass(); }
  const char* ClassName() const { return Class().name; }
  bool IsA(const ClassInfo& base) const { return InheritsFrom(&Class(), base); }

  // Explicit destruction by the owner: refused with "Invalid pointer operation" while the
  // object is still another protection's chained protection; the object then stays unchanged.
  template <class T>
  static void Free(Owned<T>& p) {
    if (p && p->RefCount() != 0) throw EProtection("Invalid pointer operation");
    p.reset();
  }

  // Links held on this object by other protections.
  std::int32_t RefCount() const { return refs_.load(); }

  TProtection* ChainedProtection() const { return chained_; }
  // Links P (the caller keeps ownership; P lives at least as long as the link).
  void SetChainedProtection(TProtection* p);
  // Links P and hands its ownership to the link: P dies when the last link lets go.
  template <class T>
  void SetChainedProtection(Owned<T>&& p) {
    TProtection* raw = p.get();
    SetChainedProtection(raw);  // may throw: then p still owns the object
    p.release();
    if (raw) raw->owned_ = false;
  }

  TActionSet Actions = kAllActions;

  virtual void BeginAction(TProtectionAction action);
  virtual void EndAction(TProtectionAction action);
  virtual void ProcessBlock(std::uint8_t* data, std::size_t size, TProtectionAction action);
  virtual void ProcessStream(TStream* source, TStream* dest, std::int64_t dataSize, TProtectionAction action);
  virtual void ProcessFile(const std::string& sourceName, const std::string& destName, TProtectionAction action);
  virtual std::string ProcessText(std::string_view text, TProtectionAction action, int formatId);
  virtual std::size_t ProcessBuffer(std::uint8_t* buffer, std::size_t size, TProtectionAction action);

 private:
  friend struct ProtectionDeleter;
  void AddRef() { refs_.fetch_add(1); }
  void ReleaseRef();

  std::atomic<std::int32_t> refs_{0};
  bool owned_ = true;  // an owner (Owned<T> or a plain scope) still holds the object
  TProtection* chained_ = nullptr;
};

}  // namespace corvane
