// SPDX-License-Identifier: MIT
// Font file bytes behind logical fonts, and the table directory of a face.
//
// Font files are read into memory, once per path while the file is
// unchanged. When the last font using one is deleted it is kept a while (a
// few files, a bounded number of bytes) for the path's next font: a font
// realized on every call (the device context of a download by font file
// falls back to an installed font) would otherwise read its file each time. The directory is untrusted input: a table
// record is kept only when its table lies wholly inside the file.
#include "platform_hooks.h"
#include "platform_internal.h"
#include "truetype/bereader.h"
#include "truetype/sfnt.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {


FontFile *g_pathFiles = nullptr;   // registry of files read by path
unsigned long g_releaseClock = 0;
// Unused files kept by their bytes, not their count: a job that switches
// among many fonts reads each file once.
constexpr size_t kMaxKeptFileBytes = size_t{64} << 20;
FontFile *g_servedFile = nullptr;  // the hook's own reference

FontFile *FindPathFile(const char *path)
{
    for (FontFile *file = g_pathFiles; file; file = file->next)
        if (strcmp(file->path, path) == 0)
            return file;
    return nullptr;
}

void UnlinkPathFile(FontFile *file)
{
    for (FontFile **link = &g_pathFiles; *link; link = &(*link)->next) {
        if (*link == file) {
            *link = file->next;
            return;
        }
    }
}

void FreeFontFile(FontFile *file)
{
    free(const_cast<uint8_t *>(file->bytes));
    free(file->path);
    free(file);
}

// Frees kept files beyond the bytes kept, the longest unused first.
void TrimKeptFiles()
{
    for (;;) {
        size_t bytes = 0;
        FontFile *oldest = nullptr;
        for (FontFile *file = g_pathFiles; file; file = file->next) {
            if (file->references > 0)
                continue;
            bytes += file->size;
            if (!oldest || file->releasedAt < oldest->releasedAt)
                oldest = file;
        }
        if (!oldest || bytes <= kMaxKeptFileBytes)
            return;
        UnlinkPathFile(oldest);
        FreeFontFile(oldest);
    }
}

// True when the file at path is still the one that was read.
bool StillTheSameFile(const FontFile &file)
{
    struct stat status;
    return stat(file.path, &status) == 0 && SameIdentity(IdentityOf(status), file.identity);
}

// Reads the whole file; null on failure, for an empty file, and for a file
// that changed while it was read.
const uint8_t *ReadWholeFile(const char *path, size_t *sizeOut, FileIdentity *identityOut)
{
    // Not blocking: opening a FIFO would wait for a writer.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat status;
    uint8_t *bytes = nullptr;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0 &&
        static_cast<uint64_t>(status.st_size) <= SIZE_MAX) {
        *sizeOut = static_cast<size_t>(status.st_size);
        *identityOut = IdentityOf(status);
        bytes = ReadFileBytes(fd, 0, *sizeOut);
        struct stat after;
        if (bytes && (fstat(fd, &after) != 0 || !SameIdentity(IdentityOf(after), *identityOut))) {
            free(bytes);
            bytes = nullptr;
        }
    }
    close(fd);
    return bytes;
}

size_t PaddedToFour(size_t n) { return (n + 3) & ~size_t{3}; }

// A tag names one table: its first record, as the font file source reads
// a font's glyph count. A later record with the same tag is dropped, and so
// is a first record whose table lies outside the file (the table is then
// missing). Keeps the directory order; n log n for directories of any size.
bool KeepFirstRecordOfEachTag(const BEReader &bytes, FaceDirectory *face, size_t count)
{
    auto *order = static_cast<uint32_t *>(malloc((count ? count : 1) * sizeof(uint32_t)));
    auto *keep = static_cast<bool *>(calloc(count ? count : 1, sizeof(bool)));
    if (!order || !keep) {
        free(order);
        free(keep);
        return false;
    }
    const FaceTableRecord *records = face->records;
    for (size_t i = 0; i < count; ++i)
        order[i] = static_cast<uint32_t>(i);
    std::stable_sort(order, order + count,
                     [records](uint32_t a, uint32_t b) { return records[a].tag < records[b].tag; });
    for (size_t i = 0; i < count; ++i) {
        const FaceTableRecord &record = records[order[i]];
        const bool first = i == 0 || records[order[i - 1]].tag != record.tag;
        keep[order[i]] = first && bytes.Contains(record.offset, record.length);
    }
    for (size_t i = 0; i < count; ++i)
        if (keep[i])
            face->records[face->numRecords++] = records[i];
    free(order);
    free(keep);
    return true;
}

} // namespace

