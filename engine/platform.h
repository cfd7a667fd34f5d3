// The little the terminal layers and the tools need from the operating
// system beyond standard C++: the standard streams and the data files. One
// file per system implements it: platform_posix.cpp, platform_windows.cpp.
#ifndef ENGINE_PLATFORM_H_
#define ENGINE_PLATFORM_H_

#include <cstddef>
#include <cstdio>

// Makes sure that standard input, output and error are open, so that no file
// the program opens later can take their place; a closed one is opened on the
// null device. A closed standard input then reads as the end of input, and a
// closed standard output is opened for reading only, so that writing to it
// still fails as writing to a closed stream does. Cheap to call again.
void PlatformOpenStandardStreams();

// Opens a data file for reading, its bytes as they stand. A missing or
// unreadable file, and anything that is not a regular file (a directory, a
// FIFO, a device), gives null, decided without waiting on the file.
std::FILE* PlatformOpenDataFile(const char* path);

// Reads up to `size` bytes of standard input, as they come, waiting for them
// even when the stream was left in non-blocking mode. Returns the number
// read, or 0 at the end of input (or on an error, which ends it too).
size_t PlatformRead(char* buffer, size_t size);

// True when a byte of standard input can be read at once, waiting at most
// `timeout_ms` for one.
bool PlatformInputReady(int timeout_ms);

// Writes all of `data` to standard output, unchanged, waiting while the
// stream is not ready for more. Returns false when writing failed for good
// (the reader gone, the disk full, the terminal hung up); then errno, where
// the system has it, tells why. Safe to call from a signal handler.
bool PlatformWrite(const char* data, size_t size);

// Writes one line to standard error, as well as it can.
void PlatformWriteError(const char* text);

#endif  // ENGINE_PLATFORM_H_
