// GetFontData: TrueType tables of the font selected into a device context.
//
// Table 0 is the whole font. For a face of a TrueType collection it is a
// standalone font of that face (built once per logical font), so a reader of
// "the whole font" sees one font with offsets that start at its own first
// byte. The tag 'ttcf' gives the whole collection file, as on Windows.
#include "platform_internal.h"

#include <cstring>

namespace {

constexpr DWORD kWholeCollectionTag = 0x66637474; // "ttcf", first character low
constexpr size_t kOffsetTableSize = 12;

// The bytes that table names for font; false when there are none.
bool TableBytes(FontObject &font, DWORD table, const uint8_t **bytesOut, size_t *sizeOut)
{
    const FontFile &file = *font.file;
    if (table == 0 || (table == kWholeCollectionTag && font.face.isCollectionMember)) {
        if (!font.face.isCollectionMember || table == kWholeCollectionTag) {
            // A font too short for an offset table is no font at all.
            if (file.size < kOffsetTableSize)
                return false;
            *bytesOut = file.bytes;
            *sizeOut = file.size;
            return true;
        }
        if (!font.standaloneFont)
            font.standaloneFont = BuildStandaloneFont(file, font.face, &font.standaloneSize);
        *bytesOut = font.standaloneFont;
        *sizeOut = font.standaloneSize;
        return font.standaloneFont != nullptr;
    }
    const TableRecord *record = FindTableRecord(font.face, table);
    if (!record)
        return false;
    *bytesOut = file.bytes + record->offset;
    *sizeOut = record->length;
    return true;
}

} // namespace

DWORD GetFontData(HDC hdc, DWORD dwTable, DWORD dwOffset, LPVOID pvBuffer, DWORD cjBuffer)
{
    FontObject *font = SelectedFont(hdc);
    const uint8_t *bytes = nullptr;
    size_t size = 0;
    if (!font || !TableBytes(*font, dwTable, &bytes, &size) || size >= GDI_ERROR || dwOffset > size)
        return GDI_ERROR;
    const size_t available = size - dwOffset;
    if (!pvBuffer || cjBuffer == 0)
        return static_cast<DWORD>(available);
    const size_t count = cjBuffer < available ? cjBuffer : available;
    memcpy(pvBuffer, bytes + dwOffset, count);
    return static_cast<DWORD>(count);
}
