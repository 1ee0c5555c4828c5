// The C boundary of libCorvaneDll.so. Nothing thrown inside may cross it: every export catches
// everything and turns it into its result text.
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "remote/corvane_dll.h"
#include "remote/job_expansion.h"
#include "remote/qt_prompt.h"
#include "remote/result_text.h"
#include "remote/background_job_worker.h"

namespace {

// A result buffer holding `text`; null when out of memory.
char* NewResultBuffer(std::string_view text) noexcept {
  try {
    return corvane::ResultText(text).Release();
  } catch (...) {
    return nullptr;
  }
}

std::string Text(const char* argument) { return argument != nullptr ? std::string(argument) : std::string(); }

// Runs `body`, which returns a ResultText or a text, and hands its result over as a result
// buffer; whatever it throws becomes the result text.
template <typename Body>
char* Boundary(Body&& body) noexcept {
  try {
    auto result = body();
    if constexpr (std::is_same_v<decltype(result), corvane::ResultText>) {
      return result.Release();
    } else {
      return NewResultBuffer(result);
    }
  } catch (const std::exception& e) {
    return NewResultBuffer(e.what());
  } catch (...) {
    return NewResultBuffer("Unknown failure");
  }
}

}  // namespace

extern "C" CORVANE_DLL_API char* execute(const char* environment_name, const char* job_name,
                                         int32_t protocol_index, const char* data_dir, uintptr_t owner_window) {
  return Boundary([&] {
    corvane::QtRunUi ui(owner_window);
    const corvane::JobCall call{Text(environment_name), Text(job_name), protocol_index, Text(data_dir)};
    return corvane::ExecuteJobResult(call, ui);
  });
}

extern "C" CORVANE_DLL_API char* executeA(const char* environment_name, const char* job_name,
                                          int32_t protocol_index, const char* data_dir,
                                          const char* parameter_values) {
  return Boundary([&] {
    const corvane::JobCall call{Text(environment_name), Text(job_name), protocol_index, Text(data_dir)};
    return corvane::StartJob(call, Text(parameter_values), [](corvane::RunRequest request) {
      corvane::BackgroundJobWorker::Start(std::make_unique<corvane::BackgroundJobWorker>(std::move(request)));
    });
  });
}

extern "C" CORVANE_DLL_API void releasebuffer(char* buffer) { corvane::ResultText::Free(buffer); }
