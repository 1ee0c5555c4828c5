// The binding to libCorvaneDll.so: its three exports, resolved by the loader when the program
// starts.  Only the program (and the tests that run the real library) link this file.
#include "console/core/library_facade.h"

#include "remote/corvane_dll.h"

namespace corvane {
namespace {

class CorvaneDllFacade final : public LibraryFacade {
 public:
  char* execute(const char* EnvironmentName, const char* JobName, std::int32_t ProtocolIndex, const char* DataDir,
                std::uintptr_t OwnerWindow) override {
    return ::execute(EnvironmentName, JobName, ProtocolIndex, DataDir, OwnerWindow);
  }
  char* executeA(const char* EnvironmentName, const char* JobName, std::int32_t ProtocolIndex, const char* DataDir,
                 const char* ParameterValues) override {
    return ::executeA(EnvironmentName, JobName, ProtocolIndex, DataDir, ParameterValues);
  }
  void releasebuffer(char* buffer) override { ::releasebuffer(buffer); }
};

}  // namespace

std::unique_ptr<LibraryFacade> MakeCorvaneDllFacade() { return std::make_unique<CorvaneDllFacade>(); }

}  // namespace corvane
