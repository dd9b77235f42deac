// SPDX-License-Identifier: MIT
// Memory device contexts and logical fonts.
//
// A logical font is bound to its font file and face when it is created. As
// in GDI, deleting a font that is still selected into a device context only
// marks it; it goes when the last device context lets go of it.
#include "platform_hooks.h"
#include "platform_internal.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kPathMax = 4096;

void DestroyFont(HGDIOBJ handle, FontObject *font)
{
    RemoveHandle(handle, ObjectKind::Font);
    ReleaseFontMetrics(font);
    free(font->standaloneDirectory);
    FreeFaceDirectory(&font->face);
    ReleaseFontFile(font->file);
    free(font);
}

// Drops one selection of a font; a deleted font goes with its last one.
void Deselect(HFONT handle, FontObject *font)
{
    if (font && --font->selections == 0 && font->deletePending)
        DestroyFont(handle, font);
}

// The font file a logical font resolves to: the served bytes when the test
// hook serves any, else a private font resource of that family, else the
// fontconfig match, else the default sans font.
FontFile *FontFileFor(const LOGFONTA &logfont, int *faceIndexOut)
{
    *faceIndexOut = 0;
    if (FontFile *served = AcquireServedFontFile())
        return served;
    if (FontFile *added = AcquirePrivateFontFile(logfont.lfFaceName, faceIndexOut))
        return added;
    char path[kPathMax];
    if (ResolveFace(logfont.lfFaceName, logfont.lfWeight, logfont.lfItalic != 0, path, sizeof path,
                    faceIndexOut)) {
        if (FontFile *file = AcquireFontFile(path))
            return file;
    }
    if (ResolveDefaultFace(path, sizeof path, faceIndexOut))
        return AcquireFontFile(path);
    return nullptr;
}

} // namespace

FontObject *SelectedFont(HDC hdc)
{
    const auto *dc = static_cast<DeviceContext *>(LookUpHandle(hdc, ObjectKind::DeviceContext));
    return dc ? dc->selected : nullptr;
}

HDC CreateCompatibleDC(HDC hdc)
{
    if (hdc && !LookUpHandle(hdc, ObjectKind::DeviceContext))
        return nullptr;
    auto *dc = static_cast<DeviceContext *>(calloc(1, sizeof(DeviceContext)));
    if (!dc)
        return nullptr;
    void *handle = AddHandle(ObjectKind::DeviceContext, dc);
    if (!handle)
        free(dc);
    return static_cast<HDC>(handle);
}

HFONT CreateFontIndirectA(const LOGFONTA *lplf)
{
    if (!lplf)
        return nullptr;
    auto *font = static_cast<FontObject *>(calloc(1, sizeof(FontObject)));
    if (!font)
        return nullptr;
    // The face name need not be terminated within its 32 bytes.
    font->logfont = *lplf;
    font->logfont.lfFaceName[LF_FACESIZE - 1] = '\0';
    font->file = FontFileFor(font->logfont, &font->faceIndex);
    void *handle = nullptr;
    if (font->file && ReadFaceDirectory(*font->file, font->faceIndex, &font->face))
        handle = AddHandle(ObjectKind::Font, font);
    if (!handle) {
        FreeFaceDirectory(&font->face);
        ReleaseFontFile(font->file);
        free(font);
    }
    return static_cast<HFONT>(handle);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h)
{
    auto *dc = static_cast<DeviceContext *>(LookUpHandle(hdc, ObjectKind::DeviceContext));
    auto *font = static_cast<FontObject *>(LookUpHandle(h, ObjectKind::Font));
    if (!dc || !font)
        return nullptr;
    const HFONT previousHandle = dc->selectedHandle;
    FontObject *previous = dc->selected;
    // Take the new selection first: selecting the selected font again must
    // not let it drop to zero selections on the way.
    ++font->selections;
    dc->selected = font;
    dc->selectedHandle = static_cast<HFONT>(h);
    Deselect(previousHandle, previous);
    return previousHandle;
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type)
{
    const auto *dc = static_cast<DeviceContext *>(LookUpHandle(hdc, ObjectKind::DeviceContext));
    if (!dc || type != OBJ_FONT)
        return nullptr;
    return dc->selectedHandle;
}

BOOL DeleteObject(HGDIOBJ ho)
{
    auto *font = static_cast<FontObject *>(LookUpHandle(ho, ObjectKind::Font));
    if (!font)
        return FALSE;
    if (font->selections > 0)
        font->deletePending = true;
    else
        DestroyFont(ho, font);
    return TRUE;
}

int GetObjectA(HGDIOBJ h, int c, LPVOID pv)
{
    const auto *font = static_cast<FontObject *>(LookUpHandle(h, ObjectKind::Font));
    if (!font)
        return 0;
    if (!pv)
        return static_cast<int>(sizeof(LOGFONTA));
    const size_t n = c < 0 ? 0 : (static_cast<size_t>(c) < sizeof(LOGFONTA) ? static_cast<size_t>(c) : sizeof(LOGFONTA));
    memcpy(pv, &font->logfont, n);
    return static_cast<int>(n);
}

BOOL DeleteDC(HDC hdc)
{
    auto *dc = static_cast<DeviceContext *>(RemoveHandle(hdc, ObjectKind::DeviceContext));
    if (!dc)
        return FALSE;
    Deselect(dc->selectedHandle, dc->selected);
    free(dc);
    return TRUE;
}

long PlatformLiveGdiObjects()
{
    return CountHandles(ObjectKind::DeviceContext) + CountHandles(ObjectKind::Font) +
           CountHandles(ObjectKind::FontResource);
}
