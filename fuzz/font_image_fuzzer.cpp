// SPDX-License-Identifier: MIT
// The font readers and the soft-font writers on a font held in memory: the
// download steps of one font id (its entry with the glyph count and the
// character table, the font header, the text's characters) and the
// glyph-coded soft font of the same id, fed the input's bytes as the font
// file's image. No font file, output file, FreeType face or device context
// is made, so an input costs a fraction of what the API targets spend on
// it; those keep covering the request path around these steps.
//
// Input layout as for the API targets; of the options, kFuzzSecondId adds
// the glyph-coded soft font (the text's units as glyph indexes). A variable
// font also goes out as one of its named instances, under a second id.
#include <cstring>
#include <vector>

#include "download/download.h"
#include "fuzz_check.h"
#include "fuzz_request.h"
#include "truetype/truetype.h"
#include "platform/platform_hooks.h"

namespace {

std::vector<uint8_t> g_output;

int32_t AppendToOutput(XLStream *pStream, uint32_t, const uint8_t *pbyBuffer, int32_t nLength)
{
    g_output.insert(g_output.end(), pbyBuffer, pbyBuffer + nLength);
    pStream->nFillLength = 0;
    return 0;
}

// A face whose file image is the input: mapped already, so the face never
// opens its path, and let go of before the face ends, which would unmap it.
struct ImageFace {
    FontFace face;

    ImageFace(FontSession *pSession, std::span<const uint8_t> image) : face(pSession, true, "fuzz.ttf")
    {
        face.pView = const_cast<uint8_t *>(image.data());
        face.dwViewSize = static_cast<uint32_t>(image.size());
        face.bMapTried = true;
    }
    ~ImageFace() { face.pView = nullptr; }
    ImageFace(const ImageFace &) = delete;
    ImageFace &operator=(const ImageFace &) = delete;
};

// The glyph-coded soft font: its header, then each unit of the text taken
// as a glyph index below the glyph count, once.
void SendGlyphCoded(FontFace &face, FontEntry *pEntry, XLStream *pStream, const std::u16string &text)
{
    if (DownloadFontHeader(&face, pEntry, pStream, SoftFontCoding::kGlyph) != Status::kOk)
        return;
    std::vector<bool> sent(pEntry->nGlyphs);
    bool bBlockOpen = false;
    for (char16_t unit : text) {
        const uint16_t nGlyph = static_cast<uint16_t>(unit % pEntry->nGlyphs);
        if (sent[nGlyph])
            continue;
        sent[nGlyph] = true;
        DownloadCharacter(&face, pStream, pEntry, nGlyph, nGlyph, true, &bBlockOpen, SoftFontCoding::kGlyph);
    }
    if (bBlockOpen)
        XLEndChar(pStream);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const long baseline = (KeepFreedCharacterTables(), PlatformLiveAllocations());
    const FuzzRequest request = SplitFuzzInput(data, size);
    g_output.clear();
    FontSession *pSession = CreateFontSession("");
    XLStream *pStream = XLStreamCreate(4096, AppendToOutput, 0);
    Require(pSession != nullptr && pStream != nullptr, "no session or stream");

    FNDL_TEXTINFOW text{};
    std::memcpy(text.szText, request.text.data(), request.text.size() * sizeof(char16_t));
    text.FontHeight = 120;
    text.bBold = request.options & kFuzzBold ? 1 : 0;
    text.bItalic = request.options & kFuzzItalic ? 1 : 0;
    PageInfo page{};
    char szPath[] = "fuzz.ttf";
    page.chFont = szPath;
    page.nFontId = 1;
    page.nResolution = 600;
    page.bTTE = 1;
    page.nStopX = -1;
    {
        ImageFace image(pSession, request.font);
        FontFace &face = image.face;
        // Only TrueType outlines: a CFF font's outlines come through a
        // FreeType face, which the API targets and the outline target cover.
        FontEntry *pEntry = FindOrAddDownloadedFont(pSession, face, &text, &page);
        if (pEntry != nullptr && !pEntry->bConvertOutlines &&
            DownloadFontHeader(&face, pEntry, pStream) == Status::kOk) {
            AddCharsToFontW(&face, pEntry, pStream, &text, &page);
            for (size_t i = 0; i < request.text.size(); ++i)
                Require(page.anGlyphIndex[i] >= 0 &&
                            static_cast<uint32_t>(page.anGlyphIndex[i]) <= kNoGlyph,
                        "glyph index out of range");
            if (request.options & kFuzzSecondId)
                SendGlyphCoded(face, pEntry, pStream, request.text);
        }
        RemoveFontEntry(pSession, pStream, 1);
    }
    {
        // A variable font's named instance (the text's first unit picks
        // it), its glyphs and header made by the library's variation engine.
        ImageFace image(pSession, request.font);
        FontFace &face = image.face;
        page.nFontId = 2;
        FontEntry *pEntry = FindOrAddDownloadedFont(pSession, face, &text, &page);
        if (pEntry != nullptr && !pEntry->bConvertOutlines && !request.text.empty() &&
            OpenFaceInstanceAt(face, request.text[0] % 8)) {
            pEntry->bVaryOutlines = 1;
            if (DownloadInstanceFontHeader(&face, pEntry, pStream) == Status::kOk)
                AddCharsToFontW(&face, pEntry, pStream, &text, &page);
        }
        RemoveFontEntry(pSession, pStream, 2);
    }
    const bool bStreamFailed = pStream->nErrorCode != XL_ERROR_NONE;
    XLStreamClose(pStream);
    DiscardFontSession(pSession);

    if (!bStreamFailed)
        RequireWellFormedOutput(g_output);
    // The process keeps what it varied or converted (a later job reuses
    // it): let it go before counting what leaked.
    ForgetConvertedGlyphs();
    Require(PlatformLiveAllocations() == baseline, "global-heap blocks leaked");
    return 0;
}
