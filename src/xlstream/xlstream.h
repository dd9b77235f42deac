// SPDX-License-Identifier: MIT
// PCL XL stream writer: a buffered encoder of PCL XL binary tokens
// (little-endian) with a sticky error code and a write callback.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

struct XLStream;

// Receives the buffered bytes. Must consume them all and leave the stream's
// fill length at 0; may record a nonzero error code in the stream.
typedef int32_t (*XLWriteCallback)(XLStream *pStream, uint32_t dwUser, const uint8_t *pbyBuffer,
                                   int32_t nLength);

struct XLStream {
    uint8_t *pbyBuffer;
    int32_t nBufferSize;
    int32_t nFillLength;
    int32_t nByteCount;
    int16_t nErrorCode;
    uint16_t nErrorCount;
    XLWriteCallback pfnWrite;
    uint32_t dwUser;
    FILE *pOutputFile; // used by the callback only
    // Set by the owner: operators stay in the buffer until it is full or
    // XLStreamFlush hands it over, instead of one hand-over each.
    bool bBatchOperators;
    int32_t nOperatorEnd; // buffered bytes up to the end of the last operator
};

// Error codes recorded in nErrorCode.
enum : int16_t {
    XL_ERROR_NONE = 0,
    XL_ERROR_BAD_OPERATOR = -2,
    XL_ERROR_BAD_ATTRIBUTE = -3,
    XL_ERROR_NO_MEMORY = -4,
    XL_ERROR_ZERO_BUFFER = -5,
    XL_ERROR_NO_CALLBACK = -8,
    XL_ERROR_WRITE_FAILED = -9, // recorded by a callback whose file refused the bytes
};

// Records an error in the stream: the first code stays (and stops all
// further output), every error is counted. Null does nothing. The one way
// anything, writer or caller, records a stream error.
void XLRecordError(XLStream *pStream, int16_t nCode);

// Accepted operator and attribute codes: the entry equals the code, 0 rejects.
extern const std::array<uint8_t, 256> XLOperatorTable;
extern const std::array<uint8_t, 256> XLAttributeTable;

// Null when the callback is missing, the buffer is smaller than the widest
// single put (4 bytes) or memory runs out.
XLStream *XLStreamCreate(int32_t nBufferSize, XLWriteCallback pfnWrite, uint32_t dwUser);
int32_t XLStreamClose(XLStream *pStream);
// Hands a batching stream's buffered operators over, as the hand-overs
// after each of them would have: after an error only up to the end of the
// last whole operator. Before anything else writes to the callback's file.
void XLStreamFlush(XLStream *pStream);

int32_t XLWriteUByte(XLStream *pStream, uint8_t value);
int32_t XLWriteUInt16(XLStream *pStream, uint16_t value);
int32_t XLWriteSInt16(XLStream *pStream, int16_t value);
int32_t XLWriteUInt32(XLStream *pStream, uint32_t value);
int32_t XLWriteReal32(XLStream *pStream, float value);
int32_t XLWriteReal32XY(XLStream *pStream, float x, float y);
int32_t XLWriteUByteArray(XLStream *pStream, const uint8_t *pbyBytes, uint16_t nCount);
int32_t XLWriteUInt16Array(XLStream *pStream, const uint16_t *pnValues, uint16_t nCount);
int32_t XLWriteSInt16Array(XLStream *pStream, const int16_t *pnValues, uint16_t nCount);
int32_t XLWriteDataLength(XLStream *pStream, uint32_t dwLength);
int32_t XLWriteEmbeddedData(XLStream *pStream, const uint8_t *pbyBytes, uint32_t dwLength);
// One embedded data block of two parts, as XLWriteEmbeddedData of the two
// joined (their lengths sum below 4 GiB): a record's header and the bytes
// that follow it where they lie.
int32_t XLWriteEmbeddedDataParts(XLStream *pStream, const uint8_t *pbyHead, uint32_t dwHeadLength,
                                 const uint8_t *pbyBody, uint32_t dwBodyLength);
int32_t XLWriteAttribute(XLStream *pStream, uint16_t nAttributeId);
int32_t XLWriteOperator(XLStream *pStream, uint16_t nOperatorCode);

// Operator sequences: the attributes of one operator, then the operator.
// Font name lengths count modulo 65536.
void XLBeginFontHeader(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength,
                       uint8_t nFontFormat);
void XLReadFontHeader(XLStream *pStream, uint16_t nHeaderLength);
void XLEndFontHeader(XLStream *pStream);
void XLBeginChar(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength);
void XLReadChar(XLStream *pStream, uint16_t nCharCode, uint32_t dwCharDataSize);
void XLEndChar(XLStream *pStream);
void XLRemoveFont(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength);
void XLSetCharAngle(XLStream *pStream, int16_t nAngle);
void XLSetCharShear(XLStream *pStream, float x, float y);
void XLSetFont(XLStream *pStream, const uint8_t *pbyName, uint32_t nNameLength, float fCharSize,
               uint16_t nSymbolSet);
void XLSetCharBoldValue(XLStream *pStream, float fBoldValue);
// Text: the character codes (TextData), the cursor's move after each
// character (XSpacingData, and YSpacingData unless pnYSpacing is null).
void XLText(XLStream *pStream, const uint16_t *pnCodes, const int16_t *pnXSpacing,
            const int16_t *pnYSpacing, uint16_t nCount);
