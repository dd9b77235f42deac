// SPDX-License-Identifier: MIT
// Internal records of the Linux platform layer, shared by its source files.
// Nothing outside src/platform includes this.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include <ft2build.h>
#include FT_FREETYPE_H

// ---------------------------------------------------------------------------
// Handle table. Handles are small integers (slot and generation), not
// pointers, so any value a caller passes is checked in constant time and a
// stale or foreign handle is rejected instead of dereferenced.

enum class ObjectKind : uint8_t { Free, DeviceContext, Font, File, FileMapping, FontResource };

// Registers object under a new handle; null when the table cannot grow.
void *AddHandle(ObjectKind kind, void *object);
// The object behind handle when it is live and of this kind, else null.
void *LookUpHandle(const void *handle, ObjectKind kind);
// Unregisters handle; returns its object, or null when it was not live.
void *RemoveHandle(const void *handle, ObjectKind kind);
long CountHandles(ObjectKind kind);

// ---------------------------------------------------------------------------
// Font files: the bytes of a font file, read into memory and shared by every
// font made from the same path, or a private copy of served bytes.

// What identifies the contents of a file on disk: bytes read from it are
// shared only while the file at its path is still the one that was read.
// The change time is part of it: a file rewritten in place and given back
// its modification time (cp -p, rsync --inplace -t) has a new one.
struct FileIdentity {
    uint64_t device;
    uint64_t inode;
    int64_t size;
    int64_t modifiedSeconds;
    int64_t modifiedNanoseconds;
    int64_t changedSeconds;
    int64_t changedNanoseconds;
};

struct stat;
FileIdentity IdentityOf(const struct stat &status);
bool SameIdentity(const FileIdentity &a, const FileIdentity &b);

// The length bytes of the open file fd from offset on, read into a new
// malloc'd block; null when out of memory or when the file no longer holds
// them (it shrank). As on Windows, where a file cannot be cut short while
// it is mapped, bytes of a font file stay readable however the file changes
// afterwards: a mapping of a file that shrinks would fault on its lost pages.
uint8_t *ReadFileBytes(int fd, uint64_t offset, size_t length);

// The file whose whole contents a view made by MapViewOfFile holds: true,
// with its identity when the view was made, when base and size are such a
// view; false for any other block.
bool WholeFileViewIdentity(const void *base, size_t size, FileIdentity *identityOut);

struct FontFile {
    char *path; // null for served bytes
    const uint8_t *bytes;
    size_t size;
    bool isFromPath; // in the registry of files read by path
    FileIdentity identity; // of a file read by path
    long references; // 0: kept in the registry for the path's next font
    unsigned long releasedAt; // when the last reference went, for keeping
    FontFile *next; // registry of files read by path
};

// Reads path (or shares its bytes already read while the file is unchanged)
// and takes a reference; null when the file cannot be opened or read, or
// is empty.
FontFile *AcquireFontFile(const char *path);
// A reference to the served bytes; null when nothing is served.
FontFile *AcquireServedFontFile();
// A private copy of the bytes, with one reference; null when out of memory.
FontFile *NewCopiedFontFile(const uint8_t *data, size_t size);
// Another reference to a file already held.
FontFile *RetainFontFile(FontFile *file);
void ReleaseFontFile(FontFile *file);

// One table record of a face's directory that lies wholly inside the file.
struct FaceTableRecord {
    DWORD tag; // GetFontData form: first character in the low byte
    uint32_t checkSum;
    uint32_t offset; // from the start of the file
    uint32_t length;
};

// The table directory of one face of a font file: the first record of each
// tag. Records pointing outside the file are dropped (and a later record
// with the same tag does not stand in), so every kept record can be read
// without checks.
struct FaceDirectory {
    uint32_t faceOffset;  // offset table of this face within the file
    uint32_t sfntVersion; // of the face's offset table
    bool isCollectionMember;
    bool hasOffsetTable; // false: not even an offset table is readable
    uint16_t numRecords;
    FaceTableRecord *records; // malloc'd, numRecords entries
};

