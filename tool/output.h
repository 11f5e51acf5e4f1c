// Where a command writes a file, and what happens when it is stopped while
// writing: an output never harms an input. See doc/edog-tool.md.
#ifndef TOOL_OUTPUT_H
#define TOOL_OUTPUT_H

#include <string>
#include <string_view>
#include <vector>

namespace edog_tool {

// The file to write for the output `path`, checked before the command reads
// or writes anything:
// - a symbolic link is followed: its target is replaced (whole, through a
//   temporary file beside it) and the link stays;
// - an output that exists and is not a regular file (a device, a FIFO, a
//   folder) is refused;
// - an output that is the same file as one of `inputs` (same device and
//   inode, links followed) is refused.
// Temporary files of the same output left by an earlier write whose process
// is gone (killed) are removed. Fails with a Failure naming `path`.
std::string checked_output(const std::string& path, const std::vector<std::string>& inputs);

// Writes `bytes` as the whole file `target` (checked_output's answer for
// the output `named`) through a temporary file beside it, or leaves it as it
// was and fails: "NAMED: cannot be written: CAUSE" and `consequence`.
void write_whole(const std::string& target, std::string_view bytes, const std::string& named,
                 const std::string& consequence = "");

// From now on SIGINT, SIGTERM and SIGHUP remove the temporary file being
// written, if any, and end the process with status 128 + the signal (130,
// 143, 129).
void remove_temporaries_on_signals();

}  // namespace edog_tool

#endif  // TOOL_OUTPUT_H
