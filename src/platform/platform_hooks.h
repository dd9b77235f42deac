// SPDX-License-Identifier: MIT
// Test and fuzzing hooks of the Linux platform layer. Not part of the
// Windows API: only tests, benchmarks and fuzz targets include this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "face_resolution.h"

struct _FcConfig;

// Make the Nth GlobalAlloc from now fail (1 = the next one); 0 turns the
// hook off. Counting starts anew with every call.
void PlatformFailNthAllocation(long n);

// GlobalAlloc calls made since the process started, and blocks not yet
// released with GlobalFree.
long PlatformAllocationCount();
long PlatformLiveAllocations();

// Keeps one block of exactly size bytes back from free() when it is
// released (poisoned under AddressSanitizer, so that a use after GlobalFree
// still fails) and gives it to the next GlobalAlloc of that size; 0 turns
// this off. AddressSanitizer maps every block over 128 KiB afresh, and a
// fuzzer that makes a font's 256 KiB character table for every input
// would spend a third of its time in the kernel's page faults.
void PlatformKeepFreedBlocksOf(size_t size);

// Serve the given TrueType bytes (copied) as the font of every logical font
// that CreateFontIndirectA makes from now on, whatever its face name; null
// turns this off. Lets tests and fuzzers drive the device-context source.
void PlatformServeFontData(const uint8_t *data, size_t size);

// Drops the FreeType realizations that no font uses any more (kept so that
// later fonts of the same file, face and height measure without loading
// glyphs again, with the outlines read so far), so the next metrics or
// outline call starts from the font file.
void PlatformForgetFontRealizations();

// Drops the library's fontconfig configuration and the face matches made
// with it: the next face query loads the configuration anew (from
// FONTCONFIG_FILE when that is set, as fontconfig does).
void PlatformForgetFontconfig();

// Number of fontconfig queries made so far (the face-match cache avoids
// repeating them).
long PlatformFontconfigQueries();

// GDI objects (device contexts and fonts) not yet deleted.
long PlatformLiveGdiObjects();

// Copies of the font file at path that fonts hold (one, shared by every
// font of the unchanged file, or none).
long PlatformFontFileCopies(const char *path);

