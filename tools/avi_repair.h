// Finishing an AVI file whose writing stopped early (a full disk, a failed
// write): what a reader needs is rebuilt for the frames that were written
// whole, so that `voxa decode` and a Windows host's AVI reader read them.
#pragma once

#include <cstdint>
#include <string>

#include "tools/file_descriptor.h"

namespace voxa {

// Keeps the frame chunks of the file's first RIFF part that end at or before
// `written_end` (the file offset up to which every byte reached the disk),
// cuts the file behind the last of them, appends an index of them (dropping
// frames from the end when there is no room for it) and rewrites the sizes
// and frame counts of the headers. Returns the frames kept, or -1 with a
// reason in `problem`.
int64_t RepairAvi(FileAt& file, uint64_t written_end, std::string* problem);

}  // namespace voxa
