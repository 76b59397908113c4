// Finishing an AVI file whose writing stopped early (a full disk, a failed
// write): what a reader needs is rebuilt for the frames that were written
// whole, so that `voxa decode` and a Windows host's AVI reader read them.
#pragma once

#include <cstdint>
#include <string>

#include "tools/file_descriptor.h"

namespace voxa {

// Keeps every frame chunk that ends at or before `written_end` (the file
// offset up to which every byte reached the disk): the RIFF parts of an
// OpenDML file that the writer closed stay as they are, and the last part is
// cut behind its last whole frame and given the index of its frames (idx1 for
// the first part, its standard index ix00 for a later one; frames are dropped
// from the end when there is no room for it). The sizes, the super index and
// the frame counts of the headers are rewritten to match. Returns the frames
// kept, or -1 with a reason in `problem`.
int64_t RepairAvi(FileAt& file, uint64_t written_end, std::string* problem);

}  // namespace voxa
