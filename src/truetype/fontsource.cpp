// SPDX-License-Identifier: MIT
// TrueType table fetch from the two font sources: the font selected into the
// session's device context (GetFontData), or a font file mapped read-only.
#include <windows.h>


#include "truetype/bereader.h"
#include "truetype/truetype.h"

uint32_t MakeWhackLong(uint32_t dwValue)
{
    return ((dwValue & 0x000000FFu) << 24) | ((dwValue & 0x0000FF00u) << 8) |
           ((dwValue & 0x00FF0000u) >> 8) | ((dwValue & 0xFF000000u) >> 24);
}

uint16_t MakeWhackShort(uint16_t wValue)
{
    return static_cast<uint16_t>((wValue << 8) | (wValue >> 8));
}

namespace {

// A tag's upper-case form, as some fonts spell their directory records.
void UpperTag(const char (&szTag)[5], char (&szUpper)[5])
{
    for (int k = 0; k < 4; ++k)
        szUpper[k] = szTag[k] >= 'a' && szTag[k] <= 'z' ? static_cast<char>(szTag[k] - 'a' + 'A') : szTag[k];
    szUpper[4] = '\0';
}

} // namespace

// Records that do not lie inside the image are not read; a chosen table
// that does not lie inside it counts as absent.
const uint8_t *FindTableInImage(const uint8_t *pView, uint32_t dwViewSize, const char (&szTag)[5],
                                uint32_t *pdwTableLength, TableRecord which)
{
    if (pdwTableLength)
        *pdwTableLength = 0;
    char szUpperTag[5];
    UpperTag(szTag, szUpperTag);
    const uint32_t dwTag = SfntTag(szTag);
    const uint32_t dwUpperTag = SfntTag(szUpperTag);
    const BEReader image(pView, dwViewSize);
    const int64_t nDirectory = FontDirectoryOffset(pView, dwViewSize);
    uint16_t nTables = 0;
    if (nDirectory < 0 || !ReadSfntTableCount(image, static_cast<size_t>(nDirectory), nTables))
        return nullptr;

    bool bFound = false;
    uint32_t dwOffset = 0;
    uint32_t dwLength = 0;
    for (uint32_t k = 0; k < nTables; ++k) {
        SfntTableRecord record{};
        if (!ReadSfntTableRecord(image, static_cast<size_t>(nDirectory), k, record))
            break; // the directory runs past the image
        // Tags compared as four-byte values: every record is compared at
        // every lookup, and the string library's compare costs more.
        const uint32_t dwRecordTag = SfntTag(record.szTag);
        if (dwRecordTag != dwTag && dwRecordTag != dwUpperTag)
            continue;
        bFound = true;
        dwOffset = record.dwOffset;
        dwLength = record.dwLength;
        if (which == TableRecord::kFirst)
            break;
    }
    if (!bFound || !image.Contains(dwOffset, dwLength))
        return nullptr;
    if (pdwTableLength)
        *pdwTableLength = dwLength;
    return pView + dwOffset;
}

uint32_t ReadTableThroughDC(FontSession *pSession, uint32_t dwTag, uint8_t **ppTable, Status *pStatus)
{
    if (!ppTable)
        return 0;
    *ppTable = nullptr;
    if (!pSession)
        return 0;
    HDC hdc = pSession->hdc;
    const DWORD dwSize = GetFontData(hdc, dwTag, 0, nullptr, 0);
    if (dwSize == GDI_ERROR)
        return 0;
    // An empty table is still a table, as in a font file: it gets a block of
    // its own (one byte, never read) so that callers tell it from a missing one.
    auto *pTable = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, dwSize > 0 ? dwSize : 1));
    if (!pTable) {
        if (pStatus)
            *pStatus = Status::kNoMemory;
        return 0;
    }
    DWORD dwRead = 0;
    if (dwSize > 0) {
        dwRead = GetFontData(hdc, dwTag, 0, pTable, dwSize);
        if (dwRead == GDI_ERROR || dwRead == 0 || dwRead > dwSize) {
            GlobalFree(pTable);
            return 0;
        }
    }
    *ppTable = pTable;
    return dwRead;
}

int MapFontFile(uint8_t **ppView, const char *szPath, uint32_t *pdwFileSize)
{
    if (pdwFileSize)
        *pdwFileSize = 0;
    if (!ppView)
        return 0;
    *ppView = nullptr;
    if (!szPath)
        return 0;

    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE || hFile == nullptr)
        return 0;
    // Font files only: a device or a pipe is no font and may not end.
    if (GetFileType(hFile) != FILE_TYPE_DISK) {
        CloseHandle(hFile);
        return 0;
    }
    // An empty file cannot be mapped; a file of 4 GiB or more cannot be a
    // font this library can address.
    DWORD dwSizeHigh = 0;
    const DWORD dwSize = GetFileSize(hFile, &dwSizeHigh);
    if (dwSize == INVALID_FILE_SIZE || dwSizeHigh != 0 || dwSize == 0) {
        CloseHandle(hFile);
        return 0;
    }
    HANDLE hMapping = CreateFileMappingA(hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!hMapping) {
        CloseHandle(hFile);
        return 0;
    }
    void *pView = MapViewOfFile(hMapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(hMapping);
    CloseHandle(hFile);
    if (!pView)
        return 0;

    *ppView = static_cast<uint8_t *>(pView);
    if (pdwFileSize)
        *pdwFileSize = dwSize;
    return 1;
}

int64_t FontDirectoryOffset(const uint8_t *pImage, uint32_t dwImageSize)
{
    const BEReader image(pImage, dwImageSize);
    uint32_t dwFirstFont = 0;
    if (!SfntFaceOffset(image, 0, dwFirstFont) || !image.Contains(dwFirstFont, SfntOffsetTable::kSize))
        return -1;
    return dwFirstFont;
}

void ReleaseFontTable(uint8_t *pStorage)
{
    if (pStorage)
        GlobalFree(pStorage);
}

void UnmapFontFile(uint8_t *pView)
{
    if (pView)
        UnmapViewOfFile(pView);
}