// A face index as fontconfig and FreeType give it: the face within the file
// in the low 16 bits, a variable font's named instance (1 up) above them.
constexpr uint32_t kFaceIndexInFile = 0xFFFF;

// Reads the directory of face faceIndex; false only when out of memory.
bool ReadFaceDirectory(const FontFile &file, int faceIndex, FaceDirectory *face);
void FreeFaceDirectory(FaceDirectory *face);
const FaceTableRecord *FindTableRecord(const FaceDirectory &face, DWORD tag);

// A standalone font of face (offset table, directory, the face's tables with
// rebased offsets, each padded to four bytes) is never built whole: its
// offset table and directory are (malloc'd, with the whole font's size;
// null when out of memory or too big for GetFontData), and reads copy the
// rest straight from the file.
uint8_t *BuildStandaloneDirectory(const FaceDirectory &face, size_t *fontSizeOut, size_t *directorySizeOut);
// Bytes [offset, offset + count) of the standalone font, a range inside it.
void ReadStandaloneFont(const FontFile &file, const FaceDirectory &face, const uint8_t *directory,
                        size_t directorySize, size_t offset, uint8_t *out, size_t count);

// ---------------------------------------------------------------------------
// GDI objects.

struct FontObject {
    LOGFONTA logfont; // as given, with the face name NUL-terminated
    FontFile *file;
    int faceIndex;
    FaceDirectory face;
    // Offset table and directory of a collection face's standalone font,
    // built on its first whole-font read.
    uint8_t *standaloneDirectory;
    size_t standaloneDirectorySize;
    size_t standaloneSize; // of the whole standalone font
    // FreeType state for the metrics calls, found or made on the first one.
    struct FaceRealization *realization;
    // GetOutlineTextMetricsA's whole block (record and names) as the first
    // call made it: a font's file and size never change, and callers ask
    // for the descent on every text.
    uint8_t *outlineMetrics;
    size_t outlineMetricsSize;
    // Windows defers deleting a font that is still selected into a DC.
    long selections;
    bool deletePending;
};

struct DeviceContext {
    HFONT selectedHandle;
    FontObject *selected;
};

// The process's FreeType library, with the hinting engine pinned; null when
// FreeType cannot start.
FT_Library PlatformFreeType();

// The font selected into hdc, or null (bad DC, nothing selected).
FontObject *SelectedFont(HDC hdc);

// GetGlyphOutlineA's GGO_NATIVE answer for a glyph of the face at its size
// (gdi_outlines.cpp), loaded for the call: fills lpgm and returns the
// outline's size in bytes, written into pvBuffer when it and cjBuffer are
// given. GDI_ERROR when the glyph has no outline, the buffer is too small,
// or a coordinate does not fit 16.16 fixed point.
DWORD NativeGlyphOutline(FT_Face face, FT_UInt glyph, bool hinted, GLYPHMETRICS *lpgm, DWORD cjBuffer,
                         LPVOID pvBuffer);

// Lets go of a font's FreeType state (called when the font is destroyed).
// As GDI keeps recently realized fonts, the last few realizations (FreeType
// face at a pixel size, with the glyph metrics measured and the unhinted
// outlines read so far) outlive their fonts, so the next logical font of the
// same file, face and height measures without loading its glyphs again.
void ReleaseFontMetrics(FontObject *font);

// ---------------------------------------------------------------------------
// Face matching (fontconfig), with a per-process cache.

// Path and face index that faceName/weight/italic resolves to, written to
// pathOut; false when nothing can be found or the path does not fit.
bool ResolveFace(const char *faceName, int weight, bool italic, char *pathOut, size_t pathSize,
                 int *faceIndexOut);
// A font resource the process added from memory (AddFontMemResourceEx)
// that has a face whose family name is faceName, with a reference taken;
// null when none has.
FontFile *AcquirePrivateFontFile(const char *faceName, int *faceIndexOut);
// The system's default sans-serif TrueType font.
bool ResolveDefaultFace(char *pathOut, size_t pathSize, int *faceIndexOut);
