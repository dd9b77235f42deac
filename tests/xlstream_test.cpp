// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/platform_hooks.h"
#include "support/xlrecorder.h"
#include "xldecode/xldecode.h"
#include "xlstream/xlcodes.h"
#include "xlstream/xlstream.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes a put sequence hands over by the time the stream is closed.
Bytes Written(const std::function<void(XLStream *)> &put)
{
    XLStream *pStream = NewRecordedStream();
    EXPECT_NE(pStream, nullptr);
    put(pStream);
    XLStreamClose(pStream);
    return g_xlRecorder.all;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Fills the buffer to nFill bytes with one embedded data block (5 + n bytes).
void FillTo(XLStream *pStream, int32_t nFill)
{
    Bytes data(static_cast<size_t>(nFill - 5), 0x11);
    XLWriteEmbeddedData(pStream, data.data(), static_cast<uint32_t>(data.size()));
    ASSERT_EQ(pStream->nFillLength, nFill);
    ASSERT_TRUE(g_xlRecorder.calls.empty());
}

} // namespace

TEST(XLStreamEncoders, WriteEachDataTypeByteForByte)
{
    EXPECT_EQ(Written([](XLStream *s) { XLWriteUByte(s, 0xAB); }), (Bytes{0xC0, 0xAB}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteUInt16(s, 0x1234); }), (Bytes{0xC1, 0x34, 0x12}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteSInt16(s, -1); }), (Bytes{0xC3, 0xFF, 0xFF}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteSInt16(s, -32768); }), (Bytes{0xC3, 0x00, 0x80}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteUInt32(s, 258); }),
              (Bytes{0xC2, 0x02, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteUInt32(s, 0xFFFFFFFEu); }),
              (Bytes{0xC2, 0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteReal32(s, 1.0f); }),
              (Bytes{0xC5, 0x00, 0x00, 0x80, 0x3F}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteReal32(s, 0.1583f); }),
              (Bytes{0xC5, 0x65, 0x19, 0x22, 0x3E}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteReal32XY(s, 1.0f, -2.0f); }),
              (Bytes{0xD5, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xC0}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteUByteArray(s, nullptr, 0); }),
              (Bytes{0xC8, 0xC1, 0x00, 0x00}));
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(Written([&](XLStream *s) { XLWriteUByteArray(s, abc, 3); }),
              (Bytes{0xC8, 0xC1, 0x03, 0x00, 'a', 'b', 'c'}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteDataLength(s, 0x01020304); }),
              (Bytes{0xFA, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteEmbeddedData(s, nullptr, 0); }),
              (Bytes{0xFA, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Written([&](XLStream *s) { XLWriteEmbeddedData(s, abc, 3); }),
              (Bytes{0xFA, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteAttribute(s, 0xA8); }), (Bytes{0xF8, 0xA8}));
    EXPECT_EQ(Written([](XLStream *s) { XLWriteOperator(s, 0x41); }), (Bytes{0x41}));

    // Results: the byte count after the put; close returns the total.
    XLStream *pStream = NewRecordedStream(4096, 0xDEADBEEF);
    ASSERT_NE(pStream, nullptr);
    EXPECT_EQ(XLWriteUByte(pStream, 1), 2);
    EXPECT_EQ(XLWriteUInt32(pStream, 1), 7);
    EXPECT_EQ(XLWriteAttribute(pStream, 0xA3), 9);
    EXPECT_EQ(XLWriteUByteArray(pStream, abc, 3), 16);
    EXPECT_EQ(XLWriteEmbeddedData(pStream, abc, 3), 24);
    EXPECT_TRUE(g_xlRecorder.calls.empty()) << "values are buffered until an operator";
    EXPECT_EQ(XLStreamClose(pStream), 24);
    ASSERT_EQ(g_xlRecorder.calls.size(), 1u);
    EXPECT_EQ(g_xlRecorder.calls[0].nLength, 24);
    EXPECT_EQ(g_xlRecorder.calls[0].dwUser, 0xDEADBEEFu);
}

