// Published PCL XL names of operators, attributes and data types, for
// printing decoded jobs.
#include "xldecode/xldecode.h"

namespace {

struct CodeName {
    uint16_t code;
    const char *name;
};

constexpr CodeName kOperatorNames[] = {
    {0x41, "BeginSession"},      {0x42, "EndSession"},         {0x43, "BeginPage"},
    {0x44, "EndPage"},           {0x46, "VendorUnique"},       {0x47, "Comment"},
    {0x48, "OpenDataSource"},    {0x49, "CloseDataSource"},    {0x4A, "EchoComment"},
    {0x4B, "Query"},             {0x4F, "BeginFontHeader"},    {0x50, "ReadFontHeader"},
    {0x51, "EndFontHeader"},     {0x52, "BeginChar"},          {0x53, "ReadChar"},
    {0x54, "EndChar"},           {0x55, "RemoveFont"},         {0x56, "SetCharAttributes"},
    {0x5B, "BeginStream"},       {0x5C, "ReadStream"},         {0x5D, "EndStream"},
    {0x5E, "ExecStream"},        {0x5F, "RemoveStream"},       {0x60, "PopGS"},
    {0x61, "PushGS"},            {0x62, "SetClipReplace"},     {0x63, "SetBrushSource"},
    {0x64, "SetCharAngle"},      {0x65, "SetCharScale"},       {0x66, "SetCharShear"},
    {0x67, "SetClipIntersect"},  {0x68, "SetClipRectangle"},   {0x69, "SetClipToPage"},
    {0x6A, "SetColorSpace"},     {0x6B, "SetCursor"},          {0x6C, "SetCursorRel"},
    {0x6D, "SetHalftoneMethod"}, {0x6E, "SetFillMode"},        {0x6F, "SetFont"},
    {0x70, "SetLineDash"},       {0x71, "SetLineCap"},         {0x72, "SetLineJoin"},
    {0x73, "SetMiterLimit"},     {0x74, "SetPageDefaultCTM"},  {0x75, "SetPageOrigin"},
    {0x76, "SetPageRotation"},   {0x77, "SetPageScale"},       {0x78, "SetPaintTxMode"},
    {0x79, "SetPenSource"},      {0x7A, "SetPenWidth"},        {0x7B, "SetROP"},
    {0x7C, "SetSourceTxMode"},   {0x7D, "SetCharBoldValue"},   {0x7E, "SetNeutralAxis"},
    {0x7F, "SetClipMode"},       {0x80, "SetPathToClip"},      {0x81, "SetCharSubMode"},
    {0x84, "CloseSubPath"},      {0x85, "NewPath"},            {0x86, "PaintPath"},
    {0x91, "ArcPath"},           {0x93, "BezierPath"},         {0x95, "BezierRelPath"},
    {0x96, "Chord"},             {0x97, "ChordPath"},          {0x98, "Ellipse"},
    {0x99, "EllipsePath"},       {0x9B, "LinePath"},           {0x9D, "LineRelPath"},
    {0x9E, "Pie"},               {0x9F, "PiePath"},            {0xA0, "Rectangle"},
    {0xA1, "RectanglePath"},     {0xA2, "RoundRectangle"},     {0xA3, "RoundRectanglePath"},
    {0xA8, "Text"},              {0xA9, "TextPath"},           {0xB0, "BeginImage"},
    {0xB1, "ReadImage"},         {0xB2, "EndImage"},           {0xB3, "BeginRastPattern"},
    {0xB4, "ReadRastPattern"},   {0xB5, "EndRastPattern"},     {0xB6, "BeginScan"},
    {0xB8, "EndScan"},           {0xB9, "ScanLineRel"},
};

constexpr CodeName kAttributeNames[] = {
    {0x02, "PaletteDepth"},       {0x03, "ColorSpace"},         {0x04, "NullBrush"},
    {0x05, "NullPen"},            {0x06, "PaletteData"},        {0x08, "PatternSelectID"},
    {0x09, "GrayLevel"},          {0x0B, "RGBColor"},           {0x0C, "PatternOrigin"},
    {0x0D, "NewDestinationSize"}, {0x21, "DeviceMatrix"},       {0x22, "DitherMatrixDataType"},
    {0x23, "DitherOrigin"},       {0x24, "MediaDestination"},   {0x25, "MediaSize"},
    {0x26, "MediaSource"},        {0x27, "MediaType"},          {0x28, "Orientation"},
    {0x29, "PageAngle"},          {0x2A, "PageOrigin"},         {0x2B, "PageScale"},
    {0x2C, "ROP3"},               {0x2D, "TxMode"},             {0x2F, "CustomMediaSize"},
    {0x30, "CustomMediaSizeUnits"}, {0x31, "PageCopies"},       {0x32, "DitherMatrixSize"},
    {0x33, "DitherMatrixDepth"},  {0x34, "SimplexPageMode"},    {0x35, "DuplexPageMode"},
    {0x36, "DuplexPageSide"},     {0x41, "ArcDirection"},       {0x42, "BoundingBox"},
    {0x43, "DashOffset"},         {0x44, "EllipseDimension"},   {0x45, "EndPoint"},
    {0x46, "FillMode"},           {0x47, "LineCapStyle"},       {0x48, "LineJoinStyle"},
    {0x49, "MiterLength"},        {0x4A, "LineDashStyle"},      {0x4B, "PenWidth"},
    {0x4C, "Point"},              {0x4D, "NumberOfPoints"},     {0x4E, "SolidLine"},
    {0x4F, "StartPoint"},         {0x50, "PointType"},          {0x51, "ControlPoint1"},
    {0x52, "ControlPoint2"},      {0x53, "ClipRegion"},         {0x54, "ClipMode"},
    {0x62, "ColorDepth"},         {0x63, "BlockHeight"},        {0x64, "ColorMapping"},
    {0x65, "CompressMode"},       {0x66, "DestinationBox"},     {0x67, "DestinationSize"},
    {0x68, "PatternPersistence"}, {0x69, "PatternDefineID"},    {0x6B, "SourceHeight"},
    {0x6C, "SourceWidth"},        {0x6D, "StartLine"},          {0x81, "CommentData"},
    {0x82, "DataOrg"},            {0x86, "Measure"},            {0x88, "SourceType"},
    {0x89, "UnitsPerMeasure"},    {0x8B, "StreamName"},         {0x8C, "StreamDataLength"},
    {0x8F, "ErrorReport"},        {0xA1, "CharAngle"},          {0xA2, "CharCode"},
    {0xA3, "CharDataSize"},       {0xA4, "CharScale"},          {0xA5, "CharShear"},
    {0xA6, "CharSize"},           {0xA7, "FontHeaderLength"},   {0xA8, "FontName"},
    {0xA9, "FontFormat"},         {0xAA, "SymbolSet"},          {0xAB, "TextData"},
    {0xAC, "CharSubModeArray"},   {0xAF, "XSpacingData"},       {0xB0, "YSpacingData"},
    {0xB1, "CharBoldValue"},
};

constexpr CodeName kDataTypeNames[] = {
    {0xC0, "ubyte"},        {0xC1, "uint16"},        {0xC2, "uint32"},
    {0xC3, "sint16"},       {0xC4, "sint32"},        {0xC5, "real32"},
    {0xC8, "ubyte_array"},  {0xC9, "uint16_array"},  {0xCA, "uint32_array"},
    {0xCB, "sint16_array"}, {0xCC, "sint32_array"},  {0xCD, "real32_array"},
    {0xD0, "ubyte_xy"},     {0xD1, "uint16_xy"},     {0xD2, "uint32_xy"},
    {0xD3, "sint16_xy"},    {0xD4, "sint32_xy"},     {0xD5, "real32_xy"},
    {0xE0, "ubyte_box"},    {0xE1, "uint16_box"},    {0xE2, "uint32_box"},
    {0xE3, "sint16_box"},   {0xE4, "sint32_box"},    {0xE5, "real32_box"},
    {0xF8, "attr_ubyte"},   {0xF9, "attr_uint16"},   {0xFA, "dataLength"},
    {0xFB, "dataLengthByte"},
};

template <size_t N>
const char *FindName(const CodeName (&names)[N], uint16_t code)
{
    for (const CodeName &entry : names) {
        if (entry.code == code)
            return entry.name;
    }
    return nullptr;
}

} // namespace

const char *XLOperatorName(uint8_t code) { return FindName(kOperatorNames, code); }
const char *XLAttributeName(uint16_t id) { return FindName(kAttributeNames, id); }
const char *XLDataTypeName(uint8_t tag) { return FindName(kDataTypeNames, tag); }
