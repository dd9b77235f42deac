// SPDX-License-Identifier: MIT
// PCL XL stream writer: typed values, attribute identifiers, operators and
// embedded data, encoded little-endian into a fixed buffer that is handed to
// the write callback when it runs out of room and after every operator (or,
// batching, when flushed).
#include "xlstream/xlstream.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "xlstream/xlcodes.h"
#include "xlstream/xlencode.h"

namespace {

// The widest single put (a uint32 or real32 value); a smaller buffer could
// never take it and would be overrun.
constexpr int32_t kMinBufferSize = 4;

bool IsSound(const XLStream *pStream) { return pStream != nullptr && pStream->nErrorCode == 0; }

int32_t ByteCountOf(const XLStream *pStream) { return pStream ? pStream->nByteCount : 0; }

int32_t HandOver(XLStream *pStream)
{
    pStream->nOperatorEnd = 0;
    return pStream->pfnWrite(pStream, pStream->dwUser, pStream->pbyBuffer, pStream->nFillLength);
}

// The one step through which every byte reaches the buffer: puts the low
// nWidth bytes of value, least significant first, as one item. When fewer
// than nWidth bytes are free the buffer is handed over first, so a value is
// never split across two hand-overs. Returns false when an error is recorded
// (possibly by that hand-over's callback); nothing is put then.
inline bool PutBytes(XLStream *pStream, uint32_t value, int32_t nWidth)
{
    if (pStream->nBufferSize - pStream->nFillLength < nWidth) {
        HandOver(pStream);
        pStream->nFillLength = 0;
    }
    if (pStream->nErrorCode != 0)
        return false;
    uint8_t *pbyTarget = pStream->pbyBuffer + pStream->nFillLength;
    for (int32_t i = 0; i < nWidth; ++i)
        pbyTarget[i] = static_cast<uint8_t>(value >> (8 * i));
    pStream->nFillLength += nWidth;
    // Wraps instead of overflowing on streams beyond 2 GiB.
    pStream->nByteCount = static_cast<int32_t>(static_cast<uint32_t>(pStream->nByteCount) +
                                               static_cast<uint32_t>(nWidth));
    return true;
}

// Block bytes as many at a time as the buffer has room for, so the buffer
// is handed over exactly when full, as if they were put one by one.
void PutBlock(XLStream *pStream, const uint8_t *pbyBytes, uint32_t dwLength)
{
    uint32_t dwDone = 0;
    while (dwDone < dwLength) {
        if (pStream->nBufferSize - pStream->nFillLength < 1) {
            HandOver(pStream);
            pStream->nFillLength = 0;
        }
        if (pStream->nErrorCode != 0)
            return;
        const uint32_t dwRoom = static_cast<uint32_t>(pStream->nBufferSize - pStream->nFillLength);
        const uint32_t dwCount = std::min(dwRoom, dwLength - dwDone);
        std::memcpy(pStream->pbyBuffer + pStream->nFillLength, pbyBytes + dwDone, dwCount);
        pStream->nFillLength += static_cast<int32_t>(dwCount);
        pStream->nByteCount = static_cast<int32_t>(static_cast<uint32_t>(pStream->nByteCount) + dwCount);
        dwDone += dwCount;
    }
}

// The encoder's sink: each item whole into the buffer, blocks as they
// fit. Once an error is recorded nothing more is put.
struct StreamSink {
    XLStream *pStream;

    void PutItem(uint32_t value, int nWidth)
    {
        if (pStream->nErrorCode == 0)
            PutBytes(pStream, value, nWidth);
    }
    void PutBlock(const uint8_t *pbyBytes, uint32_t dwLength)
    {
        if (pStream->nErrorCode == 0)
            ::PutBlock(pStream, pbyBytes, dwLength);
    }
};

// Encodes with put(sink) into a sound stream; the byte count after it.
template <typename Put>
int32_t Encode(XLStream *pStream, Put put)
{
    if (IsSound(pStream)) {
        StreamSink sink{pStream};
        put(sink);
    }
    return ByteCountOf(pStream);
}

void DiscardStream(XLStream *pStream)
{
    if (pStream->pbyBuffer != nullptr)
        GlobalFree(pStream->pbyBuffer);
    GlobalFree(pStream);
}

} // namespace

void XLRecordError(XLStream *pStream, int16_t nCode)
{
    if (pStream == nullptr)
        return;
    pStream->nErrorCount = static_cast<uint16_t>(pStream->nErrorCount + 1);
    if (pStream->nErrorCode == XL_ERROR_NONE)
        pStream->nErrorCode = nCode;
}

XLStream *XLStreamCreate(int32_t nBufferSize, XLWriteCallback pfnWrite, uint32_t dwUser)
{
    auto *pStream = static_cast<XLStream *>(GlobalAlloc(GMEM_FIXED, sizeof(XLStream)));
    if (pStream == nullptr)
        return nullptr;
    *pStream = XLStream{};
    // The caller gets no stream on failure, so the recorded reason dies with
    // the record; the record itself is given back rather than left behind.
    if (pfnWrite == nullptr) {
        XLRecordError(pStream, XL_ERROR_NO_CALLBACK);
        DiscardStream(pStream);
        return nullptr;
    }
    pStream->nBufferSize = nBufferSize;
    if (nBufferSize < kMinBufferSize) {
        XLRecordError(pStream, XL_ERROR_ZERO_BUFFER);
        DiscardStream(pStream);
        return nullptr;
    }
    pStream->nErrorCode = XL_ERROR_NONE;
    pStream->nErrorCount = 0;
    pStream->pbyBuffer =
        static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(nBufferSize)));
    if (pStream->pbyBuffer == nullptr) {
        XLRecordError(pStream, XL_ERROR_NO_MEMORY);
        DiscardStream(pStream);
        return nullptr;
    }
    pStream->nFillLength = 0;
    pStream->nByteCount = 0;
    pStream->dwUser = dwUser;
    pStream->pfnWrite = pfnWrite;
    pStream->pOutputFile = nullptr;
    return pStream;
}

