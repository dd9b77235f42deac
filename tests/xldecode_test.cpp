// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "support/xlrecorder.h"
#include "xldecode/xldecode.h"
#include "xlstream/xlstream.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes AsBytes(const char *text) { return Bytes(text, text + std::strlen(text)); }

// Decodes from a copy that ends exactly where the run ends, so a read past
// the end is caught by the address sanitizer.
struct ExactCopy {
    std::unique_ptr<uint8_t[]> storage;
    size_t size;
    explicit ExactCopy(const Bytes &bytes, size_t n) : storage(new uint8_t[n == 0 ? 1 : n]), size(n)
    {
        if (n != 0)
            std::memcpy(storage.get(), bytes.data(), n);
    }
    std::span<const uint8_t> span() const { return {storage.get(), size}; }
};

// What the library writes for one downloaded character and font selection.
Bytes WriterSample()
{
    const uint8_t name[] = {'O', 'T', ':', '7', ':', 'A', 'r', 'i', 'a', 'l', ':', 'n'};
    const uint8_t header[] = {0x00, 0x00, 0x00, 0x02, 0x01, 0x02, 0x03};
    const uint8_t glyph[] = {0x01, 0x00, 0x00, 0x04, 0x00, 0x00, 0xAA, 0xBB};
    XLStream *pStream = NewRecordedStream();
    XLBeginFontHeader(pStream, name, sizeof name, 0);
    XLReadFontHeader(pStream, sizeof header);
    XLWriteEmbeddedData(pStream, header, sizeof header);
    XLEndFontHeader(pStream);
    XLBeginChar(pStream, name, sizeof name);
    XLReadChar(pStream, 0x41, sizeof glyph);
    XLWriteEmbeddedData(pStream, glyph, 4);
    XLWriteEmbeddedData(pStream, glyph + 4, 4);
    XLEndChar(pStream);
    XLSetFont(pStream, name, sizeof name, 41.5f, 1);
    XLSetCharBoldValue(pStream, 0.01f);
    XLSetCharShear(pStream, 0.1583f, -0.5f);
    XLSetCharAngle(pStream, -1);
    XLRemoveFont(pStream, name, sizeof name);
    XLStreamClose(pStream);
    return g_xlRecorder.all;
}

} // namespace

