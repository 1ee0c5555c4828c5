// Whole-file replacement that never leaves a half-written file behind.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Replaces the file at `path` with `bytes`: writes a temporary file in the same directory, writes
// all of it, fsyncs it, then renames it over `path` and syncs the directory. A new file gets mode
// 0600 (settings files hold passwords); an existing file keeps its mode. A symbolic link is
// followed: the file it names is replaced (or created), and the link stays.
//
// On any failure the temporary file is removed, the old file stays byte-identical, and
// std::system_error is thrown with the text "Cannot create file \"<path>\"" and the reason.
void SafeWriteFile(const std::string& path, std::string_view bytes);

}  // namespace corvane
