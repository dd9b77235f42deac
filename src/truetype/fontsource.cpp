// SPDX-License-Identifier: MIT
// TrueType table fetch from the two font sources: the font selected into the
// session's device context (GetFontData), or a font file mapped read-only.
// Also the read scope that lets one download call fetch each table and map
// each file once.
#include <windows.h>

#include <cstring>

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

// What a read scope keeps. Fixed slots: a download call reads a handful of
// tables from one font; when the slots are full, tables are simply fetched
// and released as without a scope.
constexpr int kKeptTableSlots = 16;
constexpr int kKeptViewSlots = 4;
constexpr size_t kKeptPathSize = 260;

struct KeptTable {
    HDC hdc;
    uint32_t dwTag;
    uint8_t *pTable;
    uint32_t dwSize;
};

struct KeptView {
    char szPath[kKeptPathSize];
    uint8_t *pView;
    uint32_t dwSize;
};

struct FontReadScope {
    int nOpen; // Begin calls not yet matched by End
    uint64_t nId; // of the open scope; every outermost Begin takes a new one
    bool bDisabled; // test hook: keep nothing
    int nTables;
    KeptTable aTables[kKeptTableSlots];
    int nViews;
    KeptView aViews[kKeptViewSlots];
};

FontReadScope g_readScope;
uint64_t g_nLastScopeId = 0;

bool ScopeKeeps() { return g_readScope.nOpen > 0 && !g_readScope.bDisabled; }

bool IsKeptStorage(const uint8_t *pStorage)
{
    for (int i = 0; i < g_readScope.nTables; ++i)
        if (g_readScope.aTables[i].pTable == pStorage)
            return true;
    for (int i = 0; i < g_readScope.nViews; ++i)
        if (g_readScope.aViews[i].pView == pStorage)
            return true;
    return false;
}

const KeptTable *FindKeptTable(HDC hdc, uint32_t dwTag)
{
    for (int i = 0; i < g_readScope.nTables; ++i)
        if (g_readScope.aTables[i].hdc == hdc && g_readScope.aTables[i].dwTag == dwTag)
            return &g_readScope.aTables[i];
    return nullptr;
}

const KeptView *FindKeptView(const char *szPath)
{
    for (int i = 0; i < g_readScope.nViews; ++i)
        if (std::strcmp(g_readScope.aViews[i].szPath, szPath) == 0)
            return &g_readScope.aViews[i];
    return nullptr;
}

void KeepTable(HDC hdc, uint32_t dwTag, uint8_t *pTable, uint32_t dwSize)
{
    if (!ScopeKeeps() || g_readScope.nTables == kKeptTableSlots)
        return;
    g_readScope.aTables[g_readScope.nTables++] = KeptTable{hdc, dwTag, pTable, dwSize};
}

void KeepView(const char *szPath, uint8_t *pView, uint32_t dwSize)
{
    size_t nPathLength = std::strlen(szPath);
    if (!ScopeKeeps() || g_readScope.nViews == kKeptViewSlots || nPathLength >= kKeptPathSize)
        return;
    KeptView &kept = g_readScope.aViews[g_readScope.nViews++];
    std::memcpy(kept.szPath, szPath, nPathLength + 1);
    kept.pView = pView;
    kept.dwSize = dwSize;
}

bool TagMatches(const char (&szRecordTag)[5], const char *szTag, const char *szUpperTag)
{
    return (szTag && std::strcmp(szRecordTag, szTag) == 0) ||
           (szUpperTag && std::strcmp(szRecordTag, szUpperTag) == 0);
}

// Directory search shared by FindFontTable (last match) and
// FindFirstFontTable (first match). Records that do not lie inside the image
// are not read; a chosen table that does not lie inside it counts as absent.
const uint8_t *SearchFontDirectory(const uint8_t *pView, uint32_t dwViewSize, const char *szTag,
                                   const char *szUpperTag, uint32_t *pdwTableLength,
                                   bool bFirstMatch)
{
    if (pdwTableLength)
        *pdwTableLength = 0;
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
        if (!TagMatches(record.szTag, szTag, szUpperTag))
            continue;
        bFound = true;
        dwOffset = record.dwOffset;
        dwLength = record.dwLength;
        if (bFirstMatch)
            break;
    }
    if (!bFound || !image.Contains(dwOffset, dwLength))
        return nullptr;
    if (pdwTableLength)
        *pdwTableLength = dwLength;
    return pView + dwOffset;
}

} // namespace

