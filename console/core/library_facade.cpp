#include "console/core/library_facade.h"

#include <stdexcept>

namespace corvane {
namespace {

ResultBuffer Checked(LibraryFacade& library, char* buffer, const char* exportName) {
  ResultBuffer result(library, buffer);
  if (result.Empty()) {
    throw std::runtime_error(std::string("The library returned no result from ") + exportName);
  }
  return result;
}

}  // namespace

std::string ResultBuffer::Text() const { return buffer_ == nullptr ? std::string() : std::string(buffer_.get()); }

std::string LibraryFacade::Execute(const std::string& environment, const std::string& job,
                                   std::int32_t protocolIndex, const std::string& dataDir,
                                   std::uintptr_t ownerWindow) {
  return Checked(*this, execute(environment.c_str(), job.c_str(), protocolIndex, dataDir.c_str(), ownerWindow),
                 "execute")
      .Text();
}

std::string LibraryFacade::ExecuteA(const std::string& environment, const std::string& job,
                                    std::int32_t protocolIndex, const std::string& dataDir,
                                    const std::string& parameterValues) {
  return Checked(
             *this,
             executeA(environment.c_str(), job.c_str(), protocolIndex, dataDir.c_str(), parameterValues.c_str()),
             "executeA")
      .Text();
}

ExecuteResult RunExecute(LibraryFacade& library, const ExecuteRequest& request) {
  ExecuteResult result;
  if (request.background) {
    result.text = library.ExecuteA(request.environment, request.job, request.protocolIndex, request.dataDir, "");
    if (result.text == kHandedOverResult) result.text = std::string(kHandedOverText);
    return result;
  }
  result.text = library.Execute(request.environment, request.job, request.protocolIndex, request.dataDir,
                                request.ownerWindow);
  if (result.text.size() > kForegroundResultLimit) {
    result.text.resize(kForegroundResultLimit);
    result.cut = true;
  }
  return result;
}

}  // namespace corvane