TEST(XLDecodeTokens, ReadsEveryDataTypeWithItsOffset)
{
    const Bytes run = {
        0xC0, 0xFE,                                           // 0 ubyte
        0xC1, 0x34, 0x12,                                     // 2 uint16
        0xC2, 0x02, 0x01, 0x00, 0x00,                         // 5 uint32
        0xC3, 0xFF, 0xFF,                                     // 10 sint16
        0xC4, 0xFE, 0xFF, 0xFF, 0xFF,                         // 13 sint32
        0xC5, 0x00, 0x00, 0x80, 0x3F,                         // 18 real32
        0xF9, 0x34, 0x12,                                     // 23 attr_uint16
        0x20, 0x0D, 0x0A, 0x00, 0x09, 0x0B, 0x0C,             // 26 whitespace
        0xC8, 0xC0, 0x02, 'h',  'i',                          // 33 ubyte_array, ubyte length
        0xF8, 0xA8,                                           // 38
        0xCB, 0xC1, 0x02, 0x00, 0xFF, 0xFF, 0x02, 0x00,       // 40 sint16_array, uint16 length
        0xF8, 0xAF,                                           // 48
        0xCD, 0xC0, 0x01, 0x00, 0x00, 0x00, 0xC0,             // 50 real32_array
        0xD3, 0xFB, 0xFF, 0x05, 0x00,                         // 57 sint16_xy
        0xE1, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, // 62 uint16_box
        0xC9, 0xC1, 0x00, 0x00,                               // 71 empty uint16_array
        0x6F,                                                 // 75 operator
        0xFB, 0x02, 0xAA, 0xBB,                               // 76 dataLengthByte
        0xFA, 0x00, 0x00, 0x00, 0x00,                         // 80 empty dataLength
        0x45,                                                 // 85 any code in the operator range
    };
    std::vector<XLToken> tokens;
    XLDecodeError error;
    ASSERT_TRUE(XLDecodeTokens(run, tokens, error)) << error.offset << ": " << error.message;
    ASSERT_EQ(tokens.size(), 19u);

    struct Expected {
        XLTokenKind kind;
        size_t offset, size;
        uint8_t valueType;
        std::vector<double> numbers;
    };
    const Expected expected[] = {
        {XLTokenKind::Value, 0, 2, 0xC0, {254}},    {XLTokenKind::Value, 2, 3, 0xC1, {0x1234}},
        {XLTokenKind::Value, 5, 5, 0xC2, {258}},    {XLTokenKind::Value, 10, 3, 0xC3, {-1}},
        {XLTokenKind::Value, 13, 5, 0xC4, {-2}},    {XLTokenKind::Value, 18, 5, 0xC5, {1.0}},
        {XLTokenKind::Attribute, 23, 3, 0, {}},     {XLTokenKind::Value, 33, 5, 0xC0, {'h', 'i'}},
        {XLTokenKind::Attribute, 38, 2, 0, {}},     {XLTokenKind::Value, 40, 8, 0xC3, {-1, 2}},
        {XLTokenKind::Attribute, 48, 2, 0, {}},     {XLTokenKind::Value, 50, 7, 0xC5, {-2.0}},
        {XLTokenKind::Value, 57, 5, 0xC3, {-5, 5}}, {XLTokenKind::Value, 62, 9, 0xC1, {1, 2, 3, 4}},
        {XLTokenKind::Value, 71, 4, 0xC1, {}},      {XLTokenKind::Operator, 75, 1, 0, {}},
        {XLTokenKind::EmbeddedData, 76, 4, 0, {}},  {XLTokenKind::EmbeddedData, 80, 5, 0, {}},
        {XLTokenKind::Operator, 85, 1, 0, {}},
    };
    for (size_t i = 0; i < tokens.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tokens[i].kind, expected[i].kind);
        EXPECT_EQ(tokens[i].offset, expected[i].offset);
        EXPECT_EQ(tokens[i].size, expected[i].size);
        EXPECT_EQ(tokens[i].tag, run[expected[i].offset]);
        EXPECT_EQ(tokens[i].valueType, expected[i].valueType);
        EXPECT_EQ(tokens[i].numbers, expected[i].numbers);
        if (tokens[i].kind == XLTokenKind::Value) {
            EXPECT_EQ(tokens[i].count, tokens[i].numbers.size());
        }
    }
    EXPECT_EQ(tokens[6].id, 0x1234);
    EXPECT_EQ(tokens[7].raw.size(), 2u);
    EXPECT_EQ(tokens[7].raw[0], 'h');
    EXPECT_EQ(tokens[8].id, 0xA8);
    EXPECT_EQ(tokens[9].raw.size(), 4u);
    EXPECT_EQ(tokens[15].id, 0x6F);
    EXPECT_EQ(tokens[16].count, 2u);
    EXPECT_EQ(tokens[16].raw.data(), run.data() + 78);
    EXPECT_EQ(tokens[17].count, 0u);
    EXPECT_TRUE(tokens[17].raw.empty());
    EXPECT_EQ(tokens[18].id, 0x45);
}

