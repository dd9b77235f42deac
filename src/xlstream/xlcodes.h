// SPDX-License-Identifier: MIT
// The PCL XL vocabulary, in one place: data-type and token tags, attribute
// identifiers and operators with their published codes and names. Each list
// is expanded where it is needed: the constants below, the writer's tables
// of accepted codes (xlstream/xltables.cpp) and the decoder's names
// (xldecode/xlnames.cpp). Shared by the stream writer, the page fragments,
// the decoder and the tool; depends on nothing.
#pragma once

#include <cstdint>

// Data-type and token tags: X(code, Identifier, "published name").
#define FNDL_XL_DATA_TYPES(X) \
    X(0xC0, UByte, "ubyte") \
    X(0xC1, UInt16, "uint16") \
    X(0xC2, UInt32, "uint32") \
    X(0xC3, SInt16, "sint16") \
    X(0xC4, SInt32, "sint32") \
    X(0xC5, Real32, "real32") \
    X(0xC8, UByteArray, "ubyte_array") \
    X(0xC9, UInt16Array, "uint16_array") \
    X(0xCA, UInt32Array, "uint32_array") \
    X(0xCB, SInt16Array, "sint16_array") \
    X(0xCC, SInt32Array, "sint32_array") \
    X(0xCD, Real32Array, "real32_array") \
    X(0xD0, UByteXY, "ubyte_xy") \
    X(0xD1, UInt16XY, "uint16_xy") \
    X(0xD2, UInt32XY, "uint32_xy") \
    X(0xD3, SInt16XY, "sint16_xy") \
    X(0xD4, SInt32XY, "sint32_xy") \
    X(0xD5, Real32XY, "real32_xy") \
    X(0xE0, UByteBox, "ubyte_box") \
    X(0xE1, UInt16Box, "uint16_box") \
    X(0xE2, UInt32Box, "uint32_box") \
    X(0xE3, SInt16Box, "sint16_box") \
    X(0xE4, SInt32Box, "sint32_box") \
    X(0xE5, Real32Box, "real32_box") \
    X(0xF8, AttrUByte, "attr_ubyte") \
    X(0xF9, AttrUInt16, "attr_uint16") \
    X(0xFA, DataLength, "dataLength") \
    X(0xFB, DataLengthByte, "dataLengthByte")

