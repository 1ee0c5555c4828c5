// The output file of the background runs: "output.txt" in the data directory, one block per run.
//
// Blocks are 8-bit text with CR LF line ends:
//   37 "*"  /  date-time text  /  "Command: " command  /  "Host: " host  /  37 "-"  /  "Result: "
//   /  the result (line feeds already CR LF)  /  37 "*"  /  an empty line
// Appends are serialised twice: a process-wide mutex between the workers of this process and an
// exclusive flock() against other processes. A writer waits for the file rather than dropping its
// block, and a block is written whole or not at all.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

inline constexpr std::string_view kOutputFileName = "output.txt";
inline constexpr std::string_view kOutputBlockStars = "*************************************";
inline constexpr std::string_view kOutputBlockRule = "-------------------------------------";

// `data_dir` + "/output.txt".
std::string OutputFilePath(std::string_view data_dir);

// The whole block. `result` is line 7 as it is to appear (the converted output or a failure's
// message); its own CR LF is added here.
std::string FormatOutputBlock(std::string_view date_time_text, std::string_view command,
                              std::string_view host, std::string_view result);

// Appends `block` to the file at `path`, creating it (mode 0644 less the umask) when missing.
// Waits for the process-wide lock and for the file lock. Throws std::system_error when the file
// cannot be opened, locked or written; a block that could not be written whole is taken back, so
// the file keeps exactly its earlier content.
void AppendOutputBlock(const std::string& path, std::string_view block);

}  // namespace corvane