TEST(XLDecodeTokens, ReadsTheStreamHeaderLine)
{
    const Bytes run =
        Concat({AsBytes(") HP-PCL XL;2;0;comment\r\n"), {0xC0, 0x01, 0xF8, 0x03, 0x41}});
    std::vector<XLToken> tokens;
    XLDecodeError error;
    ASSERT_TRUE(XLDecodeTokens(run, tokens, error)) << error.message;
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[0].kind, XLTokenKind::StreamHeader);
    EXPECT_EQ(tokens[0].size, 25u);
    EXPECT_EQ(std::string(tokens[0].raw.begin(), tokens[0].raw.end()), ") HP-PCL XL;2;0;comment");
    EXPECT_EQ(tokens[1].offset, 25u);

    const Bytes bigEndianBinding = Concat({AsBytes("( HP-PCL XL;2;0\n"), {0x41}});
    ASSERT_TRUE(XLDecodeTokens(bigEndianBinding, tokens, error));
    EXPECT_EQ(tokens.at(0).raw.size(), 15u);
    EXPECT_EQ(tokens.at(1).offset, 16u);

    EXPECT_FALSE(XLDecodeTokens(AsBytes(") HP-PCL XL;2;0"), tokens, error));
    EXPECT_EQ(error.offset, 0u);
    EXPECT_TRUE(tokens.empty());
}

TEST(XLDecodeTokens, RejectsMalformedRunsAtTheirOffset)
{
    struct Case {
        Bytes run;
        size_t offset;
        size_t tokensBefore;
    };
    const Case cases[] = {
        {{0x41, 0x01}, 1, 1}, // not a token
        {{0x41, 0x1B}, 1, 1},
        {{0x41, 0x40}, 1, 1},
        {{0xC6}, 0, 0}, // unknown data types
        {{0xC7}, 0, 0},
        {{0xCE}, 0, 0},
        {{0xD6}, 0, 0},
        {{0xE6}, 0, 0},
        {{0xF0}, 0, 0},
        {{0xFC}, 0, 0},
        {{0xFF}, 0, 0},
        {{0x41, 0xC2, 0x01, 0x02, 0x03}, 1, 1}, // value cut short
        {{0xD5, 0x00, 0x00, 0x00, 0x00, 0x00}, 0, 0},
        {{0xC8}, 0, 0}, // array length missing
        {{0xC8, 0xC1, 0x05}, 0, 0},
        {{0xC8, 0xC2, 0x01, 0, 0, 0}, 1, 0},          // array length not ubyte/uint16
        {{0xCA, 0xC1, 0xFF, 0xFF, 0x00}, 0, 0},       // huge array, few bytes
        {{0xFA, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, 0, 0}, // huge data, few bytes
        {{0xFA, 0x01, 0x00}, 0, 0},
        {{0xFB, 0x02, 0x00}, 0, 0},
        {{0xFB}, 0, 0},
        {{0xF8, 0xA8}, 0, 0}, // attribute without a value
        {{0x41, 0xF8, 0xA8}, 1, 1},
        {{0xC0, 0x01, 0xF8, 0xA8, 0xF8, 0xA9}, 4, 2},
        {{0xC0, 0x01, 0xF9, 0xA8}, 2, 1}, // attr_uint16 cut short
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.run));
        const ExactCopy copy(c.run, c.run.size());
        std::vector<XLToken> tokens;
        XLDecodeError error;
        EXPECT_FALSE(XLDecodeTokens(copy.span(), tokens, error));
        EXPECT_EQ(error.offset, c.offset);
        EXPECT_FALSE(error.message.empty());
        EXPECT_EQ(tokens.size(), c.tokensBefore);
    }
}