FileIdentity IdentityOf(const struct stat &status)
{
    return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
                        static_cast<int64_t>(status.st_size),
                        static_cast<int64_t>(status.st_mtim.tv_sec),
                        static_cast<int64_t>(status.st_mtim.tv_nsec),
                        static_cast<int64_t>(status.st_ctim.tv_sec),
                        static_cast<int64_t>(status.st_ctim.tv_nsec)};
}

bool SameIdentity(const FileIdentity &a, const FileIdentity &b)
{
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.modifiedSeconds == b.modifiedSeconds && a.modifiedNanoseconds == b.modifiedNanoseconds &&
           a.changedSeconds == b.changedSeconds && a.changedNanoseconds == b.changedNanoseconds;
}

uint8_t *ReadFileBytes(int fd, uint64_t offset, size_t length)
{
    auto *bytes = static_cast<uint8_t *>(malloc(length ? length : 1));
    if (!bytes)
        return nullptr;
    size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(fd, bytes + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            free(bytes);
            return nullptr; // an error, or the file ends early
        }
        done += static_cast<size_t>(got);
    }
    return bytes;
}

FontFile *AcquireFontFile(const char *path)
{
    if (!path)
        return nullptr;
    if (FontFile *shared = FindPathFile(path)) {
        if (StillTheSameFile(*shared)) {
            ++shared->references;
            return shared;
        }
        // The file was replaced or changed: its holders keep the old
        // bytes, new fonts get the file as it is now.
        UnlinkPathFile(shared);
        shared->isFromPath = false;
        if (shared->references == 0)
            FreeFontFile(shared);
    }
    auto *file = static_cast<FontFile *>(calloc(1, sizeof(FontFile)));
    if (!file)
        return nullptr;
    file->path = strdup(path);
    if (file->path)
        file->bytes = ReadWholeFile(path, &file->size, &file->identity);
    if (!file->bytes) {
        free(file->path);
        free(file);
        return nullptr;
    }
    file->isFromPath = true;
    file->references = 1;
    file->next = g_pathFiles;
    g_pathFiles = file;
    return file;
}

long PlatformFontFileCopies(const char *path)
{
    long count = 0;
    for (const FontFile *file = g_pathFiles; file; file = file->next)
        count += file->references > 0 && strcmp(file->path, path) == 0;
    return count;
}

FontFile *AcquireServedFontFile()
{
    if (g_servedFile)
        ++g_servedFile->references;
    return g_servedFile;
}

FontFile *RetainFontFile(FontFile *file)
{
    if (file)
        ++file->references;
    return file;
}

void ReleaseFontFile(FontFile *file)
{
    if (!file || --file->references > 0)
        return;
    if (file->isFromPath) {
        file->releasedAt = ++g_releaseClock;
        TrimKeptFiles();
        return;
    }
    FreeFontFile(file);
}

void PlatformServeFontData(const uint8_t *data, size_t size)
{
    ReleaseFontFile(g_servedFile);
    g_servedFile = data ? NewCopiedFontFile(data, size) : nullptr;
}

FontFile *NewCopiedFontFile(const uint8_t *data, size_t size)
{
    auto *file = static_cast<FontFile *>(calloc(1, sizeof(FontFile)));
    auto *copy = static_cast<uint8_t *>(malloc(size ? size : 1));
    if (!file || !copy) {
        free(file);
        free(copy);
        return nullptr;
    }
    memcpy(copy, data, size);
    file->bytes = copy;
    file->size = size;
    file->references = 1;
    return file;
}

bool ReadFaceDirectory(const FontFile &file, int faceIndex, FaceDirectory *face)
{
    *face = FaceDirectory{};
    const BEReader bytes(file.bytes, file.size);
    face->isCollectionMember = SfntIsCollection(bytes);
    uint32_t faceOffset = 0;
    // Named instances of a variable face (upper 16 bits) share its tables.
    if (faceIndex < 0 || !SfntFaceOffset(bytes, static_cast<uint32_t>(faceIndex) & kFaceIndexInFile, faceOffset))
        return true;
    face->faceOffset = faceOffset;
    uint16_t numTables = 0;
    if (!bytes.Contains(face->faceOffset, SfntOffsetTable::kSize) ||
        !bytes.U32(face->faceOffset + SfntOffsetTable::kSfntVersion, face->sfntVersion) ||
        !ReadSfntTableCount(bytes, face->faceOffset, numTables))
        return true;
    face->hasOffsetTable = true;
    if (numTables == 0)
        return true;
    face->records = static_cast<FaceTableRecord *>(malloc(numTables * sizeof(FaceTableRecord)));
    if (!face->records)
        return false;
    size_t readable = 0;
    for (uint32_t i = 0; i < numTables; ++i) {
        SfntTableRecord sfnt{};
        if (!ReadSfntTableRecord(bytes, face->faceOffset, i, sfnt))
            break; // the directory runs past the end of the file
        face->records[readable++] = FaceTableRecord{FontTableTag(sfnt.szTag), sfnt.dwCheckSum,
                                                sfnt.dwOffset, sfnt.dwLength};
    }
    return KeepFirstRecordOfEachTag(bytes, face, readable);
}

