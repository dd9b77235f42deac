// SPDX-License-Identifier: MIT
// Fonts private to the process, added from memory (AddFontMemResourceEx).
// Each keeps its own copy of the bytes and the family names of its faces
// (the Windows-platform family and typographic family names), so that a
// logical font naming one of them resolves to it before any installed font.
//
// Bytes that are a whole font file viewed by MapViewOfFile are known by the
// file's identity. A resource of such bytes shares the copy and names of a
// resource of the same unchanged file (the bytes compared too: a file
// rewritten in place can keep its identity), and when removed it is kept for a
// while (out of reach of face names): the font-file source adds the same
// file on every download call, and would otherwise copy and parse it anew
// and measure its glyphs again (realizations belong to the copy).
#include "platform_internal.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <span>

#include "text/text.h"
#include "truetype/bereader.h"

#include FT_SFNT_NAMES_H

namespace {

constexpr FT_UShort kPlatformWindows = 3;
constexpr FT_UShort kNameFamily = 1;
constexpr FT_UShort kNameTypographicFamily = 16;
constexpr FT_Long kMaxFaces = 256; // faces of a collection looked at
// Removed resources kept for their file's next add: at most this many, and
// at most this many bytes of fonts; the longest removed goes first.
constexpr long kMaxKeptRemoved = 2;
constexpr size_t kMaxKeptRemovedBytes = size_t{64} << 20;

struct FaceName {
    char name[LF_FACESIZE]; // UTF-8, cut as a LOGFONT's face name is
    int faceIndex;
};

struct FontResource {
    FontFile *file;
    FaceName *names;
    size_t nameCount;
    long faceCount;
    bool fromFile; // the bytes of source, a whole font file
    FileIdentity source;
    bool removed; // kept after RemoveFontMemResourceEx for the file's next add
    unsigned long removedAt;
    FontResource *next;
};

FontResource *g_resources = nullptr; // the newest first
unsigned long g_removalClock = 0;

static_assert(kFaceNameBytes == LF_FACESIZE - 1);

// A UTF-16BE name as UTF-8, cut at a character boundary to fit out; an
// unpaired surrogate becomes U+FFFD, so that the name stays well-formed.
void NameToUtf8(const FT_Byte *bytes, FT_UInt length, char (&out)[LF_FACESIZE])
{
    const BEReader name(bytes, length);
    size_t used = 0;
    uint16_t first = 0;
    for (size_t at = 0; name.U16(at, first);) {
        uint16_t second = 0;
        const bool pair = name.U16(at + 2, second);
        const char16_t units[2] = {first, second};
        const DecodedChar decoded = DecodeUtf16(std::span(units, pair ? 2 : 1));
        at += 2 * decoded.length;
        const Utf8Units encoded = EncodeUtf8(decoded.codePoint);
        if (used + encoded.count > kFaceNameBytes)
            break;
        memcpy(out + used, encoded.units, encoded.count);
        used += encoded.count;
    }
    out[used] = '\0';
}

// Adds the family names of one face; false when out of memory.
bool CollectFaceNames(FontResource &resource, FT_Face face, int faceIndex)
{
    const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName name;
        if (FT_Get_Sfnt_Name(face, i, &name) != 0 || name.platform_id != kPlatformWindows ||
            (name.name_id != kNameFamily && name.name_id != kNameTypographicFamily))
            continue;
        auto *grown = static_cast<FaceName *>(
            realloc(resource.names, (resource.nameCount + 1) * sizeof(FaceName)));
        if (!grown)
            return false;
        resource.names = grown;
        FaceName &added = resource.names[resource.nameCount++];
        NameToUtf8(name.string, name.string_len, added.name);
        added.faceIndex = faceIndex;
    }
    return true;
}

// The number of faces FreeType can open, their names collected; 0 when
// none opens or memory runs out.
long ReadFaces(FontResource &resource)
{
    FT_Library library = PlatformFreeType();
    long opened = 0;
    FT_Long faceCount = 1;
    for (FT_Long index = 0; library && index < faceCount && index < kMaxFaces; ++index) {
        FT_Face face = nullptr;
        if (FT_New_Memory_Face(library, resource.file->bytes, static_cast<FT_Long>(resource.file->size),
                               index, &face) != 0)
            continue;
        faceCount = face->num_faces;
        const bool collected = CollectFaceNames(resource, face, static_cast<int>(index));
        FT_Done_Face(face);
        if (!collected)
            return 0;
        ++opened;
    }
    return opened;
}

void FreeResource(FontResource *resource)
{
    ReleaseFontFile(resource->file);
    free(resource->names);
    free(resource);
}

void Unlink(FontResource *resource)
{
    for (FontResource **link = &g_resources; *link; link = &(*link)->next) {
        if (*link == resource) {
            *link = resource->next;
            return;
        }
    }
}

void PushNewest(FontResource *resource)
{
    resource->next = g_resources;
    g_resources = resource;
}

// A resource (added or kept) of the file, other than self; null when none.
FontResource *ResourceOfFile(const FileIdentity &source, const FontResource *self = nullptr)
{
    for (FontResource *resource = g_resources; resource; resource = resource->next)
        if (resource != self && resource->fromFile && SameIdentity(resource->source, source))
            return resource;
    return nullptr;
}