TEST(XLDecodeOperations, GroupsAttributesAndDataWithTheirOperator)
{
    const Bytes run = {0xC1, 0x41, 0x00, 0xF8, 0xA2, 0xC2, 0x03, 0x00, 0x00, 0x00,
                       0xF8, 0xA3, 0x53, 0xFB, 0x01, 0x0A, 0xFA, 0x02, 0x00, 0x00,
                       0x00, 0x0B, 0x0C, 0x54, 0x42, 0xFA, 0x00, 0x00, 0x00, 0x00};
    std::vector<XLOperation> ops;
    XLDecodeError error;
    ASSERT_TRUE(XLDecodeOperations(run, ops, error)) << error.message;
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].op, 0x53);
    EXPECT_EQ(ops[0].offset, 12u);
    ASSERT_EQ(ops[0].attributes.size(), 2u);
    EXPECT_EQ(ops[0].attributes[0].id, 0xA2);
    ASSERT_NE(ops[0].Find(0xA3), nullptr);
    EXPECT_EQ(ops[0].Find(0xA3)->value.numbers, (std::vector<double>{3}));
    EXPECT_EQ(ops[0].Find(0xA8), nullptr);
    EXPECT_TRUE(ops[0].hasData);
    EXPECT_EQ(ops[0].data, (Bytes{0x0A, 0x0B, 0x0C}));
    EXPECT_FALSE(ops[1].hasData);
    EXPECT_TRUE(ops[1].attributes.empty());
    EXPECT_TRUE(ops[2].hasData) << "an empty block still counts";
    EXPECT_TRUE(ops[2].data.empty());

    struct Case {
        Bytes run;
        size_t offset;
        size_t opsBefore;
    };
    const Case cases[] = {
        {{0x41, 0xC0, 0x01, 0xC0, 0x02, 0xF8, 0x03, 0x42}, 3, 1}, // value, then value
        {{0xC0, 0x01, 0x42}, 2, 0},                               // value, then operator
        {{0xFA, 0x00, 0x00, 0x00, 0x00}, 0, 0},                   // data before any operator
        {{0x41, 0xC0, 0x01, 0xF8, 0x03, 0xFB, 0x00}, 5, 1},       // data after an attribute
        {{0x41, 0xC0, 0x01}, 1, 1},                               // dangling value
        {{0x41, 0xC0, 0x01, 0xF8, 0x03}, 1, 1},                   // dangling attribute
        {{0x41, 0xC0, 0x01, 0xF8, 0x03, 0x42, 0xC1}, 6, 2},       // token error
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.run));
        EXPECT_FALSE(XLDecodeOperations(c.run, ops, error));
        EXPECT_EQ(error.offset, c.offset);
        EXPECT_FALSE(error.message.empty());
        EXPECT_EQ(ops.size(), c.opsBefore);
    }
}

TEST(XLDecodeOperations, ReadsBackWhatTheWriterWrites)
{
    const Bytes run = WriterSample();
    std::vector<XLOperation> ops;
    XLDecodeError error;
    ASSERT_TRUE(XLDecodeOperations(run, ops, error)) << error.offset << ": " << error.message;
    const std::vector<uint8_t> codes = {0x4F, 0x50, 0x51, 0x52, 0x53, 0x54,
                                        0x6F, 0x7D, 0x66, 0x64, 0x55};
    ASSERT_EQ(ops.size(), codes.size());
    for (size_t i = 0; i < ops.size(); ++i)
        EXPECT_EQ(ops[i].op, codes[i]) << i;

    const std::string name = "OT:7:Arial:n";
    auto nameOf = [](const XLOperation &op) {
        const XLAttribute *attribute = op.Find(0xA8);
        return attribute ? std::string(attribute->value.raw.begin(), attribute->value.raw.end())
                         : std::string();
    };
    for (size_t i : {0u, 3u, 6u, 10u}) {
        EXPECT_EQ(nameOf(ops[i]), name) << i;
        EXPECT_EQ(ops[i].Find(0xA8)->value.valueType, 0xC0);
        EXPECT_EQ(ops[i].Find(0xA8)->value.tag, 0xC8);
    }
    EXPECT_EQ(ops[0].Find(0xA9)->value.numbers, (std::vector<double>{0}));
    EXPECT_EQ(ops[1].Find(0xA7)->value.numbers, (std::vector<double>{7}));
    EXPECT_EQ(ops[1].data, (Bytes{0x00, 0x00, 0x00, 0x02, 0x01, 0x02, 0x03}));
    EXPECT_FALSE(ops[2].hasData);
    EXPECT_EQ(ops[4].Find(0xA2)->value.numbers, (std::vector<double>{0x41}));
    EXPECT_EQ(ops[4].Find(0xA3)->value.numbers, (std::vector<double>{8}));
    EXPECT_EQ(ops[4].data, (Bytes{0x01, 0x00, 0x00, 0x04, 0x00, 0x00, 0xAA, 0xBB}));
    EXPECT_EQ(ops[6].Find(0xA6)->value.numbers, (std::vector<double>{41.5}));
    EXPECT_EQ(ops[6].Find(0xAA)->value.numbers, (std::vector<double>{1}));
    EXPECT_EQ(ops[6].attributes.size(), 3u);
    EXPECT_EQ(ops[7].Find(0xB1)->value.numbers, (std::vector<double>{0.01f}));
    EXPECT_EQ(ops[8].Find(0xA5)->value.numbers, (std::vector<double>{0.1583f, -0.5f}));
    EXPECT_EQ(ops[8].Find(0xA5)->value.tag, 0xD5);
    EXPECT_EQ(ops[9].Find(0xA1)->value.numbers, (std::vector<double>{-1}));
    EXPECT_EQ(ops[9].Find(0xA1)->value.valueType, 0xC3);
}