// Operators and attributes the stream writer accepts, and only those:
// NAMED(code, PublishedName) for a code known by its name, CODE(code) for
// one the writer accepts by number only (no name is given to it here).
#define FNDL_XL_OPERATORS(NAMED, CODE) \
    NAMED(0x41, BeginSession) NAMED(0x42, EndSession) NAMED(0x43, BeginPage) \
    NAMED(0x44, EndPage) NAMED(0x46, VendorUnique) NAMED(0x47, Comment) \
    NAMED(0x48, OpenDataSource) NAMED(0x49, CloseDataSource) NAMED(0x4A, EchoComment) \
    NAMED(0x4B, Query) CODE(0x4C) NAMED(0x4F, BeginFontHeader) NAMED(0x50, ReadFontHeader) \
    NAMED(0x51, EndFontHeader) NAMED(0x52, BeginChar) NAMED(0x53, ReadChar) \
    NAMED(0x54, EndChar) NAMED(0x55, RemoveFont) NAMED(0x56, SetCharAttributes) \
    NAMED(0x5B, BeginStream) NAMED(0x5C, ReadStream) NAMED(0x5D, EndStream) \
    NAMED(0x5E, ExecStream) NAMED(0x5F, RemoveStream) NAMED(0x60, PopGS) NAMED(0x61, PushGS) \
    NAMED(0x62, SetClipReplace) NAMED(0x63, SetBrushSource) NAMED(0x64, SetCharAngle) \
    NAMED(0x65, SetCharScale) NAMED(0x66, SetCharShear) NAMED(0x67, SetClipIntersect) \
    NAMED(0x68, SetClipRectangle) NAMED(0x69, SetClipToPage) NAMED(0x6A, SetColorSpace) \
    NAMED(0x6B, SetCursor) NAMED(0x6C, SetCursorRel) NAMED(0x6D, SetHalftoneMethod) \
    NAMED(0x6E, SetFillMode) NAMED(0x6F, SetFont) NAMED(0x70, SetLineDash) \
    NAMED(0x71, SetLineCap) NAMED(0x72, SetLineJoin) NAMED(0x73, SetMiterLimit) \
    NAMED(0x74, SetPageDefaultCTM) NAMED(0x75, SetPageOrigin) NAMED(0x76, SetPageRotation) \
    NAMED(0x77, SetPageScale) NAMED(0x78, SetPaintTxMode) NAMED(0x79, SetPenSource) \
    NAMED(0x7A, SetPenWidth) NAMED(0x7B, SetROP) NAMED(0x7C, SetSourceTxMode) \
    NAMED(0x7D, SetCharBoldValue) NAMED(0x7E, SetNeutralAxis) NAMED(0x7F, SetClipMode) \
    NAMED(0x80, SetPathToClip) NAMED(0x81, SetCharSubMode) CODE(0x82) \
    NAMED(0x84, CloseSubPath) NAMED(0x85, NewPath) NAMED(0x86, PaintPath) NAMED(0x91, ArcPath) \
    NAMED(0x93, BezierPath) NAMED(0x95, BezierRelPath) NAMED(0x96, Chord) \
    NAMED(0x97, ChordPath) NAMED(0x98, Ellipse) NAMED(0x99, EllipsePath) NAMED(0x9B, LinePath) \
    NAMED(0x9D, LineRelPath) NAMED(0x9E, Pie) NAMED(0x9F, PiePath) NAMED(0xA0, Rectangle) \
    NAMED(0xA1, RectanglePath) NAMED(0xA2, RoundRectangle) NAMED(0xA3, RoundRectanglePath) \
    NAMED(0xA8, Text) NAMED(0xA9, TextPath) CODE(0xAA) NAMED(0xB0, BeginImage) \
    NAMED(0xB1, ReadImage) NAMED(0xB2, EndImage) NAMED(0xB3, BeginRastPattern) \
    NAMED(0xB4, ReadRastPattern) NAMED(0xB5, EndRastPattern) NAMED(0xB6, BeginScan) \
    NAMED(0xB8, EndScan) NAMED(0xB9, ScanLineRel) CODE(0xBF)