TEST(XLStreamHandOver, BufferIsHandedOverBeforeAValueThatDoesNotFit)
{
    // 4094 buffered: the uint32 tag is byte 4095; its 4 value bytes do not
    // fit in the 1 byte left, so 4095 bytes go first.
    XLStream *pStream = NewRecordedStream();
    ASSERT_NE(pStream, nullptr);
    FillTo(pStream, 4094);
    XLWriteUInt32(pStream, 258);
    ASSERT_EQ(g_xlRecorder.calls.size(), 1u);
    EXPECT_EQ(g_xlRecorder.calls[0].nLength, 4095);
    EXPECT_EQ(g_xlRecorder.calls[0].bytes.back(), 0xC2);
    EXPECT_EQ(pStream->nFillLength, 4);
    EXPECT_EQ(pStream->nByteCount, 4099);
    EXPECT_EQ(XLStreamClose(pStream), 4099);
    ASSERT_EQ(g_xlRecorder.calls.size(), 2u);
    EXPECT_EQ(g_xlRecorder.calls[1].bytes, (Bytes{0x02, 0x01, 0x00, 0x00}));

    // 4095 buffered: the tag fills the buffer, then the full 4096 go.
    pStream = NewRecordedStream();
    FillTo(pStream, 4095);
    XLWriteSInt16(pStream, -1);
    ASSERT_EQ(g_xlRecorder.calls.size(), 1u);
    EXPECT_EQ(g_xlRecorder.calls[0].nLength, 4096);
    EXPECT_EQ(g_xlRecorder.calls[0].bytes.back(), 0xC3);
    XLStreamClose(pStream);
    EXPECT_EQ(g_xlRecorder.calls[1].bytes, (Bytes{0xFF, 0xFF}));

    // 4096 buffered: any put hands the full buffer over first.
    pStream = NewRecordedStream();
    FillTo(pStream, 4096);
    XLWriteUByte(pStream, 7);
    ASSERT_EQ(g_xlRecorder.calls.size(), 1u);
    EXPECT_EQ(g_xlRecorder.calls[0].nLength, 4096);
    XLStreamClose(pStream);
    EXPECT_EQ(g_xlRecorder.calls[1].bytes, (Bytes{0xC0, 0x07}));

    // ... an operator too, which then hands itself over alone.
    pStream = NewRecordedStream();
    FillTo(pStream, 4096);
    XLWriteOperator(pStream, 0x54);
    ASSERT_EQ(g_xlRecorder.calls.size(), 2u);
    EXPECT_EQ(g_xlRecorder.calls[0].nLength, 4096);
    EXPECT_EQ(g_xlRecorder.calls[1].bytes, (Bytes{0x54}));
    XLStreamClose(pStream);

    // A 2-byte value with 1 byte free also goes whole into the next buffer.
    pStream = NewRecordedStream();
    FillTo(pStream, 4094);
    XLWriteUInt16(pStream, 0x0102);
    EXPECT_EQ(g_xlRecorder.calls.at(0).nLength, 4095);
    EXPECT_EQ(pStream->nFillLength, 2);
    XLStreamClose(pStream);
}

