// The commands on video files (encode, decode, info) on FFmpeg's libraries.
#pragma once

#include "tools/video_commands.h"

namespace voxa {

// One object for the whole program.
VideoCommands* FfmpegVideoCommands();

}  // namespace voxa