TEST(XLDecodeTokens, EveryCutOfAStreamDecodesToAPrefixOrFailsWithinIt)
{
    const Bytes full = Concat({AsBytes(") HP-PCL XL;2;0;cut test\r\n"), WriterSample()});
    std::vector<XLToken> fullTokens;
    XLDecodeError error;
    ASSERT_TRUE(XLDecodeTokens(full, fullTokens, error)) << error.message;

    for (size_t cut = 0; cut < full.size(); ++cut) {
        SCOPED_TRACE(cut);
        const ExactCopy copy(full, cut);
        std::vector<XLToken> tokens;
        if (XLDecodeTokens(copy.span(), tokens, error)) {
            // The cut fell between tokens.
            ASSERT_LT(tokens.size(), fullTokens.size());
            EXPECT_EQ(fullTokens[tokens.size()].offset, cut);
        } else {
            EXPECT_LE(error.offset, cut);
            EXPECT_LE(tokens.size(), fullTokens.size());
        }
        for (size_t i = 0; i < tokens.size(); ++i) {
            ASSERT_EQ(tokens[i].offset, fullTokens[i].offset);
            ASSERT_EQ(tokens[i].size, fullTokens[i].size);
            ASSERT_LE(tokens[i].offset + tokens[i].size, cut);
        }
        std::vector<XLOperation> ops;
        if (!XLDecodeOperations(copy.span(), ops, error)) {
            EXPECT_LE(error.offset, cut);
        }
    }
}

TEST(XLDecodeTokens, SurvivesArbitraryBytes)
{
    // Runs biased towards token tags, so that values, arrays and data
    // lengths with wild counts come up often.
    const uint8_t likely[] = {0xC0, 0xC1, 0xC2, 0xC5, 0xC8, 0xC9, 0xCD, 0xD5,
                              0xE3, 0xF8, 0xF9, 0xFA, 0xFB, 0x41, 0xFF, 0x0A};
    std::minstd_rand random(12345);
    for (int run = 0; run < 3000; ++run) {
        Bytes bytes(random() % 48);
        for (uint8_t &byte : bytes)
            byte = random() % 2 ? likely[random() % std::size(likely)]
                                : static_cast<uint8_t>(random());
        if (run % 10 == 0 && !bytes.empty())
            bytes[0] = ')';
        const ExactCopy copy(bytes, bytes.size());
        std::vector<XLToken> tokens;
        std::vector<XLOperation> ops;
        XLDecodeError error;
        if (!XLDecodeTokens(copy.span(), tokens, error)) {
            EXPECT_LE(error.offset, bytes.size());
        }
        size_t end = 0;
        for (const XLToken &token : tokens) {
            EXPECT_GE(token.offset, end);
            end = token.offset + token.size;
        }
        EXPECT_LE(end, bytes.size());
        if (!XLDecodeOperations(copy.span(), ops, error)) {
            EXPECT_LE(error.offset, bytes.size());
        }
    }
}