TEST(XLStreamHandOver, BlocksAreHandedOverExactlyWhenTheBufferIsFull)
{
    Bytes data(10000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    XLStream *pStream = NewRecordedStream();
    ASSERT_NE(pStream, nullptr);
    XLWriteUInt16(pStream, 10);
    XLWriteAttribute(pStream, 0xA7);
    XLWriteOperator(pStream, 0x50);
    XLWriteEmbeddedData(pStream, data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_EQ(XLStreamClose(pStream), 6 + 5 + 10000);
    std::vector<int32_t> lengths;
    for (const XLHandOver &call : g_xlRecorder.calls)
        lengths.push_back(call.nLength);
    EXPECT_EQ(lengths, (std::vector<int32_t>{6, 4096, 4096, 10005 - 8192}));
    const Bytes expected =
        Concat({{0xC1, 0x0A, 0x00, 0xF8, 0xA7, 0x50, 0xFA, 0x10, 0x27, 0x00, 0x00}, data});
    EXPECT_EQ(g_xlRecorder.all, expected);

    // The smallest buffer still takes every value whole.
    pStream = NewRecordedStream(4);
    ASSERT_NE(pStream, nullptr);
    XLWriteReal32XY(pStream, 1.0f, 1.0f);
    XLWriteUByteArray(pStream, data.data(), 5);
    XLStreamClose(pStream);
    lengths.clear();
    for (const XLHandOver &call : g_xlRecorder.calls)
        lengths.push_back(call.nLength);
    EXPECT_EQ(lengths, (std::vector<int32_t>{1, 4, 4, 4, 4, 1}));
    EXPECT_EQ(g_xlRecorder.all,
              Concat({{0xD5, 0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F, 0xC8, 0xC1, 5, 0},
                      Bytes(data.begin(), data.begin() + 5)}));
}

TEST(XLStreamOperators, EveryOperatorEndsWithAHandOverThatTheCallbackEmpties)
{
    XLStream *pStream = NewRecordedStream();
    ASSERT_NE(pStream, nullptr);
    XLWriteUInt16(pStream, 3);
    XLWriteAttribute(pStream, 0xA7);
    EXPECT_EQ(XLWriteOperator(pStream, 0x50), 6) << "the callback's result";
    ASSERT_EQ(g_xlRecorder.calls.size(), 1u);
    EXPECT_EQ(g_xlRecorder.calls[0].bytes, (Bytes{0xC1, 0x03, 0x00, 0xF8, 0xA7, 0x50}));
    EXPECT_EQ(pStream->nFillLength, 0);
    XLStreamClose(pStream);

    // The writer leaves emptying to the callback after an operator (but not
    // after a hand-over for room).
    pStream = NewRecordedStream();
    g_xlRecorder.bResetFill = false;
    XLWriteOperator(pStream, 0x41);
    EXPECT_EQ(pStream->nFillLength, 1);
    XLWriteOperator(pStream, 0x42);
    ASSERT_EQ(g_xlRecorder.calls.size(), 2u);
    EXPECT_EQ(g_xlRecorder.calls[1].bytes, (Bytes{0x41, 0x42}));
    pStream->nFillLength = 4095;
    XLWriteUInt16(pStream, 1);
    EXPECT_EQ(pStream->nFillLength, 2);
    pStream->nFillLength = 0;
    XLStreamClose(pStream);
}

// A batching stream keeps its operators until flushed, then hands them over
// in one piece; after an error only the whole operators before it, as the
// hand-overs after each would have.
TEST(XLStreamOperators, BatchingHandsOverWholeOperatorsWhenFlushed)
{
    XLStream *pStream = NewRecordedStream();
    ASSERT_NE(pStream, nullptr);
    pStream->bBatchOperators = true;
    XLStreamFlush(pStream);
    XLWriteUInt16(pStream, 3);
    XLWriteAttribute(pStream, 0xA7);
    EXPECT_EQ(XLWriteOperator(pStream, 0x50), 0);
    XLWriteOperator(pStream, 0x41);
    EXPECT_TRUE(g_xlRecorder.calls.empty());
    XLStreamFlush(pStream);
    ASSERT_EQ(g_xlRecorder.calls.size(), 1u);
    EXPECT_EQ(g_xlRecorder.calls[0].bytes, (Bytes{0xC1, 0x03, 0x00, 0xF8, 0xA7, 0x50, 0x41}));
    EXPECT_EQ(pStream->nFillLength, 0);

    XLWriteOperator(pStream, 0x42);
    XLWriteUByte(pStream, 9);
    XLWriteOperator(pStream, 0x45); // rejected
    XLStreamFlush(pStream);
    ASSERT_EQ(g_xlRecorder.calls.size(), 2u);
    EXPECT_EQ(g_xlRecorder.calls[1].bytes, (Bytes{0x42}));
    EXPECT_EQ(pStream->nFillLength, 0);
    XLStreamClose(pStream);
}

TEST(XLStreamErrors, RejectedOperatorsAndAttributesStopAllOutput)
{
    const uint16_t rejectedOperators[] = {0,    0x45, 0x4D, 0x83,  0x87,  0xA4,
                                          0xB7, 0xBE, 0xC0, 0x100, 0x141, 0xFFFF};
    for (uint16_t code : rejectedOperators) {
        SCOPED_TRACE(code);
        XLStream *pStream = NewRecordedStream();
        ASSERT_NE(pStream, nullptr);
        XLWriteUByte(pStream, 9);
        XLWriteOperator(pStream, code);
        EXPECT_EQ(pStream->nErrorCode, XL_ERROR_BAD_OPERATOR);
        EXPECT_EQ(pStream->nErrorCount, 1);
        EXPECT_TRUE(g_xlRecorder.calls.empty());
        EXPECT_EQ(pStream->nFillLength, 2);
        XLStreamClose(pStream);
        ASSERT_EQ(g_xlRecorder.calls.size(), 1u) << "close still hands over";
        EXPECT_EQ(g_xlRecorder.calls[0].bytes, (Bytes{0xC0, 0x09}));
    }
    const uint16_t rejectedAttributes[] = {0,    0x1D, 0x20, 0x2E, 0x37,  0x40, 0x55,
                                           0x60, 0x6A, 0x74, 0x80, 0x83,  0x87, 0x8D,
                                           0x90, 0xAE, 0xB2, 0xFF, 0x100, 0x1A8};
    for (uint16_t id : rejectedAttributes) {
        SCOPED_TRACE(id);
        XLStream *pStream = NewRecordedStream();
        ASSERT_NE(pStream, nullptr);
        XLWriteUByte(pStream, 9);
        XLWriteAttribute(pStream, id);
        EXPECT_EQ(pStream->nErrorCode, XL_ERROR_BAD_ATTRIBUTE);
        EXPECT_EQ(pStream->nErrorCount, 1);
        EXPECT_EQ(pStream->nFillLength, 2);
        XLStreamClose(pStream);
        EXPECT_EQ(g_xlRecorder.all, (Bytes{0xC0, 0x09}));
    }
    // Every accepted code maps to itself: 90 operators, 128 attributes.
    int nOperators = 0, nAttributes = 0;
    for (int code = 0; code < 256; ++code) {
        EXPECT_TRUE(XLOperatorTable[code] == 0 || XLOperatorTable[code] == code) << code;
        EXPECT_TRUE(XLAttributeTable[code] == 0 || XLAttributeTable[code] == code) << code;
        nOperators += XLOperatorTable[code] != 0;
        nAttributes += XLAttributeTable[code] != 0;
    }
    EXPECT_EQ(nOperators, 90);
    EXPECT_EQ(nAttributes, 128);
    EXPECT_EQ(XLOperatorTable[0x40], 0);
    EXPECT_EQ(XLAttributeTable[0xB2], 0);

    // Their neighbours and the ends of the tables are accepted.
    for (uint16_t code : {0x41, 0x44, 0x46, 0x82, 0x84, 0xB6, 0xB8, 0xB9, 0xBF}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Written([code](XLStream *s) { XLWriteOperator(s, code); }),
                  (Bytes{static_cast<uint8_t>(code)}));
    }
    for (uint16_t id : {0x01, 0x2D, 0x2F, 0x69, 0x6B, 0x86, 0x88, 0xAD, 0xAF, 0xB1}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(Written([id](XLStream *s) { XLWriteAttribute(s, id); }),
                  (Bytes{0xF8, static_cast<uint8_t>(id)}));
    }

    // Sticky: nothing more is written or handed over, the first code stays.
    XLStream *pStream = NewRecordedStream();
    XLWriteOperator(pStream, 0x45);
    const uint8_t name[] = {'N'};
    XLWriteUByte(pStream, 1);
    XLWriteUInt16(pStream, 1);
    XLWriteSInt16(pStream, 1);
    XLWriteUInt32(pStream, 1);
    XLWriteReal32(pStream, 1);
    XLWriteReal32XY(pStream, 1, 1);
    XLWriteUByteArray(pStream, name, 1);
    XLWriteDataLength(pStream, 1);
    XLWriteEmbeddedData(pStream, name, 1);
    XLWriteAttribute(pStream, 0x2E);
    XLWriteAttribute(pStream, 0xA8);
    XLWriteOperator(pStream, 0x41);
    XLBeginFontHeader(pStream, name, 1, 0);
    XLReadFontHeader(pStream, 1);
    XLEndFontHeader(pStream);
    XLBeginChar(pStream, name, 1);
    XLReadChar(pStream, 1, 1);
    XLEndChar(pStream);
    XLRemoveFont(pStream, name, 1);
    XLSetCharAngle(pStream, 0);
    XLSetCharShear(pStream, 0, 0);
    XLSetFont(pStream, name, 1, 1, 1);
    XLSetCharBoldValue(pStream, 0);
    EXPECT_EQ(pStream->nErrorCode, XL_ERROR_BAD_OPERATOR);
    EXPECT_EQ(pStream->nErrorCount, 1);
    EXPECT_EQ(pStream->nFillLength, 0);
    EXPECT_EQ(pStream->nByteCount, 0);
    EXPECT_TRUE(g_xlRecorder.calls.empty());
    EXPECT_EQ(XLStreamClose(pStream), 0);
    ASSERT_EQ(g_xlRecorder.calls.size(), 1u);
    EXPECT_EQ(g_xlRecorder.calls[0].nLength, 0);
}

TEST(XLStreamErrors, ACallbackErrorDuringAHandOverStopsThePut)
{
    // The value that did not fit is not copied into the emptied buffer.
    XLStream *pStream = NewRecordedStream();
    ASSERT_NE(pStream, nullptr);
    g_xlRecorder.nFailOnCall = 1;
    FillTo(pStream, 4094);
    XLWriteUInt32(pStream, 258);
    EXPECT_EQ(pStream->nErrorCode, XL_ERROR_WRITE_FAILED);
    EXPECT_EQ(pStream->nFillLength, 0);
    EXPECT_EQ(pStream->nByteCount, 4095);
    XLWriteUByte(pStream, 1);
    EXPECT_EQ(XLStreamClose(pStream), 4095);
    ASSERT_EQ(g_xlRecorder.calls.size(), 2u);
    EXPECT_EQ(g_xlRecorder.calls[1].nLength, 0);

    // In the middle of a data block the rest of the block is dropped.
    Bytes data(9000, 0x5A);
    pStream = NewRecordedStream();
    g_xlRecorder.nFailOnCall = 1;
    XLWriteEmbeddedData(pStream, data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_EQ(pStream->nByteCount, 4096);
    XLStreamClose(pStream);
    ASSERT_EQ(g_xlRecorder.calls.size(), 2u);
    EXPECT_EQ(g_xlRecorder.calls[0].nLength, 4096);
    EXPECT_EQ(g_xlRecorder.calls[1].nLength, 0);

    // An operator whose room hand-over fails still ends with its hand-over,
    // without its byte.
    pStream = NewRecordedStream();
    g_xlRecorder.nFailOnCall = 1;
    FillTo(pStream, 4096);
    XLWriteOperator(pStream, 0x51);
    ASSERT_EQ(g_xlRecorder.calls.size(), 2u);
    EXPECT_EQ(g_xlRecorder.calls[1].nLength, 0);
    EXPECT_EQ(pStream->nErrorCount, 0) << "the callback set the code, not the writer";
    XLStreamClose(pStream);
}

TEST(XLStreamLifecycle, CloseAlwaysHandsOverOnce)
{
    XLStream *pStream = NewRecordedStream(4096, 77);
    ASSERT_NE(pStream, nullptr);
    EXPECT_EQ(pStream->nErrorCode, 0);
    EXPECT_EQ(pStream->nFillLength, 0);
    EXPECT_EQ(pStream->nByteCount, 0);
    EXPECT_EQ(pStream->pOutputFile, nullptr);
    EXPECT_EQ(XLStreamClose(pStream), 0);
    ASSERT_EQ(g_xlRecorder.calls.size(), 1u);
    EXPECT_EQ(g_xlRecorder.calls[0].nLength, 0);
    EXPECT_EQ(g_xlRecorder.calls[0].dwUser, 77u);

    // After an operator the buffer is empty; close hands over 0 bytes again.
    pStream = NewRecordedStream();
    XLEndChar(pStream);
    EXPECT_EQ(XLStreamClose(pStream), 1);
    ASSERT_EQ(g_xlRecorder.calls.size(), 2u);
    EXPECT_EQ(g_xlRecorder.calls[1].nLength, 0);

    EXPECT_EQ(XLStreamClose(nullptr), 0);
}

TEST(XLStreamLifecycle, CreationFailuresReturnNoStreamAndKeepNothing)
{
    g_xlRecorder = XLRecorder{};
    const long liveBefore = PlatformLiveAllocations();
    EXPECT_EQ(XLStreamCreate(4096, nullptr, 0), nullptr);
    EXPECT_EQ(XLStreamCreate(0, nullptr, 0), nullptr);
    for (int32_t size : {0, 1, 2, 3, -1, -4096, INT32_MIN})
        EXPECT_EQ(XLStreamCreate(size, XLRecordingCallback, 0), nullptr) << size;
    EXPECT_EQ(PlatformLiveAllocations(), liveBefore);
    EXPECT_TRUE(g_xlRecorder.calls.empty());

    // Out of memory for the record, then for the buffer.
    for (long nth : {1L, 2L}) {
        SCOPED_TRACE(nth);
        PlatformFailNthAllocation(nth);
        XLStream *pStream = XLStreamCreate(4096, XLRecordingCallback, 0);
        PlatformFailNthAllocation(0);
        EXPECT_EQ(pStream, nullptr);
        if (pStream != nullptr)
            XLStreamClose(pStream);
        EXPECT_EQ(PlatformLiveAllocations(), liveBefore);
    }
    XLStream *pStream = XLStreamCreate(4, XLRecordingCallback, 0);
    ASSERT_NE(pStream, nullptr);
    XLStreamClose(pStream);
    EXPECT_EQ(PlatformLiveAllocations(), liveBefore);
}

TEST(XLStreamSequences, WriteTheirOperatorsByteForByte)
{
    const uint8_t name[] = {'O', 'T', ':', '1'};
    const Bytes nameArray = {0xC8, 0xC1, 0x04, 0x00, 'O', 'T', ':', '1', 0xF8, 0xA8};
    struct Case {
        const char *what;
        std::function<void(XLStream *)> put;
        Bytes expected;
    };
    const Case cases[] = {
        {"BeginFontHeader", [&](XLStream *s) { XLBeginFontHeader(s, name, 4, 0); },
         Concat({nameArray, {0xC0, 0x00, 0xF8, 0xA9, 0x4F}})},
        {"ReadFontHeader",
         [](XLStream *s) { XLReadFontHeader(s, 0x1234); },
         {0xC1, 0x34, 0x12, 0xF8, 0xA7, 0x50}},
        {"EndFontHeader", [](XLStream *s) { XLEndFontHeader(s); }, {0x51}},
        {"BeginChar", [&](XLStream *s) { XLBeginChar(s, name, 4); }, Concat({nameArray, {0x52}})},
        {"ReadChar",
         [](XLStream *s) { XLReadChar(s, 0x0041, 0x00010203); },
         {0xC1, 0x41, 0x00, 0xF8, 0xA2, 0xC2, 0x03, 0x02, 0x01, 0x00, 0xF8, 0xA3, 0x53}},
        {"EndChar", [](XLStream *s) { XLEndChar(s); }, {0x54}},
        {"RemoveFont", [&](XLStream *s) { XLRemoveFont(s, name, 4); }, Concat({nameArray, {0x55}})},
        {"SetCharAngle",
         [](XLStream *s) { XLSetCharAngle(s, -90); },
         {0xC3, 0xA6, 0xFF, 0xF8, 0xA1, 0x64}},
        {"SetCharShear",
         [](XLStream *s) { XLSetCharShear(s, 0.0f, 0.0f); },
         {0xD5, 0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0xA5, 0x66}},
        {"SetFont", [&](XLStream *s) { XLSetFont(s, name, 4, 1.0f, 1); },
         Concat({nameArray,
                 {0xC5, 0x00, 0x00, 0x80, 0x3F, 0xF8, 0xA6, 0xC1, 0x01, 0x00, 0xF8, 0xAA, 0x6F}})},
        {"SetCharBoldValue",
         [](XLStream *s) { XLSetCharBoldValue(s, 1.0f); },
         {0xC5, 0x00, 0x00, 0x80, 0x3F, 0xF8, 0xB1, 0x7D}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        XLStream *pStream = NewRecordedStream();
        ASSERT_NE(pStream, nullptr);
        c.put(pStream);
        // All of it is with the callback when the operation returns.
        ASSERT_EQ(g_xlRecorder.calls.size(), 1u);
        EXPECT_EQ(g_xlRecorder.calls[0].bytes, c.expected);
        EXPECT_EQ(pStream->nFillLength, 0);
        XLStreamClose(pStream);
    }

    // A 16-byte name: 20 bytes of array, then F8 A8 55.
    const uint8_t longName[16] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H',
                                  'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P'};
    EXPECT_EQ(
        Written([&](XLStream *s) { XLRemoveFont(s, longName, 16); }),
        Concat({{0xC8, 0xC1, 0x10, 0x00}, Bytes(longName, longName + 16), {0xF8, 0xA8, 0x55}}));
    EXPECT_EQ(g_xlRecorder.calls.at(0).nLength, 23);

    // Name lengths count modulo 65536.
    Bytes hugeName(65537, 'x');
    EXPECT_EQ(Written([&](XLStream *s) { XLBeginChar(s, hugeName.data(), 65536); }),
              (Bytes{0xC8, 0xC1, 0x00, 0x00, 0xF8, 0xA8, 0x52}));
    EXPECT_EQ(Written([&](XLStream *s) { XLSetFont(s, hugeName.data(), 65537, 0.0f, 0); }),
              (Bytes{0xC8, 0xC1, 0x01, 0x00, 'x',  0xF8, 0xA8, 0xC5, 0,    0,
                     0,    0,    0xF8, 0xA6, 0xC1, 0,    0,    0xF8, 0xAA, 0x6F}));
}

TEST(XLCodes, NamedCodesAreThePublishedOnes)
{
    // Each named code once against its published value and name; the writer,
    // the page fragments, the decoder and the tool all take them from here.
    struct Code {
        uint8_t value;
        uint8_t published;
        const char *name;
    };
    const Code operators[] = {
        {xl::kOpBeginSession, 0x41, "BeginSession"},     {xl::kOpEndSession, 0x42, "EndSession"},
        {xl::kOpBeginPage, 0x43, "BeginPage"},           {xl::kOpEndPage, 0x44, "EndPage"},
        {xl::kOpOpenDataSource, 0x48, "OpenDataSource"}, {xl::kOpCloseDataSource, 0x49, "CloseDataSource"},
        {xl::kOpBeginFontHeader, 0x4F, "BeginFontHeader"}, {xl::kOpReadFontHeader, 0x50, "ReadFontHeader"},
        {xl::kOpEndFontHeader, 0x51, "EndFontHeader"},   {xl::kOpBeginChar, 0x52, "BeginChar"},
        {xl::kOpReadChar, 0x53, "ReadChar"},             {xl::kOpEndChar, 0x54, "EndChar"},
        {xl::kOpRemoveFont, 0x55, "RemoveFont"},         {xl::kOpSetBrushSource, 0x63, "SetBrushSource"},
        {xl::kOpSetCharAngle, 0x64, "SetCharAngle"},     {xl::kOpSetCharShear, 0x66, "SetCharShear"},
        {xl::kOpSetClipRectangle, 0x68, "SetClipRectangle"}, {xl::kOpSetColorSpace, 0x6A, "SetColorSpace"},
        {xl::kOpSetCursor, 0x6B, "SetCursor"},           {xl::kOpSetFont, 0x6F, "SetFont"},
        {xl::kOpSetPenSource, 0x79, "SetPenSource"},     {xl::kOpSetROP, 0x7B, "SetROP"},
        {xl::kOpSetCharBoldValue, 0x7D, "SetCharBoldValue"}, {xl::kOpNewPath, 0x85, "NewPath"},
        {xl::kOpPaintPath, 0x86, "PaintPath"},           {xl::kOpRectanglePath, 0xA1, "RectanglePath"},
        {xl::kOpText, 0xA8, "Text"},
    };
    const Code attributes[] = {
        {xl::kAttrColorSpace, 0x03, "ColorSpace"},       {xl::kAttrGrayLevel, 0x09, "GrayLevel"},
        {xl::kAttrMediaSize, 0x25, "MediaSize"},         {xl::kAttrOrientation, 0x28, "Orientation"},
        {xl::kAttrROP3, 0x2C, "ROP3"},                   {xl::kAttrBoundingBox, 0x42, "BoundingBox"},
        {xl::kAttrPoint, 0x4C, "Point"},                 {xl::kAttrClipRegion, 0x53, "ClipRegion"},
        {xl::kAttrDataOrg, 0x82, "DataOrg"},             {xl::kAttrMeasure, 0x86, "Measure"},
        {xl::kAttrSourceType, 0x88, "SourceType"},       {xl::kAttrUnitsPerMeasure, 0x89, "UnitsPerMeasure"},
        {xl::kAttrErrorReport, 0x8F, "ErrorReport"},     {xl::kAttrCharAngle, 0xA1, "CharAngle"},
        {xl::kAttrCharCode, 0xA2, "CharCode"},           {xl::kAttrCharDataSize, 0xA3, "CharDataSize"},
        {xl::kAttrCharShear, 0xA5, "CharShear"},         {xl::kAttrCharSize, 0xA6, "CharSize"},
        {xl::kAttrFontHeaderLength, 0xA7, "FontHeaderLength"}, {xl::kAttrFontName, 0xA8, "FontName"},
        {xl::kAttrFontFormat, 0xA9, "FontFormat"},       {xl::kAttrSymbolSet, 0xAA, "SymbolSet"},
        {xl::kAttrTextData, 0xAB, "TextData"},           {xl::kAttrXSpacingData, 0xAF, "XSpacingData"},
        {xl::kAttrCharBoldValue, 0xB1, "CharBoldValue"},
    };
    auto check = [](const auto &codes, auto nameOf, const auto &table) {
        for (const Code &code : codes) {
            EXPECT_EQ(code.value, code.published) << code.name;
            EXPECT_STREQ(nameOf(code.published), code.name);
            EXPECT_EQ(table[code.value], code.published) << code.name;
        }
    };
    check(operators, XLOperatorName, XLOperatorTable);
    check(attributes, [](uint8_t id) { return XLAttributeName(id); }, XLAttributeTable);
}