void RecordFontReadOutOfMemory()
{
    XLRecordError(g_pStream, XL_ERROR_NO_MEMORY);
}

uint32_t ReadFontTable(FontSession *pSession, uint32_t dwTag, uint8_t **ppTable)
{
    if (!ppTable)
        return 0;
    *ppTable = nullptr;
    if (!pSession)
        return 0;
    HDC hdc = pSession->hdc;

    // The whole font is read once per new font; only tables are kept.
    const bool bKeepable = ScopeKeeps() && dwTag != 0;
    if (bKeepable) {
        if (const KeptTable *pKept = FindKeptTable(hdc, dwTag)) {
            *ppTable = pKept->pTable;
            return pKept->dwSize;
        }
    }

    const DWORD dwSize = GetFontData(hdc, dwTag, 0, nullptr, 0);
    if (dwSize == GDI_ERROR)
        return 0;
    // An empty table is still a table, as in a font file: it gets a block of
    // its own (one byte, never read) so that callers tell it from a missing one.
    auto *pTable = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, dwSize > 0 ? dwSize : 1));
    if (!pTable) {
        RecordFontReadOutOfMemory();
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
    if (bKeepable)
        KeepTable(hdc, dwTag, pTable, dwRead);
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

    if (ScopeKeeps()) {
        if (const KeptView *pKept = FindKeptView(szPath)) {
            *ppView = pKept->pView;
            if (pdwFileSize)
                *pdwFileSize = pKept->dwSize;
            return 1;
        }
    }

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
    KeepView(szPath, *ppView, dwSize);
    return 1;
}

int64_t FontDirectoryOffset(const uint8_t *pImage, uint32_t dwImageSize)
{
    const BEReader image(pImage, dwImageSize);
    uint32_t dwFirstFont = 0;
    if (!SfntFaceOffset(image, 0, dwFirstFont) || !image.Contains(dwFirstFont, kSfntOffsetTableSize))
        return -1;
    return dwFirstFont;
}

const uint8_t *FindFontTable(const uint8_t *pView, uint32_t dwViewSize, const char *szTag,
                             const char *szUpperTag, uint32_t *pdwTableLength)
{
    return SearchFontDirectory(pView, dwViewSize, szTag, szUpperTag, pdwTableLength, false);
}

const uint8_t *FindFirstFontTable(const uint8_t *pView, uint32_t dwViewSize, const char *szTag,
                                  const char *szUpperTag, uint32_t *pdwTableLength)
{
    return SearchFontDirectory(pView, dwViewSize, szTag, szUpperTag, pdwTableLength, true);
}

void ReleaseFontTable(uint8_t *pStorage)
{
    if (!pStorage || IsKeptStorage(pStorage))
        return;
    if (bTTE)
        UnmapViewOfFile(pStorage);
    else
        GlobalFree(pStorage);
}

void BeginFontReadScope()
{
    if (g_readScope.nOpen++ == 0) {
        g_readScope.nId = ++g_nLastScopeId; // zero stands for no scope
    }
}

uint64_t FontReadScopeId()
{
    return ScopeKeeps() ? g_readScope.nId : 0;
}

bool IsKeptByFontReadScope(const uint8_t *pStorage)
{
    return pStorage != nullptr && IsKeptStorage(pStorage);
}

void EnableFontReadScopes(bool bEnabled)
{
    g_readScope.bDisabled = !bEnabled;
}

void EndFontReadScope()
{
    if (g_readScope.nOpen == 0)
        return;
    if (--g_readScope.nOpen > 0)
        return;
    for (int i = 0; i < g_readScope.nTables; ++i)
        GlobalFree(g_readScope.aTables[i].pTable);
    for (int i = 0; i < g_readScope.nViews; ++i)
        UnmapViewOfFile(g_readScope.aViews[i].pView);
    g_readScope.nTables = 0;
    g_readScope.nViews = 0;
    g_readScope.nId = 0;
}
