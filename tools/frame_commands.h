// The commands on single frames: encode-frame, decode-frame, inspect,
// sample and compare. Raw frames are 32-bit BGRA with straight alpha,
// bottom line first (as Windows bitmaps and the driver store them), or Y16A,
// top line first; a compressed frame is exactly what the driver writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "tools/command_line.h"
#include "tools/frame_geometry.h"
#include "voxa/voxa.h"

namespace voxa {

// Whether `verb` is one of these commands.
bool IsFrameCommand(const std::string& verb);

// Runs one; reports (inspect, compare) go to `out`, summaries to `err`.
// Returns the exit status or throws UsageError or DataError.
int RunFrameCommand(const CommandLine& cl, std::ostream& out, std::ostream& err);

// A problem voxa_inspect_frame() reports, in one line; offsets inside a
// payload count from `payload`, that payload's offset in the frame.
std::string ProblemText(const voxa_frame_part& problem, std::size_t payload);

// Why a decoder cannot decode the frame in full, in one line (the problem
// it stops at); empty when it can.
std::string DecodeProblem(const uint8_t* frame, std::size_t size, PictureSize picture);

}  // namespace voxa
