// Placeholder until the stream writer lands.
#include "xlstream/xlstream.h"
const uint8_t XLOperatorTable[256] = {};
const uint8_t XLAttributeTable[256] = {};
XLStream *XLStreamCreate(int32_t, XLWriteCallback, uint32_t) { return nullptr; }
int32_t XLStreamClose(XLStream *) { return 0; }
int32_t XLWriteUByte(XLStream *, uint8_t) { return 0; }
int32_t XLWriteUInt16(XLStream *, uint16_t) { return 0; }
int32_t XLWriteSInt16(XLStream *, int16_t) { return 0; }
int32_t XLWriteUInt32(XLStream *, uint32_t) { return 0; }
int32_t XLWriteReal32(XLStream *, float) { return 0; }
int32_t XLWriteReal32XY(XLStream *, float, float) { return 0; }
int32_t XLWriteUByteArray(XLStream *, const uint8_t *, uint16_t) { return 0; }
int32_t XLWriteDataLength(XLStream *, uint32_t) { return 0; }
int32_t XLWriteEmbeddedData(XLStream *, const uint8_t *, uint32_t) { return 0; }
int32_t XLWriteAttribute(XLStream *, uint16_t) { return 0; }
int32_t XLWriteOperator(XLStream *, uint16_t) { return 0; }
void XLBeginFontHeader(XLStream *, const uint8_t *, uint32_t, uint8_t) {}
void XLReadFontHeader(XLStream *, uint16_t) {}
void XLEndFontHeader(XLStream *) {}
void XLBeginChar(XLStream *, const uint8_t *, uint32_t) {}
void XLReadChar(XLStream *, uint16_t, uint32_t) {}
void XLEndChar(XLStream *) {}
void XLRemoveFont(XLStream *, const uint8_t *, uint32_t) {}
void XLSetCharAngle(XLStream *, int16_t) {}
void XLSetCharShear(XLStream *, float, float) {}
void XLSetFont(XLStream *, const uint8_t *, uint32_t, float, uint16_t) {}
void XLSetCharBoldValue(XLStream *, float) {}
