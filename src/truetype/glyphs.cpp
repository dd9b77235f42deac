// SPDX-License-Identifier: MIT
// Glyph location through head, loca and glyf, and the components of
// composite glyphs, sent as characters of their own.
#include <windows.h>

#include <array>
#include <cstring>

#include "truetype/bereader.h"
#include "truetype/truetype.h"

namespace {

struct GlyphTables {
    BEReader glyf;
    BEReader loca;
    BEReader head;
    BEReader maxp;
};

// Where glyph i lies in a glyf table of dwGlyfSize bytes: start and end
// from loca in the form head declares. False when it cannot be located: an
// index at or above maxp.numGlyphs, a loca entry outside loca, an offset
// outside glyf, or a glyph too long for a character record.
bool FindGlyphRange(const BEReader &loca, const BEReader &head, const BEReader &maxp,
                    size_t nGlyfSize, uint32_t i, uint32_t &dwStart, uint32_t &dwEnd)
{
    constexpr size_t kIndexToLocFormat = 50;
    constexpr size_t kNumGlyphs = 4;
    int16_t nIndexToLocFormat = 0;
    uint16_t nGlyphs = 0;
    if (!head.I16(kIndexToLocFormat, nIndexToLocFormat) || !maxp.U16(kNumGlyphs, nGlyphs) ||
        i >= nGlyphs)
        return false;

    if (nIndexToLocFormat == 0) {
        uint16_t wStart = 0;
        uint16_t wEnd = 0;
        if (!loca.U16(2 * size_t{i}, wStart) || !loca.U16(2 * size_t{i} + 2, wEnd))
            return false;
        dwStart = 2u * wStart;
        dwEnd = 2u * wEnd;
    } else if (!loca.U32(4 * size_t{i}, dwStart) || !loca.U32(4 * size_t{i} + 4, dwEnd)) {
        return false;
    }
    if (dwStart > nGlyfSize || dwEnd > nGlyfSize)
        return false;
    return int64_t{dwEnd} - int64_t{dwStart} <= kMaxCharacterGlyphLength;
}

// The length of a located glyph (negative for a corrupt loca whose end
// precedes its start), and whether it has a pointer: its end is nonzero and
// not before its start.
int32_t GlyphLength(uint32_t dwStart, uint32_t dwEnd)
{
    return static_cast<int32_t>(int64_t{dwEnd} - int64_t{dwStart});
}

bool GlyphHasData(uint32_t dwStart, uint32_t dwEnd)
{
    return dwEnd != 0 && dwEnd >= dwStart;
}

// Finds glyph i in the tables. Writes the length when it can be located,
// and the pointer when it has data. Writes nothing otherwise.
void LocateGlyph(const GlyphTables &tables, uint32_t i, int32_t *pnLength, uint8_t **ppGlyph)
{
    uint32_t dwStart = 0;
    uint32_t dwEnd = 0;
    if (!FindGlyphRange(tables.loca, tables.head, tables.maxp, tables.glyf.Size(), i, dwStart, dwEnd))
        return;
    *pnLength = GlyphLength(dwStart, dwEnd);
    if (GlyphHasData(dwStart, dwEnd))
        *ppGlyph = const_cast<uint8_t *>(tables.glyf.Data()) + dwStart;
}

// Device-context source: the four tables as copies; glyf goes to the caller.
void LocateGlyphThroughDC(FontSession *pSession, uint32_t i, int32_t *pnLength,
                          uint8_t **ppGlyph, uint8_t **ppStorage)
{
    uint8_t *pGlyf = nullptr;
    uint8_t *pLoca = nullptr;
    uint8_t *pHead = nullptr;
    uint8_t *pMaxp = nullptr;
    const uint32_t dwGlyfSize = ReadFontTable(pSession, FontTableTag("glyf"), &pGlyf);
    *ppStorage = pGlyf;
    const uint32_t dwLocaSize = ReadFontTable(pSession, FontTableTag("loca"), &pLoca);
    const uint32_t dwHeadSize = ReadFontTable(pSession, FontTableTag("head"), &pHead);
    const uint32_t dwMaxpSize = ReadFontTable(pSession, FontTableTag("maxp"), &pMaxp);
    if (pGlyf && pLoca && pHead && pMaxp) {
        const GlyphTables tables{BEReader(pGlyf, dwGlyfSize), BEReader(pLoca, dwLocaSize),
                                 BEReader(pHead, dwHeadSize), BEReader(pMaxp, dwMaxpSize)};
        LocateGlyph(tables, i, pnLength, ppGlyph);
    }
    ReleaseFontTable(pLoca);
    ReleaseFontTable(pHead);
    ReleaseFontTable(pMaxp);
}

// The four glyph tables inside a mapped font file; false when one is missing.
bool FindGlyphTablesInView(const uint8_t *pView, uint32_t dwViewSize, GlyphTables &tables)
{
    uint32_t dwGlyfSize = 0, dwLocaSize = 0, dwHeadSize = 0, dwMaxpSize = 0;
    const uint8_t *pGlyf = FindFontTable(pView, dwViewSize, "glyf", "GLYF", &dwGlyfSize);
    const uint8_t *pLoca = FindFontTable(pView, dwViewSize, "loca", "LOCA", &dwLocaSize);
    const uint8_t *pHead = FindFontTable(pView, dwViewSize, "head", "HEAD", &dwHeadSize);
    // The glyph count that limits glyph indices is the one the download
    // took: from the first maxp record.
    const uint8_t *pMaxp = FindFirstFontTable(pView, dwViewSize, "maxp", "MAXP", &dwMaxpSize);
    if (!pGlyf || !pLoca || !pHead || !pMaxp)
        return false;
    tables = GlyphTables{BEReader(pGlyf, dwGlyfSize), BEReader(pLoca, dwLocaSize),
                         BEReader(pHead, dwHeadSize), BEReader(pMaxp, dwMaxpSize)};
    return true;
}

// Font-file source: the tables inside the view; the view goes to the caller.
void LocateGlyphInFile(const char *szFontPath, uint32_t i, int32_t *pnLength, uint8_t **ppGlyph,
                       uint8_t **ppStorage)
{
    uint8_t *pView = nullptr;
    uint32_t dwViewSize = 0;
    if (!MapFontFile(&pView, szFontPath, &dwViewSize)) {
        bFontFileError = 1;
        return;
    }
    *ppStorage = pView;
    GlyphTables tables;
    if (FindGlyphTablesInView(pView, dwViewSize, tables))
        LocateGlyph(tables, i, pnLength, ppGlyph);
}

// Inside a read scope: the glyph tables of one font source, found once and
// used for every glyph of the call. They lie in storage that the scope
// keeps, so they stay valid while the scope that found them is open.
struct ScopedGlyphSource {
    uint64_t nScopeId;     // 0: nothing found yet
    int bFromFile;         // the source, as bTTE selected it
    HDC hdc;               // device-context source
    const uint8_t *pView;  // font-file source
    bool bComplete;        // all four tables are there
    GlyphTables tables;    // through the device context glyf has only its size
    uint32_t dwGlyfSize;
};

ScopedGlyphSource g_scopedSource;

bool IsScopedSource(uint64_t nScopeId, int bFromFile, HDC hdc, const uint8_t *pView)
{
    return g_scopedSource.nScopeId == nScopeId && g_scopedSource.bFromFile == bFromFile &&
           g_scopedSource.hdc == hdc && g_scopedSource.pView == pView;
}

// Device context inside a scope: loca, head and maxp are kept copies; of
// glyf only the size is asked for, and each glyph is read on its own into
// a block that the caller releases as the glyph's storage.
void LocateGlyphThroughDCInScope(FontSession *pSession, uint64_t nScopeId, uint32_t i,
                                 int32_t *pnLength, uint8_t **ppGlyph, uint8_t **ppStorage)
{
    HDC hdc = pSession ? pSession->hdc : nullptr;
    if (!IsScopedSource(nScopeId, 0, hdc, nullptr)) {
        ScopedGlyphSource source{nScopeId, 0, hdc, nullptr, false, {}, 0};
        uint8_t *pLoca = nullptr;
        uint8_t *pHead = nullptr;
        uint8_t *pMaxp = nullptr;
        const uint32_t dwLocaSize = ReadFontTable(pSession, FontTableTag("loca"), &pLoca);
        const uint32_t dwHeadSize = ReadFontTable(pSession, FontTableTag("head"), &pHead);
        const uint32_t dwMaxpSize = ReadFontTable(pSession, FontTableTag("maxp"), &pMaxp);
        const DWORD dwGlyfSize = hdc ? GetFontData(hdc, FontTableTag("glyf"), 0, nullptr, 0) : GDI_ERROR;
        auto keptOrAbsent = [](const uint8_t *pTable) {
            return pTable == nullptr || IsKeptByFontReadScope(pTable);
        };
        const bool bKept = keptOrAbsent(pLoca) && keptOrAbsent(pHead) && keptOrAbsent(pMaxp);
        if (pLoca && pHead && pMaxp && dwGlyfSize != GDI_ERROR && bKept) {
            source.bComplete = true;
            source.tables = GlyphTables{BEReader(), BEReader(pLoca, dwLocaSize),
                                        BEReader(pHead, dwHeadSize), BEReader(pMaxp, dwMaxpSize)};
            source.dwGlyfSize = dwGlyfSize;
        }
        if (!bKept) {
            // The scope has no room left: look glyphs up the plain way.
            ReleaseFontTable(pLoca);
            ReleaseFontTable(pHead);
            ReleaseFontTable(pMaxp);
            LocateGlyphThroughDC(pSession, i, pnLength, ppGlyph, ppStorage);
            return;
        }
        g_scopedSource = source;
    }
    if (!g_scopedSource.bComplete)
        return;

    const GlyphTables &tables = g_scopedSource.tables;
    uint32_t dwStart = 0;
    uint32_t dwEnd = 0;
    if (!FindGlyphRange(tables.loca, tables.head, tables.maxp, g_scopedSource.dwGlyfSize, i, dwStart,
                        dwEnd))
        return;
    const int32_t nLength = GlyphLength(dwStart, dwEnd);
    if (!GlyphHasData(dwStart, dwEnd)) {
        *pnLength = nLength;
        return;
    }
    // An empty glyph still gets a pointer, as from a whole copy of glyf.
    auto *pGlyph = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, nLength > 0 ? nLength : 1));
    if (!pGlyph) {
        RecordFontReadOutOfMemory();
        return;
    }
    if (nLength > 0 && GetFontData(hdc, FontTableTag("glyf"), dwStart, pGlyph,
                                   static_cast<DWORD>(nLength)) != static_cast<DWORD>(nLength)) {
        GlobalFree(pGlyph);
        return;
    }
    *ppStorage = pGlyph;
    *pnLength = nLength;
    *ppGlyph = pGlyph;
}

