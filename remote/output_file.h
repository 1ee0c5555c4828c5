// The output file of the background runs: "output.txt" in the data directory, one block per run.
//
// Blocks are 8-bit text with CR LF line ends:
//   37 "*"  /  date-time text  /  "Command: " command  /  "Host: " host  /  37 "-"  /  "Result: "
//   /  the result (line feeds already CR LF)  /  37 "*"  /  an empty line
//
// The file holds whole blocks only:
// - Appends are serialised twice: a process-wide mutex between the workers of this process and an
//   exclusive flock() against other processes. A writer waits for the file rather than dropping
//   its block.
// - Under the lock, before it writes, a writer records what it is about to write in the side file
//   "." + name + ".append" beside the file's real name (found from the opened file, whatever link
//   it was opened through): the file (device and inode), the length it starts from, the length it
//   will end at, and the block itself (its head and tail in the record, its output, when that is
//   in a file, in "." + name + ".append.body"). The record is removed once the block is whole.
//   A writer that finds a record left behind by a writer that died (kill -9, power off of the
//   process) cuts the file back to the recorded start only when the record names the opened
//   file, the file's length lies strictly between the recorded start and end, and the file from
//   the start on is byte for byte the beginning of the recorded block (a block starts with its
//   first line): that is the dead writer's own fragment, unchanged since. Anything else (a record
//   made by hand, a file edited or shared since) leaves the file alone; the record is dropped in
//   every case. Where no record can be written (a directory that takes no new file), the block
//   is appended without one.
// - The file is opened only when it is a regular file (also through a link); a new one is made
//   readable and writable by its owner only, as is the record. A device, a FIFO or anything else
//   is refused before it is opened for writing, and the block is not written.
// - A block that cannot be written whole (full disk) is taken back at once.
// - A process that ends normally (exit(), return from main) waits, at most kExitWait, for the
//   appends in progress to finish; appends that would start after that are dropped.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

inline constexpr std::string_view kOutputFileName = "output.txt";
inline constexpr std::string_view kOutputRecordFileName = ".output.txt.append";
inline constexpr std::string_view kOutputBlockStars = "*************************************";
inline constexpr std::string_view kOutputBlockRule = "-------------------------------------";
inline constexpr std::chrono::seconds kExitWait{20};

// `data_dir` + "/output.txt".
std::string OutputFilePath(std::string_view data_dir);

// Lines 1 to 6 of a block.
std::string FormatOutputBlockHead(std::string_view date_time_text, std::string_view command,
                                  std::string_view host);
// What follows the result: its CR LF, the closing row of asterisks and the empty line.
std::string OutputBlockTail();
// The whole block. `result` is line 7 as it is to appear (the converted output or a failure's
// message); its own CR LF is added here.
std::string FormatOutputBlock(std::string_view date_time_text, std::string_view command, std::string_view host,
                              std::string_view result);

// The layout of the record file: this header, the block's first `frontSize` bytes and its last
// `backSize` bytes; the `bodySize` bytes between them are in the body file.
struct OutputAppendRecord {
  char magic[8];
  std::uint64_t device;
  std::uint64_t inode;
  std::uint64_t start;
  std::uint64_t end;
  std::uint64_t frontSize;
  std::uint64_t bodySize;
  std::uint64_t backSize;
};
inline constexpr char kOutputRecordMagic[8] = {'C', 'o', 'r', 'v', 'A', 'p', 'p', '2'};

// Appends `block` to the file at `path`, creating it (mode 0600) when missing.
// Throws std::system_error when the file cannot be opened, locked or written; a block that could
// not be written whole is taken back, so the file keeps exactly its earlier content.
void AppendOutputBlock(const std::string& path, std::string_view block);
// The same for a block made of `head`, `body_size` bytes read from `body_fd` at offset 0, and
// `tail`.
void AppendOutputBlock(const std::string& path, std::string_view head, int body_fd, std::uint64_t body_size,
                       std::string_view tail);

// The same for a block made of `head`, `body` and `tail`.
void AppendOutputBlock(const std::string& path, std::string_view head, std::string_view body,
                       std::string_view tail);

// Lets no append start any more and waits, at most kExitWait, for those in progress. The normal
// end of the process calls it; a later call returns at once.
void EndAppendsForExit() noexcept;

// Appends that have started and not finished in this process.
int AppendsInProgress() noexcept;

}  // namespace corvane
