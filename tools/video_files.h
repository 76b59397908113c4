// The verbs on video files (encode, decode, info) on FFmpeg's libraries.
#pragma once

#include "tools/video_verbs.h"

namespace voxa {

// One object for the whole program.
VideoVerbs* FfmpegVideoVerbs();

}  // namespace voxa