int32_t XLStreamClose(XLStream *pStream)
{
    if (pStream == nullptr)
        return 0;
    const int32_t nByteCount = pStream->nByteCount;
    // Always, even with nothing buffered or an error recorded: the callback
    // sees the end of the stream.
    HandOver(pStream);
    DiscardStream(pStream);
    return nByteCount;
}

void XLStreamFlush(XLStream *pStream)
{
    if (pStream == nullptr || !pStream->bBatchOperators || pStream->nFillLength == 0)
        return;
    if (pStream->nErrorCode != 0)
        pStream->nFillLength = pStream->nOperatorEnd;
    if (pStream->nFillLength > 0)
        HandOver(pStream);
    pStream->nFillLength = 0;
    pStream->nOperatorEnd = 0;
}

int32_t XLWriteUByte(XLStream *pStream, uint8_t value)
{
    return Encode(pStream, [&](StreamSink &sink) { xl::PutUByte(sink, value); });
}

int32_t XLWriteUInt16(XLStream *pStream, uint16_t value)
{
    return Encode(pStream, [&](StreamSink &sink) { xl::PutUInt16(sink, value); });
}

int32_t XLWriteSInt16(XLStream *pStream, int16_t value)
{
    return Encode(pStream, [&](StreamSink &sink) { xl::PutSInt16(sink, value); });
}

int32_t XLWriteUInt32(XLStream *pStream, uint32_t value)
{
    return Encode(pStream, [&](StreamSink &sink) { xl::PutUInt32(sink, value); });
}

int32_t XLWriteReal32(XLStream *pStream, float value)
{
    return Encode(pStream, [&](StreamSink &sink) { xl::PutReal32(sink, value); });
}

int32_t XLWriteReal32XY(XLStream *pStream, float x, float y)
{
    return Encode(pStream, [&](StreamSink &sink) { xl::PutReal32XY(sink, x, y); });
}

int32_t XLWriteUByteArray(XLStream *pStream, const uint8_t *pbyBytes, uint16_t nCount)
{
    return Encode(pStream, [&](StreamSink &sink) { xl::PutUByteArray(sink, pbyBytes, nCount); });
}

int32_t XLWriteUInt16Array(XLStream *pStream, const uint16_t *pnValues, uint16_t nCount)
{
    return Encode(pStream,
                  [&](StreamSink &sink) { xl::PutArray16(sink, xl::kUInt16Array, pnValues, nCount); });
}

int32_t XLWriteSInt16Array(XLStream *pStream, const int16_t *pnValues, uint16_t nCount)
{
    // Two's complement: the same bits as unsigned.
    const auto *pnBits = reinterpret_cast<const uint16_t *>(pnValues);
    return Encode(pStream,
                  [&](StreamSink &sink) { xl::PutArray16(sink, xl::kSInt16Array, pnBits, nCount); });
}

int32_t XLWriteDataLength(XLStream *pStream, uint32_t dwLength)
{
    return Encode(pStream, [&](StreamSink &sink) { xl::PutDataLength(sink, dwLength); });
}

int32_t XLWriteEmbeddedData(XLStream *pStream, const uint8_t *pbyBytes, uint32_t dwLength)
{
    return Encode(pStream, [&](StreamSink &sink) {
        xl::PutDataLength(sink, dwLength);
        xl::PutBlock(sink, pbyBytes, dwLength);
    });
}

int32_t XLWriteEmbeddedDataParts(XLStream *pStream, const uint8_t *pbyHead, uint32_t dwHeadLength,
                                 const uint8_t *pbyBody, uint32_t dwBodyLength)
{
    return Encode(pStream, [&](StreamSink &sink) {
        xl::PutDataLength(sink, dwHeadLength + dwBodyLength);
        xl::PutBlock(sink, pbyHead, dwHeadLength);
        xl::PutBlock(sink, pbyBody, dwBodyLength);
    });
}

int32_t XLWriteAttribute(XLStream *pStream, uint16_t nAttributeId)
{
    if (!IsSound(pStream))
        return ByteCountOf(pStream);
    if (nAttributeId > 0xFF || XLAttributeTable[nAttributeId] == 0) {
        XLRecordError(pStream, XL_ERROR_BAD_ATTRIBUTE);
        return pStream->nByteCount;
    }
    StreamSink sink{pStream};
    xl::PutAttributeId(sink, XLAttributeTable[nAttributeId]);
    return pStream->nByteCount;
}

int32_t XLWriteOperator(XLStream *pStream, uint16_t nOperatorCode)
{
    if (pStream == nullptr)
        return 0;
    if (pStream->nErrorCode != 0)
        return pStream->nErrorCode;
    if (nOperatorCode > 0xFF || XLOperatorTable[nOperatorCode] == 0) {
        XLRecordError(pStream, XL_ERROR_BAD_OPERATOR);
        return pStream->nErrorCode;
    }
    StreamSink sink{pStream};
    xl::PutOperator(sink, XLOperatorTable[nOperatorCode]);
    if (pStream->bBatchOperators) {
        if (pStream->nErrorCode == 0)
            pStream->nOperatorEnd = pStream->nFillLength;
        return pStream->nErrorCode;
    }
    // Every operator ends with a hand-over, also when a callback recorded an
    // error while making room for it; the callback empties the buffer.
    return HandOver(pStream);
}
