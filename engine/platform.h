// The little the terminal layers and the tools need from the operating
// system beyond standard C++: raw standard input and output. One file per
// system implements it: platform_posix.cpp, platform_windows.cpp.
#ifndef ENGINE_PLATFORM_H_
#define ENGINE_PLATFORM_H_

#include <cstddef>

// Reads up to `size` bytes of standard input, as they come. Returns the
// number read, or 0 at the end of input (or on an error, which ends it too).
size_t PlatformRead(char* buffer, size_t size);

// True when a byte of standard input can be read at once, waiting at most
// `timeout_ms` for one.
bool PlatformInputReady(int timeout_ms);

// Writes all of `data` to standard output, unchanged.
void PlatformWrite(const char* data, size_t size);

#endif  // ENGINE_PLATFORM_H_