TEST(XLDecodeNames, GivesThePublishedNames)
{
    EXPECT_STREQ(XLOperatorName(0x4F), "BeginFontHeader");
    EXPECT_STREQ(XLOperatorName(0x7D), "SetCharBoldValue");
    EXPECT_STREQ(XLOperatorName(0xB9), "ScanLineRel");
    EXPECT_EQ(XLOperatorName(0x45), nullptr);
    EXPECT_EQ(XLOperatorName(0xC0), nullptr);
    EXPECT_STREQ(XLAttributeName(0xA8), "FontName");
    EXPECT_STREQ(XLAttributeName(0xB1), "CharBoldValue");
    EXPECT_EQ(XLAttributeName(0xA8 + 0x100), nullptr);
    EXPECT_EQ(XLAttributeName(0x2E), nullptr);
    EXPECT_STREQ(XLDataTypeName(0xD5), "real32_xy");
    EXPECT_STREQ(XLDataTypeName(0xCD), "real32_array");
    EXPECT_STREQ(XLDataTypeName(0xFB), "dataLengthByte");
    EXPECT_EQ(XLDataTypeName(0xC6), nullptr);

    // Every operator the writer accepts has a name, except the four that
    // are accepted by number only; no name is given to a rejected code.
    int named = 0;
    for (int code = 0; code < 256; ++code) {
        const bool accepted = XLOperatorTable[code] != 0;
        const bool byNumberOnly = code == 0x4C || code == 0x82 || code == 0xAA || code == 0xBF;
        EXPECT_EQ(XLOperatorName(static_cast<uint8_t>(code)) != nullptr, accepted && !byNumberOnly)
            << code;
        named += XLOperatorName(static_cast<uint8_t>(code)) != nullptr;
        if (XLAttributeName(static_cast<uint16_t>(code)) != nullptr) {
            EXPECT_NE(XLAttributeTable[code], 0) << code;
        }
    }
    EXPECT_EQ(named, 86);
}

namespace {

struct FoundStream {
    bool ok;
    XLStreamBounds bounds;
    XLDecodeError error;
};

FoundStream FindStream(const Bytes &job)
{
    FoundStream found{};
    const ExactCopy copy(job, job.size());
    found.ok = XLFindStream(copy.span(), found.bounds, found.error);
    return found;
}

} // namespace

TEST(XLFindStream, SkipsThePjlPreambleAndTrailer)
{
    const Bytes stream = Concat({AsBytes(") HP-PCL XL;2;0\r\n"), WriterSample(),
                                 // a universal exit inside font data is not the trailer
                                 {0xFA, 0x0C, 0, 0, 0}, AsBytes("\x1B%-12345X@P!")});
    const Bytes preamble = AsBytes("\x1B%-12345X@PJL JOB NAME=\"x\"\r\n@PJL SET RESOLUTION=600\r\n"
                                   "\r\n@pjl enter language = pclxl\r\n");
    const Bytes trailer = AsBytes("\x1B%-12345X@PJL EOJ NAME=\"x\"\r\n\x1B%-12345X");
    FoundStream found = FindStream(Concat({preamble, stream, trailer}));
    ASSERT_TRUE(found.ok) << found.error.message;
    EXPECT_EQ(found.bounds.begin, preamble.size());
    EXPECT_EQ(found.bounds.end, preamble.size() + stream.size());

    // A bare stream is the whole job; a stream header right after the exit
    // is taken without ENTER LANGUAGE.
    found = FindStream(stream);
    ASSERT_TRUE(found.ok);
    EXPECT_EQ(found.bounds.begin, 0u);
    EXPECT_EQ(found.bounds.end, stream.size());
    found = FindStream(Concat({AsBytes("\x1B%-12345X"), stream}));
    ASSERT_TRUE(found.ok);
    EXPECT_EQ(found.bounds.begin, 9u);
    EXPECT_EQ(found.bounds.end, 9 + stream.size());
}