// Font file inside a scope: the view is kept, and its four tables are found
// once.
void LocateGlyphInFileInScope(const char *szFontPath, uint64_t nScopeId, uint32_t i,
                              int32_t *pnLength, uint8_t **ppGlyph, uint8_t **ppStorage)
{
    uint8_t *pView = nullptr;
    uint32_t dwViewSize = 0;
    if (!MapFontFile(&pView, szFontPath, &dwViewSize)) {
        bFontFileError = 1;
        return;
    }
    if (!IsKeptByFontReadScope(pView)) {
        // The scope has no room left: look glyphs up the plain way.
        ReleaseFontTable(pView);
        LocateGlyphInFile(szFontPath, i, pnLength, ppGlyph, ppStorage);
        return;
    }
    *ppStorage = pView;
    if (!IsScopedSource(nScopeId, 1, nullptr, pView)) {
        ScopedGlyphSource source{nScopeId, 1, nullptr, pView, false, {}, 0};
        if (FindGlyphTablesInView(pView, dwViewSize, source.tables)) {
            source.bComplete = true;
            source.dwGlyfSize = static_cast<uint32_t>(source.tables.glyf.Size());
        }
        g_scopedSource = source;
    }
    if (g_scopedSource.bComplete)
        LocateGlyph(g_scopedSource.tables, i, pnLength, ppGlyph);
}

