/* The C interface of the shared library CorvaneDll (libCorvaneDll.so).
 *
 * Texts are NUL-terminated 8-bit byte strings; no character set is applied. A null pointer
 * argument reads as an empty text. Every result of execute and executeA is a buffer that the
 * library allocates (the text plus its NUL) and that the caller hands back to releasebuffer
 * exactly once. Failures come back as result texts; a null result means only that the result
 * buffer itself could not be allocated.
 *
 * protocol_index: 0 rexec, any other value rsh. data_dir: the directory that holds
 * CorvaneEnv.ini and CorvaneJob.ini (and receives output.txt), without a trailing separator.
 */
#ifndef CORVANE_REMOTE_CORVANE_DLL_H
#define CORVANE_REMOTE_CORVANE_DLL_H

#include <stdint.h>

#if defined(__GNUC__)
#define CORVANE_DLL_API __attribute__((visibility("default")))
#else
#define CORVANE_DLL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Runs the job on the calling thread and returns the remote output (every LF turned into CR LF)
 * or a result text. owner_window is the caller's top-level window id (0: none); the prompt for
 * flagged job variables is owned by it. */
CORVANE_DLL_API char* execute(const char* environment_name, const char* job_name, int32_t protocol_index,
                              const char* data_dir, uintptr_t owner_window);

/* Hands the job to a background worker that appends its block to data_dir/output.txt and returns
 * "0", or returns a result text. parameter_values: name=value pairs joined by "&". */
CORVANE_DLL_API char* executeA(const char* environment_name, const char* job_name, int32_t protocol_index,
                               const char* data_dir, const char* parameter_values);

/* Frees a result of execute or executeA; a null pointer does nothing. */
CORVANE_DLL_API void releasebuffer(char* buffer);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_REMOTE_CORVANE_DLL_H */