TEST(XLFindStream, RejectsABadPreambleAtItsOffset)
{
    FoundStream found = FindStream(AsBytes("\x1B%-12345X@PJL ENTER LANGUAGE=PCL\r\n"));
    EXPECT_FALSE(found.ok);
    EXPECT_EQ(found.error.offset, 9u);
    EXPECT_NE(found.error.message.find("PCL, not PCLXL"), std::string::npos);
    found = FindStream(AsBytes("\x1B%-12345X@PJL JOB\r\nhello\r\n"));
    EXPECT_FALSE(found.ok);
    EXPECT_EQ(found.error.offset, 19u);
    found = FindStream(AsBytes("\x1B%-12345X@PJL JOB\r\n"));
    EXPECT_FALSE(found.ok);
    EXPECT_EQ(found.error.offset, 19u);
}

TEST(XLJobReader, ReadsJobsOneAfterAnotherAndRefusesWhatIsNoJob)
{
    // A banner wrapped in PJL (a universal exit inside its data), then a
    // bare document: two streams, each with its operations.
    std::vector<XLOperation> ops;
    XLDecodeError error;
    ASSERT_TRUE(XLDecodeOperations(WriterSample(), ops, error));
    const Bytes stream = Concat({AsBytes(") HP-PCL XL;2;0\r\n"), WriterSample(),
                                 {0xFA, 0x0C, 0, 0, 0}, AsBytes("\x1B%-12345X@P!")});
    const Bytes preamble = AsBytes("\x1B%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE=PCLXL\r\n");
    const Bytes trailer = AsBytes("\x1B%-12345X@PJL EOJ\r\n\x1B%-12345X");
    const Bytes bare = Concat({AsBytes(") HP-PCL XL;2;0\r\n"), WriterSample()});
    const Bytes file = Concat({preamble, stream, trailer, bare});
    const ExactCopy copy(file, file.size());
    XLJobReader reader(copy.span());
    XLJobPiece piece;
    std::vector<std::pair<XLJobPieceKind, size_t>> seen;
    size_t operations = 0;
    while (reader.Next(piece, error)) {
        if (piece.kind == XLJobPieceKind::Operation)
            ++operations;
        else
            seen.emplace_back(piece.kind, piece.offset);
    }
    EXPECT_EQ(error.message, "");
    const size_t second = preamble.size() + stream.size() + trailer.size();
    const std::vector<std::pair<XLJobPieceKind, size_t>> expected = {
        {XLJobPieceKind::Envelope, 0},
        {XLJobPieceKind::StreamBegin, preamble.size()},
        {XLJobPieceKind::StreamEnd, preamble.size() + stream.size()},
        {XLJobPieceKind::Envelope, preamble.size() + stream.size()},
        {XLJobPieceKind::StreamBegin, second},
        {XLJobPieceKind::StreamEnd, file.size()}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(operations, 2 * ops.size());

    // Refused before anything is read from it: text, or a line between
    // streams that is not PJL.
    auto firstError = [](const Bytes &bytes) {
        const ExactCopy exact(bytes, bytes.size());
        XLJobReader job(exact.span());
        XLJobPiece any;
        XLDecodeError failure;
        while (job.Next(any, failure)) {
        }
        return failure;
    };
    error = firstError(AsBytes("root:x:0:0:root:/root:/bin/bash\n"));
    EXPECT_EQ(error.offset, 0u);
    EXPECT_EQ(error.message, "not a PCL XL stream or a PJL job: it starts with byte 0x72");
    error = firstError(Concat({preamble, stream, AsBytes("\x1B%-12345Xhello\n")}));
    EXPECT_EQ(error.offset, preamble.size() + stream.size() + 9);
    EXPECT_NE(error.message.find("neither PJL nor a new job"), std::string::npos);
}