// Component record flags that decide the record's size.
constexpr uint16_t kArg1And2AreWords = 0x0001;
constexpr uint16_t kWeHaveAScale = 0x0008;
constexpr uint16_t kMoreComponents = 0x0020;
constexpr uint16_t kWeHaveAnXAndYScale = 0x0040;
constexpr uint16_t kWeHaveATwoByTwo = 0x0080;
constexpr size_t kFirstComponentRecord = 10; // after numberOfContours and the bounding box

size_t ComponentRecordSize(uint16_t wFlags)
{
    size_t nSize = 4 + ((wFlags & kArg1And2AreWords) ? 4 : 2);
    if (wFlags & kWeHaveAScale)
        nSize += 2;
    else if (wFlags & kWeHaveAnXAndYScale)
        nSize += 4;
    else if (wFlags & kWeHaveATwoByTwo)
        nSize += 8;
    return nSize;
}

// Glyph indices sent within one composite walk.
struct SentGlyphSet {
    std::array<uint64_t, 0x10000 / 64> aBits{};
    bool Contains(uint16_t wGlyph) const { return (aBits[wGlyph >> 6] >> (wGlyph & 63)) & 1u; }
    void Add(uint16_t wGlyph) { aBits[wGlyph >> 6] |= uint64_t{1} << (wGlyph & 63); }
};

struct CompositeWalk {
    FontSession *pSession;
    const char *szFontPath;
    XLStream *pStream;
    SentGlyphSet sent;
};

int SendComponents(CompositeWalk &walk, const BEReader &composite, int nDepth);

