// Loaded with LD_PRELOAD, it makes renameat2 answer EINVAL, as on a file
// system without it: the tool must then move its files into place another
// way, still without replacing a file.
#include <cerrno>

extern "C" int renameat2(int, const char*, int, const char*, unsigned) {
  errno = EINVAL;
  return -1;
}
