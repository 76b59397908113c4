// The `voxa` command line: the commands over video files and single frames.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/command_line.h"

namespace voxa {

class VideoCommands;

// Runs one command line (without the program name); data (reports, help)
// go to `out`, the one line of an error, summaries and a progress bar to
// `err`. Returns the exit status. `video` does the commands on video files
// (encode, decode, info); without it they are not available.
int RunVoxa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            VideoCommands* video = nullptr);

}  // namespace voxa