// Locates one component, sends it, and walks its own components when it is
// composite. 0 when it cannot be located or sent.
int SendComponent(CompositeWalk &walk, uint16_t wGlyphIndex, int nDepth)
{
    int32_t nLength = 0;
    uint8_t *pGlyph = nullptr;
    uint8_t *pStorage = nullptr;
    GetTTEFilePointer(walk.pSession, &nLength, wGlyphIndex, walk.szFontPath, &pGlyph, &pStorage);
    int nResult = 0;
    if (nLength > 0 && pGlyph &&
        SendGlyphAsCharacter(walk.pStream, 0xFFFF, wGlyphIndex, pGlyph, nLength)) {
        walk.sent.Add(wGlyphIndex);
        nResult = 1;
        if (CheckIfCompositeGlyph(pGlyph) && nDepth < kMaxCompositeDepth)
            nResult = SendComponents(walk, BEReader(pGlyph, static_cast<size_t>(nLength)),
                                     nDepth + 1);
    }
    ReleaseFontTable(pStorage);
    return nResult;
}

// Walks the component records of a composite at depth nDepth (1 for the
// glyph the caller sent), bounded by the composite's own data.
int SendComponents(CompositeWalk &walk, const BEReader &composite, int nDepth)
{
    size_t nPosition = kFirstComponentRecord;
    for (;;) {
        uint16_t wFlags = 0;
        uint16_t wGlyphIndex = 0;
        if (!composite.U16(nPosition, wFlags) || !composite.U16(nPosition + 2, wGlyphIndex))
            return 0;
        const size_t nRecordSize = ComponentRecordSize(wFlags);
        if (!composite.Contains(nPosition, nRecordSize))
            return 0;
        nPosition += nRecordSize;
        if (!walk.sent.Contains(wGlyphIndex) && !SendComponent(walk, wGlyphIndex, nDepth))
            return 0;
        if (!(wFlags & kMoreComponents))
            return 1;
    }
}

} // namespace

void GetTTEFilePointer(FontSession *pSession, int32_t *pnLength, uint32_t nGlyphIndex,
                       const char *szFontPath, uint8_t **ppGlyph, uint8_t **ppStorage)
{
    if (!pnLength || !ppGlyph || !ppStorage)
        return;
    const uint32_t i = nGlyphIndex & 0xFFFF;
    const uint64_t nScopeId = FontReadScopeId();
    if (bTTE && nScopeId != 0)
        LocateGlyphInFileInScope(szFontPath, nScopeId, i, pnLength, ppGlyph, ppStorage);
    else if (bTTE)
        LocateGlyphInFile(szFontPath, i, pnLength, ppGlyph, ppStorage);
    else if (nScopeId != 0)
        LocateGlyphThroughDCInScope(pSession, nScopeId, i, pnLength, ppGlyph, ppStorage);
    else
        LocateGlyphThroughDC(pSession, i, pnLength, ppGlyph, ppStorage);
}

int CheckIfCompositeGlyph(const uint8_t *pGlyph)
{
    return pGlyph && (pGlyph[0] & 0x80) ? 1 : 0;
}

int SendGlyphAsCharacter(XLStream *pStream, uint16_t nCharCode, uint16_t nGlyphIndex,
                         const uint8_t *pGlyph, int32_t nGlyphLength)
{
    if (nGlyphLength < 0 || nGlyphLength > kMaxCharacterGlyphLength ||
        (nGlyphLength > 0 && !pGlyph))
        return 0;
    const uint32_t dwRecordLength = static_cast<uint32_t>(nGlyphLength) + 6;
    auto *pRecord = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, dwRecordLength));
    if (!pRecord) {
        // A character that cannot go out leaves a hole the printer cannot
        // see: stop the stream so the request fails instead.
        XLRecordError(pStream, XL_ERROR_NO_MEMORY);
        return 0;
    }
    const uint32_t dwSizeField = static_cast<uint32_t>(nGlyphLength) + 4;
    pRecord[0] = 1; // format
    pRecord[1] = 0; // class
    pRecord[2] = static_cast<uint8_t>(dwSizeField >> 8);
    pRecord[3] = static_cast<uint8_t>(dwSizeField);
    pRecord[4] = static_cast<uint8_t>(nGlyphIndex >> 8);
    pRecord[5] = static_cast<uint8_t>(nGlyphIndex);
    if (nGlyphLength > 0)
        std::memcpy(pRecord + 6, pGlyph, static_cast<size_t>(nGlyphLength));
    XLReadChar(pStream, nCharCode, dwRecordLength);
    XLWriteEmbeddedData(pStream, pRecord, dwRecordLength);
    GlobalFree(pRecord);
    return 1;
}

int HandleCompositeGlyphW(FontSession *pSession, const uint8_t *pGlyph, int32_t nGlyphLength,
                          uint32_t nGlyphIndex, const char *szFontPath, XLStream *pStream)
{
    if (!pGlyph || nGlyphLength <= 0)
        return 0;
    // One 8 KiB set per walk, shared by reference down the recursion.
    CompositeWalk walk{pSession, szFontPath, pStream, {}};
    walk.sent.Add(static_cast<uint16_t>(nGlyphIndex & 0xFFFF));
    return SendComponents(walk, BEReader(pGlyph, static_cast<size_t>(nGlyphLength)), 1);
}
