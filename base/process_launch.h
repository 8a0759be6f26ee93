#ifndef BASE_PROCESS_LAUNCH_H_
#define BASE_PROCESS_LAUNCH_H_

#include <windows.h>

namespace base {

class CommandLine;

struct StartOptions {
  // Return only after the started program has ended (no time limit).
  bool wait = false;
  // Start with SW_HIDE instead of SW_SHOW.
  bool start_hidden = false;
};

// Starts |command_line| (its CommandString) with the caller's environment and
// current directory, handles not inherited. When |process_handle| is given it
// receives the process handle, which the caller closes. Returns false when
// the process could not be created; nothing is logged.
bool StartProgram(const CommandLine& command_line, const StartOptions& options,
                  HANDLE* process_handle = nullptr);

}  // namespace base

#endif  // BASE_PROCESS_LAUNCH_H_
