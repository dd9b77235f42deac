// SPDX-License-Identifier: MIT
// GetFontData: TrueType tables of the font selected into a device context.
//
// Table 0 is the whole font. For a face of a TrueType collection it is a
// standalone font of that face (its directory built once per logical font,
// its tables copied from the file as they are read), so a reader of
// "the whole font" sees one font with offsets that start at its own first
// byte. The tag 'ttcf' gives the whole collection file, as on Windows.
#include "platform_internal.h"
#include "truetype/fontdata.h"
#include "truetype/sfnt.h"

#include <cstring>

namespace {

constexpr DWORD kWholeCollectionTag = FontTableTag("ttcf");

// Where the bytes that table names for font come from: a run of the file,
// or a collection face's standalone font, made as it is read.
struct TableSource {
    const uint8_t *bytes; // null for the standalone font
    size_t size;
};

// False when the font has no such table.
bool FindTableSource(FontObject &font, DWORD table, TableSource *source)
{
    const FontFile &file = *font.file;
    if (table == 0 || (table == kWholeCollectionTag && font.face.isCollectionMember)) {
        if (!font.face.isCollectionMember || table == kWholeCollectionTag) {
            // A font too short for an offset table is no font at all.
            if (file.size < SfntOffsetTable::kSize)
                return false;
            *source = TableSource{file.bytes, file.size};
            return true;
        }
        if (!font.standaloneDirectory)
            font.standaloneDirectory =
                BuildStandaloneDirectory(font.face, &font.standaloneSize, &font.standaloneDirectorySize);
        *source = TableSource{nullptr, font.standaloneSize};
        return font.standaloneDirectory != nullptr;
    }
    const FaceTableRecord *record = FindTableRecord(font.face, table);
    if (!record)
        return false;
    *source = TableSource{file.bytes + record->offset, record->length};
    return true;
}

} // namespace

DWORD GetFontData(HDC hdc, DWORD dwTable, DWORD dwOffset, LPVOID pvBuffer, DWORD cjBuffer)
{
    FontObject *font = SelectedFont(hdc);
    TableSource source{};
    if (!font || !FindTableSource(*font, dwTable, &source) || source.size >= GDI_ERROR ||
        dwOffset > source.size)
        return GDI_ERROR;
    const size_t available = source.size - dwOffset;
    if (!pvBuffer || cjBuffer == 0)
        return static_cast<DWORD>(available);
    const size_t count = cjBuffer < available ? cjBuffer : available;
    if (source.bytes)
        memcpy(pvBuffer, source.bytes + dwOffset, count);
    else
        ReadStandaloneFont(*font->file, font->face, font->standaloneDirectory,
                           font->standaloneDirectorySize, dwOffset, static_cast<uint8_t *>(pvBuffer), count);
    return static_cast<DWORD>(count);
}

const uint8_t *FontTableInPlace(HDC hdc, DWORD dwTable, DWORD *pdwSize)
{
    if (pdwSize != nullptr)
        *pdwSize = 0;
    // Table 0 of a collection's face is made as it is read: never in place.
    FontObject *font = SelectedFont(hdc);
    TableSource source{};
    if (!font || dwTable == 0 || !FindTableSource(*font, dwTable, &source) || !source.bytes ||
        source.size >= GDI_ERROR || pdwSize == nullptr)
        return nullptr;
    *pdwSize = static_cast<DWORD>(source.size);
    return source.bytes;
}
