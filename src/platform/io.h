// SPDX-License-Identifier: MIT
// The C runtime's low-level file calls that the library uses, for Linux:
// the length of an open output file and cutting it back. On Windows the
// library includes the runtime's own <io.h>.
#pragma once

#include <cstdio>

int _fileno(FILE *stream);
// Length in bytes of the file open on fd; -1 when it cannot be had.
long long _filelengthi64(int fd);
// Sets the length of the file open on fd; 0 on success, else an errno value.
int _chsize_s(int fd, long long size);
