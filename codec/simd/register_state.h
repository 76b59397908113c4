// What the operating system saves of the vector registers on a thread switch
// (XCR0). In a unit of its own: XGETBV is no 486 instruction, and it may be
// run only where the processor reports OSXSAVE.
#pragma once

#include <cstdint>

namespace voxa {

uint64_t ReadRegisterStateMask();

}  // namespace voxa