// Frees removed resources beyond the number and bytes kept, the longest
// removed first.
void TrimRemoved()
{
    for (;;) {
        long count = 0;
        size_t bytes = 0;
        FontResource *oldest = nullptr;
        for (FontResource *resource = g_resources; resource; resource = resource->next) {
            if (!resource->removed)
                continue;
            ++count;
            bytes += resource->file->size;
            if (!oldest || resource->removedAt < oldest->removedAt)
                oldest = resource;
        }
        if (!oldest || (count <= kMaxKeptRemoved && bytes <= kMaxKeptRemovedBytes))
            return;
        Unlink(oldest);
        FreeResource(oldest);
    }
}

// What is kept is not freed at exit: other threads of the process may still
// be inside a call that uses it then (the library's lock is not taken at
// exit), and the memory goes with the process.

// A new resource sharing the bytes and names of one of the same file;
// null when out of memory.
FontResource *ShareResource(const FontResource &same)
{
    auto *resource = static_cast<FontResource *>(calloc(1, sizeof(FontResource)));
    auto *names = static_cast<FaceName *>(malloc((same.nameCount ? same.nameCount : 1) * sizeof(FaceName)));
    if (!resource || !names) {
        free(resource);
        free(names);
        return nullptr;
    }
    memcpy(names, same.names, same.nameCount * sizeof(FaceName));
    resource->file = RetainFontFile(same.file);
    resource->names = names;
    resource->nameCount = same.nameCount;
    resource->faceCount = same.faceCount;
    return resource;
}

// A new resource with its own copy of the bytes and their faces' names;
// null when no face opens or memory runs out.
FontResource *CopyResource(const void *bytes, DWORD size)
{
    auto *resource = static_cast<FontResource *>(calloc(1, sizeof(FontResource)));
    if (!resource)
        return nullptr;
    resource->file = NewCopiedFontFile(static_cast<const uint8_t *>(bytes), size);
    resource->faceCount = resource->file ? ReadFaces(*resource) : 0;
    if (resource->faceCount <= 0) {
        FreeResource(resource);
        return nullptr;
    }
    return resource;
}

} // namespace

HANDLE AddFontMemResourceEx(LPVOID pFileView, DWORD cjSize, LPVOID pvReserved, DWORD *pNumFonts)
{
    if (!pFileView || cjSize == 0 || pvReserved || !pNumFonts)
        return nullptr;
    FileIdentity source{};
    const bool fromFile = WholeFileViewIdentity(pFileView, cjSize, &source);
    FontResource *same = fromFile ? ResourceOfFile(source) : nullptr;
    if (same && (same->file->size != cjSize || memcmp(same->file->bytes, pFileView, cjSize) != 0)) {
        // The file was rewritten in place and its identity restored: what
        // was read of it before is no longer the file. Nobody asks for it by
        // the file again; a kept one goes now.
        same->fromFile = false;
        if (same->removed) {
            Unlink(same);
            FreeResource(same);
        }
        same = nullptr;
    }
    if (same && same->removed) {
        // Added again: the kept resource comes back as the newest.
        void *handle = AddHandle(ObjectKind::FontResource, same);
        if (!handle)
            return nullptr;
        same->removed = false;
        Unlink(same);
        PushNewest(same);
        *pNumFonts = static_cast<DWORD>(same->faceCount);
        return handle;
    }
    FontResource *resource = same ? ShareResource(*same) : CopyResource(pFileView, cjSize);
    void *handle = resource ? AddHandle(ObjectKind::FontResource, resource) : nullptr;
    if (!handle) {
        if (resource)
            FreeResource(resource);
        return nullptr;
    }
    resource->fromFile = fromFile;
    resource->source = source;
    PushNewest(resource);
    *pNumFonts = static_cast<DWORD>(resource->faceCount);
    return handle;
}

BOOL RemoveFontMemResourceEx(HANDLE h)
{
    auto *resource = static_cast<FontResource *>(RemoveHandle(h, ObjectKind::FontResource));
    if (!resource)
        return FALSE;
    // Fonts already made from it keep their own reference to the bytes. One
    // resource of a file is kept; another of the same file has them anyway.
    if (resource->fromFile && !ResourceOfFile(resource->source, resource)) {
        resource->removed = true;
        resource->removedAt = ++g_removalClock;
        TrimRemoved();
    } else {
        Unlink(resource);
        FreeResource(resource);
    }
    return TRUE;
}

FontFile *AcquirePrivateFontFile(const char *faceName, int *faceIndexOut)
{
    if (!faceName || !faceName[0])
        return nullptr;
    for (const FontResource *resource = g_resources; resource; resource = resource->next) {
        if (resource->removed)
            continue;
        for (size_t i = 0; i < resource->nameCount; ++i) {
            // Face names compare without regard to case, as in GDI.
            if (strcasecmp(resource->names[i].name, faceName) == 0) {
                *faceIndexOut = resource->names[i].faceIndex;
                return RetainFontFile(resource->file);
            }
        }
    }
    return nullptr;
}
