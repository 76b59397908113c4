// The `voxa` command line: verbs over raw and compressed frames.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace voxa {

class VideoVerbs;

// Exit statuses of the tool.
constexpr int kExitOk = 0;
constexpr int kExitBadData = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

// Runs one command line (without the program name); data (reports, help)
// go to `out`, the one line of an error, summaries and a progress bar to
// `err`. Returns the exit
// status. `video` does the verbs on video files (encode, decode, info);
// without it they are not available.
int RunVoxa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            VideoVerbs* video = nullptr);

}  // namespace voxa
