// Placeholder until TrueType access lands.
#include "truetype/truetype.h"
uint32_t MakeWhackLong(uint32_t v) { return __builtin_bswap32(v); }
uint16_t MakeWhackShort(uint16_t v) { return __builtin_bswap16(v); }
uint32_t ReadFontTable(FontSession *, uint32_t, uint8_t **pp) { *pp = nullptr; return 0; }
int MapFontFile(uint8_t **pp, const char *, uint32_t *) { *pp = nullptr; return 0; }
const uint8_t *FindFontTable(const uint8_t *, uint32_t, const char *, const char *, uint32_t *) { return nullptr; }
int64_t FontDirectoryOffset(const uint8_t *, uint32_t) { return -1; }
void ReleaseFontTable(uint8_t *) {}
void GetTTEFilePointer(FontSession *, int32_t *, uint32_t, const char *, uint8_t **, uint8_t **) {}
int CheckIfCompositeGlyph(const uint8_t *) { return 0; }
int HandleCompositeGlyphW(FontSession *, const uint8_t *, int32_t, const char *, XLStream *) { return 0; }
uint16_t GetNumberOfGlyphsInFont(FontSession *, const char *) { return 0; }
int BuildCharToGlyphTable(FontSession *, FontEntry *, const char *) { return 0; }
void MapSegmentsUnicode(FontEntry *, const uint8_t *, uint32_t) {}
void MapSegmentsSymbol(FontEntry *, const uint8_t *, uint32_t) {}
void BeginFontReadScope() {}
void EndFontReadScope() {}
