// SPDX-License-Identifier: MIT
// Read-only files and file mappings over POSIX open/pread, and the C
// runtime's length calls for the output file (over fstat and ftruncate).
//
// A view holds a copy of its bytes, read when it is made: on Windows a file
// cannot be cut short while a view of it exists, on Linux a mapped page the
// file lost would fault, so a view is never a mapping of the file. As on
// Windows, a view stays valid after its file and mapping handles are
// closed; only UnmapViewOfFile ends it. The view registry remembers each
// view and the identity of a file viewed whole, so that a font resource
// added from such a view is known by its file.
#include "platform_internal.h"

#include <io.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Windows places views on 64 KiB boundaries; offsets must be multiples of it.
constexpr uint64_t kAllocationGranularity = 65536;

struct OpenFile {
    int fd;
    uint64_t size;
    FileIdentity identity; // when opened
};

struct FileMapping {
    int fd; // own descriptor: the mapping outlives its file handle
    uint64_t size;
    FileIdentity identity; // of its file
};

struct View {
    const void *base;
    size_t length;
    bool wholeFile; // the file's every byte, unchanged since it was opened
    FileIdentity identity;
};

View *g_views = nullptr;
size_t g_viewCount = 0;
size_t g_viewCapacity = 0;

bool RememberView(const View &view)
{
    if (g_viewCount == g_viewCapacity) {
        const size_t capacity = g_viewCapacity ? g_viewCapacity * 2 : 16;
        auto *grown = static_cast<View *>(realloc(g_views, capacity * sizeof(View)));
        if (!grown)
            return false;
        g_views = grown;
        g_viewCapacity = capacity;
    }
    g_views[g_viewCount++] = view;
    return true;
}

} // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   void *lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    (void)dwShareMode;
    (void)lpSecurityAttributes;
    (void)dwFlagsAndAttributes;
    (void)hTemplateFile;
    // Only what the library needs: opening an existing file for reading.
    if (!lpFileName || dwDesiredAccess != GENERIC_READ || dwCreationDisposition != OPEN_EXISTING)
        return INVALID_HANDLE_VALUE;
    // Without O_NONBLOCK, opening a FIFO waits for a writer, for ever.
    const int fd = open(lpFileName, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    struct stat status;
    // Windows cannot open a directory this way; devices and pipes have no size.
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    auto *file = static_cast<OpenFile *>(malloc(sizeof(OpenFile)));
    HANDLE handle = file ? AddHandle(ObjectKind::File, file) : nullptr;
    if (!handle) {
        free(file);
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    file->fd = fd;
    file->size = static_cast<uint64_t>(status.st_size);
    file->identity = IdentityOf(status);
    return handle;
}

DWORD GetFileType(HANDLE hFile)
{
    // CreateFileA opens regular files only.
    return LookUpHandle(hFile, ObjectKind::File) ? FILE_TYPE_DISK : FILE_TYPE_UNKNOWN;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    const auto *file = static_cast<OpenFile *>(LookUpHandle(hFile, ObjectKind::File));
    if (!file)
        return INVALID_FILE_SIZE;
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(file->size >> 32);
    return static_cast<DWORD>(file->size);
}

HANDLE CreateFileMappingA(HANDLE hFile, void *lpFileMappingAttributes, DWORD flProtect,
                          DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName)
{
    (void)lpFileMappingAttributes;
    const auto *file = static_cast<OpenFile *>(LookUpHandle(hFile, ObjectKind::File));
    // Named (shared between processes) mappings are not provided.
    if (!file || flProtect != PAGE_READONLY || lpName)
        return nullptr;
    const uint64_t requested = (uint64_t{dwMaximumSizeHigh} << 32) | dwMaximumSizeLow;
    const uint64_t size = requested ? requested : file->size;
    // As on Windows: an empty file cannot be mapped, and a read-only mapping
    // cannot reach past the end of its file.
    if (size == 0 || size > file->size || size > SIZE_MAX)
        return nullptr;
    auto *mapping = static_cast<FileMapping *>(malloc(sizeof(FileMapping)));
    if (!mapping)
        return nullptr;
    mapping->fd = fcntl(file->fd, F_DUPFD_CLOEXEC, 0);
    mapping->size = size;
    mapping->identity = file->identity;
    HANDLE handle = mapping->fd >= 0 ? AddHandle(ObjectKind::FileMapping, mapping) : nullptr;
    if (!handle) {
        if (mapping->fd >= 0)
            close(mapping->fd);
        free(mapping);
        return nullptr;
    }
    return handle;
}

LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                     DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap)
{
    const auto *mapping =
        static_cast<FileMapping *>(LookUpHandle(hFileMappingObject, ObjectKind::FileMapping));
    if (!mapping || dwDesiredAccess != FILE_MAP_READ)
        return nullptr;
    const uint64_t offset = (uint64_t{dwFileOffsetHigh} << 32) | dwFileOffsetLow;
    if (offset % kAllocationGranularity != 0 || offset >= mapping->size)
        return nullptr;
    const uint64_t available = mapping->size - offset;
    const uint64_t length = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : available;
    if (length > available)
        return nullptr;
    // A file that shrank below the view gives no view, as a mapping that
    // could not be made.
    uint8_t *base = ReadFileBytes(mapping->fd, offset, static_cast<size_t>(length));
    if (!base)
        return nullptr;
    // Whole only while the file is still the one opened: a file written to
    // since may not hold what its identity then said.
    struct stat status;
    const bool wholeFile = offset == 0 && static_cast<int64_t>(length) == mapping->identity.size &&
                           fstat(mapping->fd, &status) == 0 &&
                           SameIdentity(IdentityOf(status), mapping->identity);
    if (!RememberView(View{base, static_cast<size_t>(length), wholeFile, mapping->identity})) {
        free(base);
        return nullptr;
    }
    return base;
}

bool WholeFileViewIdentity(const void *base, size_t size, FileIdentity *identityOut)
{
    for (size_t i = 0; i < g_viewCount; ++i) {
        if (g_views[i].base != base)
            continue;
        if (!g_views[i].wholeFile || g_views[i].length != size)
            return false;
        *identityOut = g_views[i].identity;
        return true;
    }
    return false;
}

BOOL UnmapViewOfFile(LPCVOID lpBaseAddress)
{
    for (size_t i = 0; i < g_viewCount; ++i) {
        if (g_views[i].base != lpBaseAddress)
            continue;
        free(const_cast<void *>(g_views[i].base));
        g_views[i] = g_views[--g_viewCount];
        return TRUE;
    }
    return FALSE;
}

BOOL CloseHandle(HANDLE hObject)
{
    if (auto *file = static_cast<OpenFile *>(RemoveHandle(hObject, ObjectKind::File))) {
        close(file->fd);
        free(file);
        return TRUE;
    }
    if (auto *mapping = static_cast<FileMapping *>(RemoveHandle(hObject, ObjectKind::FileMapping))) {
        close(mapping->fd);
        free(mapping);
        return TRUE;
    }
    return FALSE;
}

int _fileno(FILE *stream) { return stream ? fileno(stream) : -1; }

long long _filelengthi64(int fd)
{
    struct stat status;
    return fstat(fd, &status) == 0 ? static_cast<long long>(status.st_size) : -1;
}

int _chsize_s(int fd, long long size)
{
    if (size < 0)
        return EINVAL;
    return ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
}
