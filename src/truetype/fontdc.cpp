// SPDX-License-Identifier: MIT
// A font file's own font in a device context: the file becomes a font
// private to the process (AddFontMemResourceEx) and is selected by the family
// name and style its own tables give, so that its widths and outlines come
// from the same calls, at the same size, as those of an installed font.
#include "truetype/fontdc.h"

#include <cstring>
#include <string_view>

#include "text/text.h"
#include "truetype/bereader.h"
#include "truetype/namestring.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

namespace {

constexpr uint16_t kNameFamily = 1;
constexpr uint16_t kLanguageUsEnglish = 0x0409;
constexpr int kMaxFamilyUnits = 64;

// The family name (name ID 1 of the Windows platform, US English first) of
// the file's first font, as an ANSI face name cut at a character boundary
// to fit; false when there is none.
bool FamilyName(const uint8_t *pView, uint32_t dwViewSize, char (&szFace)[LF_FACESIZE])
{
    uint32_t dwLength = 0;
    const uint8_t *pName = FindTableInImage(pView, dwViewSize, "name", &dwLength);
    const BEReader name(pName, dwLength);
    uint16_t nCount = 0;
    uint16_t nStringsOffset = 0;
    if (!name.U16(NameTable::kCount, nCount) || !name.U16(NameTable::kStringOffset, nStringsOffset))
        return false;
    BEReader chosen;
    bool bEnglish = false;
    for (size_t k = 0; k < nCount && !bEnglish; ++k) {
        const size_t nRecord = NameTable::kFirstRecord + NameTable::kRecordSize * k;
        uint16_t nPlatform = 0, nLanguage = 0, nNameId = 0, nBytes = 0, nOffset = 0;
        if (!name.U16(nRecord + NameTable::kPlatformId, nPlatform) ||
            !name.U16(nRecord + NameTable::kLanguageId, nLanguage) ||
            !name.U16(nRecord + NameTable::kNameId, nNameId) ||
            !name.U16(nRecord + NameTable::kLength, nBytes) ||
            !name.U16(nRecord + NameTable::kOffset, nOffset))
            return false;
        BEReader string;
        if (nPlatform != kSfntPlatformWindows || nNameId != kNameFamily ||
            !name.Sub(size_t{nStringsOffset} + nOffset, nBytes, string) ||
            (chosen.Size() != 0 && nLanguage != kLanguageUsEnglish))
            continue;
        chosen = string;
        bEnglish = nLanguage == kLanguageUsEnglish;
    }
    char szAnsi[4 * kMaxFamilyUnits + 1];
    const int nAnsi = NameStringToAnsi(chosen, szAnsi);
    if (nAnsi == 0)
        return false;
    const std::string_view face =
        LogFontFaceName(std::string_view(szAnsi, static_cast<size_t>(nAnsi)));
    std::memcpy(szFace, face.data(), face.size());
    szFace[face.size()] = '\0';
    return true;
}

// Weight and italic flag of the file's first font, from OS/2.
void FileStyle(const uint8_t *pView, uint32_t dwViewSize, LOGFONTA &lf)
{
    // Two statements: the table's length is known only once it is found.
    uint32_t dwLength = 0;
    const uint8_t *pOs2 = FindTableInImage(pView, dwViewSize, "OS/2", &dwLength);
    const BEReader os2(pOs2, dwLength);
    uint16_t nWeight = 0;
    uint16_t nSelection = 0;
    lf.lfWeight = os2.U16(Os2Table::kUsWeightClass, nWeight) ? nWeight : FW_NORMAL;
    lf.lfItalic = static_cast<BYTE>(
        os2.U16(Os2Table::kFsSelection, nSelection) ? nSelection & Os2Table::kSelectionItalic : 0);
}

// True when the font selected into hdc is the file's: its head table (with
// the checksum adjustment and dates) is the same.
bool SelectedFontIsTheFile(HDC hdc, const uint8_t *pView, uint32_t dwViewSize)
{
    uint32_t dwLength = 0;
    const uint8_t *pHead = FindTableInImage(pView, dwViewSize, "head", &dwLength);
    uint8_t abyHead[HeadTable::kSize];
    return pHead != nullptr && dwLength >= HeadTable::kSize &&
           GetFontData(hdc, FontTableTag("head"), 0, abyHead, HeadTable::kSize) == HeadTable::kSize &&
           std::memcmp(abyHead, pHead, HeadTable::kSize) == 0;
}

} // namespace

FontDC::~FontDC()
{
    if (hdc != nullptr)
        DeleteDC(hdc);
    if (hFont != nullptr)
        DeleteObject(hFont);
    if (hResource != nullptr)
        RemoveFontMemResourceEx(hResource);
    UnmapFontFile(pView);
}

void OpenFontFileDC(const uint8_t *pImage, uint32_t dwImageSize, int nCharSize, FontDC &font)
{
    LOGFONTA lf;
    std::memset(&lf, 0, sizeof(lf));
    lf.lfHeight = -nCharSize;
    lf.lfCharSet = DEFAULT_CHARSET;
    if (pImage == nullptr || !FamilyName(pImage, dwImageSize, lf.lfFaceName))
        return;
    FileStyle(pImage, dwImageSize, lf);
    DWORD nFonts = 0;
    font.hResource = AddFontMemResourceEx(const_cast<uint8_t *>(pImage), dwImageSize, nullptr, &nFonts);
    if (font.hResource == nullptr)
        return;
    font.hFont = CreateFontIndirectA(&lf);
    HDC hdc = font.hFont != nullptr ? CreateCompatibleDC(nullptr) : nullptr;
    if (hdc == nullptr)
        return;
    SelectObject(hdc, font.hFont);
    if (!SelectedFontIsTheFile(hdc, pImage, dwImageSize)) {
        DeleteDC(hdc);
        return;
    }
    font.hdc = hdc;
}

void OpenFontFileDC(const char *szPath, int nCharSize, FontDC &font)
{
    uint32_t dwViewSize = 0;
    if (szPath != nullptr && MapFontFile(&font.pView, szPath, &dwViewSize))
        OpenFontFileDC(font.pView, dwViewSize, nCharSize, font);
}
