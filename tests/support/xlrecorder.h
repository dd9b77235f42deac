// SPDX-License-Identifier: MIT
// A stream-writer callback for tests: records every hand-over (length and
// bytes) and empties the buffer like the session's callback. It can also
// leave the fill length alone, or record an error code on a chosen call.
#pragma once

#include <cstdint>
#include <vector>

#include "xlstream/xlstream.h"

struct XLHandOver {
    int32_t nLength;
    std::vector<uint8_t> bytes;
    uint32_t dwUser;
};

struct XLRecorder {
    std::vector<XLHandOver> calls;
    std::vector<uint8_t> all; // every handed-over byte, in order
    bool bResetFill = true;
    size_t nFailOnCall = 0; // 1 = the first call records nFailCode
    int16_t nFailCode = XL_ERROR_WRITE_FAILED;
};

// One recorder at a time: the callback's user value is only 32 bits.
inline XLRecorder g_xlRecorder;

inline int32_t XLRecordingCallback(XLStream *pStream, uint32_t dwUser, const uint8_t *pbyBuffer,
                                   int32_t nLength)
{
    XLRecorder &recorder = g_xlRecorder;
    recorder.calls.push_back(
        {nLength, std::vector<uint8_t>(pbyBuffer, pbyBuffer + nLength), dwUser});
    recorder.all.insert(recorder.all.end(), pbyBuffer, pbyBuffer + nLength);
    if (recorder.bResetFill)
        pStream->nFillLength = 0;
    if (recorder.nFailOnCall != 0 && recorder.calls.size() == recorder.nFailOnCall)
        pStream->nErrorCode = recorder.nFailCode;
    return nLength;
}

// A stream on a fresh recorder.
inline XLStream *NewRecordedStream(int32_t nBufferSize = 4096, uint32_t dwUser = 0)
{
    g_xlRecorder = XLRecorder{};
    return XLStreamCreate(nBufferSize, XLRecordingCallback, dwUser);
}
