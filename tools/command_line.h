// A command line as the commands see it, the errors they end with, and the
// values their options share.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/frame_geometry.h"
#include "voxa/voxa.h"

namespace voxa {

// Exit statuses of the tool.
constexpr int kExitOk = 0;
constexpr int kExitBadData = 1;
constexpr int kExitUsage = 2;
// A signal stopped the run: 128 + its number (tools/interrupt.h).

// A bad command line: one line and exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Bad data or a file that cannot be read: one line and exit status 1.
struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct CommandLine {
  std::string verb;
  std::map<std::string, std::string> options;  // by the option's own name
  std::set<std::string> flags;
  std::vector<std::string> operands;
  bool help = false;

  std::optional<std::string> Option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return it->second;
  }
  bool Flag(const std::string& name) const { return flags.count(name) != 0; }
};

// "720x576".
PictureSize ParseSize(const std::string& size);

// --kernels, when this processor and build have them (default auto).
voxa_kernels ParseKernels(const CommandLine& cl);

// A whole number from 1 to `largest` (`fallback` without the option).
unsigned long ParseCount(const CommandLine& cl, const std::string& option,
                         unsigned long fallback, unsigned long largest);

// The name of a kernel variant, as --kernels takes it.
const char* KernelsName(voxa_kernels kernels);

}  // namespace voxa
