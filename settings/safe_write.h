// Whole-file replacement that never leaves a half-written file behind.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Replaces the file at `path` with `bytes`: writes a temporary file in the same directory, writes
// all of it, fsyncs it, then renames it over `path` and syncs the directory. A new file gets mode
// 0600 (settings files hold passwords); an existing file keeps its mode. A symbolic link is
// followed: the file it names is replaced (or created), and the link stays. A target that exists
// and is no regular file (a FIFO, a device) is refused.
//
// The temporary file is "." + the file name + ".corvane-save-" + six letters or digits, a name no
// other program makes, locked by the save for its whole life. Each save first removes the
// temporary files of that form for the same file that no save holds any more (left behind by a
// save that was interrupted); files of any other name (rsync's ".NAME.XXXXXX" among them) are
// never touched.
//
// On any failure the temporary file is removed, the old file stays byte-identical, and
// std::system_error is thrown with the text "Cannot create file \"<path>\"" and the reason.
void SafeWriteFile(const std::string& path, std::string_view bytes);

}  // namespace corvane