void FreeFaceDirectory(FaceDirectory *face)
{
    free(face->records);
    *face = FaceDirectory{};
}

const FaceTableRecord *FindTableRecord(const FaceDirectory &face, DWORD tag)
{
    for (size_t i = 0; i < face.numRecords; ++i)
        if (face.records[i].tag == tag)
            return &face.records[i];
    return nullptr;
}

uint8_t *BuildStandaloneDirectory(const FaceDirectory &face, size_t *fontSizeOut, size_t *directorySizeOut)
{
    if (!face.hasOffsetTable)
        return nullptr;
    const size_t directorySize = SfntOffsetTable::kSize + face.numRecords * SfntRecord::kSize;
    uint64_t total = directorySize;
    for (size_t i = 0; i < face.numRecords; ++i)
        total += PaddedToFour(face.records[i].length);
    // GetFontData reports sizes as a DWORD.
    if (total >= GDI_ERROR)
        return nullptr;
    auto *directory = static_cast<uint8_t *>(calloc(1, directorySize));
    if (!directory)
        return nullptr;
    // Offset table: searchRange etc. follow from the number of tables.
    uint16_t entrySelector = 0;
    while ((2u << entrySelector) <= face.numRecords)
        ++entrySelector;
    const auto searchRange = static_cast<uint16_t>(face.numRecords ? (16u << entrySelector) : 0);
    PutBE32(directory + SfntOffsetTable::kSfntVersion, face.sfntVersion);
    PutBE16(directory + SfntOffsetTable::kNumTables, face.numRecords);
    PutBE16(directory + SfntOffsetTable::kSearchRange, searchRange);
    PutBE16(directory + SfntOffsetTable::kEntrySelector, face.numRecords ? entrySelector : 0);
    PutBE16(directory + SfntOffsetTable::kRangeShift,
            static_cast<uint16_t>(face.numRecords * SfntRecord::kSize - searchRange));
    // Directory in the face's directory order, each table on a four-byte
    // boundary after the one before.
    size_t tableOffset = directorySize;
    for (size_t i = 0; i < face.numRecords; ++i) {
        const FaceTableRecord &record = face.records[i];
        uint8_t *entry = directory + SfntOffsetTable::kSize + i * SfntRecord::kSize;
        for (int b = 0; b < 4; ++b)
            entry[SfntRecord::kTag + b] = static_cast<uint8_t>(record.tag >> (8 * b));
        PutBE32(entry + SfntRecord::kCheckSum, record.checkSum);
        PutBE32(entry + SfntRecord::kOffset, static_cast<uint32_t>(tableOffset));
        PutBE32(entry + SfntRecord::kLength, record.length);
        tableOffset += PaddedToFour(record.length);
    }
    *fontSizeOut = static_cast<size_t>(total);
    *directorySizeOut = directorySize;
    return directory;
}

void ReadStandaloneFont(const FontFile &file, const FaceDirectory &face, const uint8_t *directory,
                        size_t directorySize, size_t offset, uint8_t *out, size_t count)
{
    const size_t end = offset + count;
    // Copies the overlap of [from, from + n) with the wanted range; null
    // source bytes are padding.
    auto copyPart = [&](size_t from, const uint8_t *bytes, size_t n) {
        const size_t first = from > offset ? from : offset;
        const size_t last = from + n < end ? from + n : end;
        if (first >= last)
            return;
        if (bytes)
            memcpy(out + (first - offset), bytes + (first - from), last - first);
        else
            memset(out + (first - offset), 0, last - first);
    };
    copyPart(0, directory, directorySize);
    size_t tableOffset = directorySize;
    for (size_t i = 0; i < face.numRecords && tableOffset < end; ++i) {
        const FaceTableRecord &record = face.records[i];
        copyPart(tableOffset, file.bytes + record.offset, record.length);
        // The padding stays zero, so checksums still hold.
        copyPart(tableOffset + record.length, nullptr, PaddedToFour(record.length) - record.length);
        tableOffset += PaddedToFour(record.length);
    }
}
