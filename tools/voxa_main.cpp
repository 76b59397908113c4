#include <iostream>
#include <string>
#include <vector>

#include "tools/cli.h"
#ifdef VOXA_HAVE_FFMPEG
#include "tools/ffmpeg_commands.h"
#endif

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
#ifdef VOXA_HAVE_FFMPEG
  voxa::VideoCommands* video = voxa::FfmpegVideoCommands();
#else
  voxa::VideoCommands* video = nullptr;
#endif
  return voxa::RunVoxa(args, std::cout, std::cerr, video);
}