#define FNDL_XL_ATTRIBUTES(NAMED, CODE) \
    CODE(0x01) NAMED(0x02, PaletteDepth) NAMED(0x03, ColorSpace) NAMED(0x04, NullBrush) \
    NAMED(0x05, NullPen) NAMED(0x06, PaletteData) CODE(0x07) NAMED(0x08, PatternSelectID) \
    NAMED(0x09, GrayLevel) CODE(0x0A) NAMED(0x0B, RGBColor) NAMED(0x0C, PatternOrigin) \
    NAMED(0x0D, NewDestinationSize) CODE(0x0E) CODE(0x0F) CODE(0x10) CODE(0x11) CODE(0x12) \
    CODE(0x13) CODE(0x14) CODE(0x15) CODE(0x16) CODE(0x17) CODE(0x18) CODE(0x19) CODE(0x1A) \
    CODE(0x1B) CODE(0x1C) NAMED(0x21, DeviceMatrix) NAMED(0x22, DitherMatrixDataType) \
    NAMED(0x23, DitherOrigin) NAMED(0x24, MediaDestination) NAMED(0x25, MediaSize) \
    NAMED(0x26, MediaSource) NAMED(0x27, MediaType) NAMED(0x28, Orientation) \
    NAMED(0x29, PageAngle) NAMED(0x2A, PageOrigin) NAMED(0x2B, PageScale) NAMED(0x2C, ROP3) \
    NAMED(0x2D, TxMode) NAMED(0x2F, CustomMediaSize) NAMED(0x30, CustomMediaSizeUnits) \
    NAMED(0x31, PageCopies) NAMED(0x32, DitherMatrixSize) NAMED(0x33, DitherMatrixDepth) \
    NAMED(0x34, SimplexPageMode) NAMED(0x35, DuplexPageMode) NAMED(0x36, DuplexPageSide) \
    NAMED(0x41, ArcDirection) NAMED(0x42, BoundingBox) NAMED(0x43, DashOffset) \
    NAMED(0x44, EllipseDimension) NAMED(0x45, EndPoint) NAMED(0x46, FillMode) \
    NAMED(0x47, LineCapStyle) NAMED(0x48, LineJoinStyle) NAMED(0x49, MiterLength) \
    NAMED(0x4A, LineDashStyle) NAMED(0x4B, PenWidth) NAMED(0x4C, Point) \
    NAMED(0x4D, NumberOfPoints) NAMED(0x4E, SolidLine) NAMED(0x4F, StartPoint) \
    NAMED(0x50, PointType) NAMED(0x51, ControlPoint1) NAMED(0x52, ControlPoint2) \
    NAMED(0x53, ClipRegion) NAMED(0x54, ClipMode) CODE(0x61) NAMED(0x62, ColorDepth) \
    NAMED(0x63, BlockHeight) NAMED(0x64, ColorMapping) NAMED(0x65, CompressMode) \
    NAMED(0x66, DestinationBox) NAMED(0x67, DestinationSize) NAMED(0x68, PatternPersistence) \
    NAMED(0x69, PatternDefineID) NAMED(0x6B, SourceHeight) NAMED(0x6C, SourceWidth) \
    NAMED(0x6D, StartLine) CODE(0x6E) CODE(0x6F) CODE(0x70) CODE(0x71) CODE(0x72) CODE(0x73) \
    NAMED(0x81, CommentData) NAMED(0x82, DataOrg) NAMED(0x86, Measure) NAMED(0x88, SourceType) \
    NAMED(0x89, UnitsPerMeasure) CODE(0x8A) NAMED(0x8B, StreamName) \
    NAMED(0x8C, StreamDataLength) NAMED(0x8F, ErrorReport) CODE(0x91) CODE(0x92) CODE(0x93) \
    CODE(0x94) CODE(0x95) CODE(0x96) CODE(0x97) CODE(0x98) CODE(0x99) CODE(0x9A) CODE(0x9B) \
    CODE(0x9C) CODE(0x9D) CODE(0x9E) CODE(0x9F) CODE(0xA0) NAMED(0xA1, CharAngle) \
    NAMED(0xA2, CharCode) NAMED(0xA3, CharDataSize) NAMED(0xA4, CharScale) \
    NAMED(0xA5, CharShear) NAMED(0xA6, CharSize) NAMED(0xA7, FontHeaderLength) \
    NAMED(0xA8, FontName) NAMED(0xA9, FontFormat) NAMED(0xAA, SymbolSet) NAMED(0xAB, TextData) \
    NAMED(0xAC, CharSubModeArray) CODE(0xAD) NAMED(0xAF, XSpacingData) \
    NAMED(0xB0, YSpacingData) NAMED(0xB1, CharBoldValue)

namespace xl {

#define FNDL_XL_TAG_CONSTANT(code, Identifier, name) inline constexpr uint8_t k##Identifier = code;
#define FNDL_XL_OPERATOR_CONSTANT(code, Name) inline constexpr uint8_t kOp##Name = code;
#define FNDL_XL_ATTRIBUTE_CONSTANT(code, Name) inline constexpr uint8_t kAttr##Name = code;
#define FNDL_XL_NO_CONSTANT(code)
FNDL_XL_DATA_TYPES(FNDL_XL_TAG_CONSTANT)
FNDL_XL_OPERATORS(FNDL_XL_OPERATOR_CONSTANT, FNDL_XL_NO_CONSTANT)
FNDL_XL_ATTRIBUTES(FNDL_XL_ATTRIBUTE_CONSTANT, FNDL_XL_NO_CONSTANT)
#undef FNDL_XL_TAG_CONSTANT
#undef FNDL_XL_OPERATOR_CONSTANT
#undef FNDL_XL_ATTRIBUTE_CONSTANT
#undef FNDL_XL_NO_CONSTANT

} // namespace xl
