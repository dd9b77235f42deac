// The commands that call the library: job (a complete, printable PCL XL job
// around the library's output), download and remove (the bare calls, for
// callers who frame their own jobs).
//
// The library opens the output path itself and appends to it on every call,
// so the tool writes its own framing into the same file between calls, each
// time opening, writing and closing it before the next library call.
#include "fndl.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "qorvfndl.h"
#include "xldecode/xldecode.h"
#include "xlstream/xlcodes.h"

namespace {

// szText holds 512 code units with the terminating NUL.
constexpr size_t kLibraryTextUnits = sizeof(FNDL_TEXTINFOW::szText) / sizeof(FNDL_WCHAR) - 1;
constexpr size_t kLibraryPathUnits = sizeof(FNDL_PAGEINFOW::chFont) / sizeof(FNDL_WCHAR) - 1;

constexpr char16_t kNewLine = u'\n';
constexpr char16_t kSpace = u' ';

constexpr const char *kStreamHeader = ") HP-PCL XL;2;0;Comment fndl\r\n";

constexpr const char *kDefaultText =
    "Cover page \xE2\x80\x94 printed with a downloaded TrueType soft font.\n"
    "\n"
    "This page was set by fndl, the command-line tool of the qorvfndl library. The font went "
    "to the printer as a PCL XL soft font: a font header with the font's scaling and hinting "
    "tables, then one character for each glyph that the text uses. Every line on this page is "
    "text in that font, broken into lines and pages by the library.\n"
    "\n"
    "Accented letters are characters like any other: d\xC3\xA9j\xC3\xA0 vu, na\xC3\xAFve, "
    "\xC3\x85ngstr\xC3\xB6m, gr\xC3\xB6\xC3\x9F"
    "er, se\xC3\xB1or, \xC5\x93uvre.\n"
    "Digits and signs: 0123456789 + \xE2\x88\x92 \xC3\x97 \xC3\xB7 = % & @ \xC2\xA7 \xC2\xA9 "
    "\xC2\xBD \xE2\x82\xAC.";

enum class Media { A4, Letter };

// A4 is MediaSize 2 and Letter 0 in PCL XL; widths in thousandths of an inch.
uint8_t MediaSizeCode(Media media)
{
    return media == Media::A4 ? 2 : 0;
}
long MediaWidthMils(Media media)
{
    return media == Media::A4 ? 8268 : 8500;
}

// What one command asks of the library.
struct Request {
    std::string font = "DejaVu Sans"; // face name, or font file path with fromFile
    bool fromFile = false;
    std::u16string text;
    long height = 120;
    long resolution = 600;
    long lineSpacing = 0;
    long margin = 300;
    long cursorX = 0;
    long cursorY = 0;
    long weight = 400;
    long fontId = 1;
    long offset = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    Media media = Media::A4;
    std::string output;
    std::u16string fontUnits;
    std::u16string outputUnits;
};

// Which options a command takes besides the font options.
struct CommandKind {
    const char *name;
    bool takesText;
    bool takesOffset;
};

constexpr OptionDefinition kFontOptions[] = {
    {"--help", false, nullptr},     {"-h", false, "--help"},      {"--font", true, nullptr},
    {"--font-file", true, nullptr}, {"--height", true, nullptr},  {"--resolution", true, nullptr},
    {"--bold", false, nullptr},     {"--italic", false, nullptr}, {"--weight", true, nullptr},
    {"--font-id", true, nullptr},   {"--output", true, nullptr},  {"-o", true, "--output"},
};
constexpr OptionDefinition kTextOptions[] = {
    {"--text", true, nullptr},   {"--text-file", true, nullptr}, {"--line-spacing", true, nullptr},
    {"--margin", true, nullptr}, {"--cursor", true, nullptr},    {"--underline", false, nullptr},
    {"--media", true, nullptr},
};
constexpr OptionDefinition kOffsetOption[] = {{"--offset", true, nullptr}};

std::vector<OptionDefinition> OptionsOf(const CommandKind &kind)
{
    std::vector<OptionDefinition> definitions(std::begin(kFontOptions), std::end(kFontOptions));
    if (kind.takesText)
        definitions.insert(definitions.end(), std::begin(kTextOptions), std::end(kTextOptions));
    if (kind.takesOffset)
        definitions.insert(definitions.end(), std::begin(kOffsetOption), std::end(kOffsetOption));
    return definitions;
}

// Character size in device dots, as the library computes it for SetFont.
long CharacterSize(long height, long resolution)
{
    return height / 10 * resolution / 72;
}

// Newlines in one form, tabs as spaces, and one trailing newline dropped, as
// text files end in one. False when the text holds a NUL, which would end
// the library's text early.
bool NormalizeText(std::u16string &text, size_t &nulOffset)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == 0) {
            nulOffset = i;
            return false;
        }
        if (unit == u'\r') {
            out += kNewLine;
            if (i + 1 < text.size() && text[i + 1] == kNewLine)
                ++i;
        } else {
            out += unit == u'\t' ? kSpace : unit;
        }
    }
    if (!out.empty() && out.back() == kNewLine)
        out.pop_back();
    text = std::move(out);
    return true;
}

// Reads the text from --text or --text-file. Returns an exit code, or -1.
int ReadText(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    std::string utf8;
    std::string source;
    if (parsed.Has("--text") && parsed.Has("--text-file"))
        return UsageError(kind.name, "give the text with --text or --text-file, not both");
    if (parsed.Has("--text")) {
        utf8 = parsed.Get("--text");
        source = "--text";
    } else if (parsed.Has("--text-file")) {
        const std::string &path = parsed.Get("--text-file");
        std::vector<uint8_t> bytes;
        std::string reason;
        if (!ReadWholeFile(path, bytes, reason)) {
            PrintError("cannot read text file '" + path + "': " + reason);
            return kExitFailed;
        }
        utf8.assign(bytes.begin(), bytes.end());
        if (utf8.starts_with("\xEF\xBB\xBF"))
            utf8.erase(0, 3);
        source = "text file '" + path + "'";
    } else if (std::string(kind.name) == "job") {
        utf8 = kDefaultText;
    }
    size_t badOffset = 0;
    if (!Utf8ToUtf16(utf8, request.text, badOffset)) {
        PrintError(source + " is not UTF-8: ill-formed bytes at byte " + std::to_string(badOffset) +
                   "; convert it to UTF-8");
        return source == "--text" ? kExitUsage : kExitFailed;
    }
    if (std::string(kind.name) == "download")
        return -1; // the bare call passes the text unchanged
    size_t nulOffset = 0;
    if (!NormalizeText(request.text, nulOffset)) {
        PrintError(source + " holds a NUL character at offset " + std::to_string(nulOffset) +
                   "; remove it");
        return kExitFailed;
    }
    return -1;
}

bool ParseCursor(const std::string &text, long &x, long &y, std::string &error)
{
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        error = "--cursor wants X,Y in device units, not '" + text + "'";
        return false;
    }
    return ParseNumber("--cursor x", text.substr(0, comma), -32768, 32767, x, error) &&
           ParseNumber("--cursor y", text.substr(comma + 1), -32768, 32767, y, error);
}

// Fills request from the parsed options. Returns an exit code, or -1 to go on.
int ReadRequest(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    if (!parsed.positionals.empty())
        return UsageError(kind.name, "unexpected argument '" + parsed.positionals.front() + "'");
    if (!parsed.Has("--output"))
        return UsageError(kind.name, "name the output file with -o FILE");
    request.output = parsed.Get("--output");
    if (parsed.Has("--font") && parsed.Has("--font-file"))
        return UsageError(kind.name, "give --font or --font-file, not both");
    if (parsed.Has("--font"))
        request.font = parsed.Get("--font");
    if (parsed.Has("--font-file")) {
        request.font = parsed.Get("--font-file");
        request.fromFile = true;
    }
    if (request.font.empty())
        return UsageError(kind.name, "the font name is empty");

    struct NumberOption {
        const char *name;
        long min;
        long max;
        long *value;
    };
    const NumberOption numbers[] = {
        {"--height", 10, 10000, &request.height},
        {"--resolution", 72, 2400, &request.resolution},
        {"--line-spacing", 1, 32767, &request.lineSpacing},
        {"--margin", 0, 32767, &request.margin},
        {"--weight", 0, 1000, &request.weight},
        {"--font-id", INT32_MIN, INT32_MAX, &request.fontId},
        {"--offset", 0, static_cast<long>(kLibraryTextUnits), &request.offset},
    };
    std::string error;
    for (const NumberOption &option : numbers) {
        if (parsed.Has(option.name) && !ParseNumber(option.name, parsed.Get(option.name),
                                                    option.min, option.max, *option.value, error))
            return UsageError(kind.name, error);
    }
    // 1.2 times the font height: tenths of a point times dots per inch / 720.
    if (!parsed.Has("--line-spacing"))
        request.lineSpacing = std::max(1L, (request.height * request.resolution + 300) / 600);
    // The first baseline half an inch (at 600 dpi) plus one character size down.
    request.cursorX = request.margin;
    request.cursorY = 300 + CharacterSize(request.height, request.resolution);
    if (parsed.Has("--cursor") &&
        !ParseCursor(parsed.Get("--cursor"), request.cursorX, request.cursorY, error))
        return UsageError(kind.name, error);
    request.bold = parsed.Has("--bold");
    request.italic = parsed.Has("--italic");
    request.underline = parsed.Has("--underline");
    if (parsed.Has("--media")) {
        const std::string &media = parsed.Get("--media");
        if (media == "A4" || media == "a4")
            request.media = Media::A4;
        else if (media == "Letter" || media == "letter")
            request.media = Media::Letter;
        else
            return UsageError(kind.name, "--media wants A4 or Letter, not '" + media + "'");
    }

    size_t badOffset = 0;
    if (!Utf8ToUtf16(request.font, request.fontUnits, badOffset))
        return UsageError(kind.name, "the font name is not UTF-8");
    if (request.fontUnits.size() > kLibraryPathUnits || request.font.size() > kLibraryPathUnits)
        return UsageError(kind.name, "the font name or path is longer than the library's " +
                                         std::to_string(kLibraryPathUnits) + " characters");
    if (!Utf8ToUtf16(request.output, request.outputUnits, badOffset))
        return UsageError(kind.name, "the output path is not UTF-8");
    if (request.outputUnits.size() > kLibraryPathUnits || request.output.size() > kLibraryPathUnits)
        return UsageError(kind.name, "the output path is longer than the library's " +
                                         std::to_string(kLibraryPathUnits) + " bytes");
    if (kind.takesText) {
        if (const int exitCode = ReadText(parsed, kind, request); exitCode >= 0)
            return exitCode;
    }
    if (request.fromFile) {
        std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(request.font.c_str(), "rb"),
                                                    std::fclose);
        if (!file) {
            PrintError("cannot read font file '" + request.font + "': " + std::strerror(errno));
            return kExitFailed;
        }
    }
    return -1;
}

// ---------------------------------------------------------------------------
// Framing: one encoder per data type, then the operators the job needs.

void PutUByteAttribute(std::vector<uint8_t> &out, uint8_t value, uint8_t attribute)
{
    out.insert(out.end(), {xl::kUByte, value, xl::kAttrUByte, attribute});
}

void PutUInt16XYAttribute(std::vector<uint8_t> &out, uint16_t x, uint16_t y, uint8_t attribute)
{
    out.insert(out.end(),
               {xl::kUInt16XY, static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8),
                static_cast<uint8_t>(y), static_cast<uint8_t>(y >> 8), xl::kAttrUByte, attribute});
}

void PutOperator(std::vector<uint8_t> &out, uint8_t op)
{
    out.push_back(op);
}

std::vector<uint8_t> JobStart(const Request &request)
{
    std::vector<uint8_t> out(kStreamHeader, kStreamHeader + std::strlen(kStreamHeader));
    const auto units = static_cast<uint16_t>(request.resolution);
    PutUInt16XYAttribute(out, units, units, xl::kAttrUnitsPerMeasure);
    PutUByteAttribute(out, 0, xl::kAttrMeasure); // inch
    PutUByteAttribute(out, 0, xl::kAttrErrorReport);
    PutOperator(out, xl::kOpBeginSession);
    // Without an open data source the printer rejects the font header's
    // embedded data.
    PutUByteAttribute(out, 0, xl::kAttrSourceType);
    PutUByteAttribute(out, 1, xl::kAttrDataOrg); // binary, low byte first
    PutOperator(out, xl::kOpOpenDataSource);
    return out;
}

void PutPageStart(std::vector<uint8_t> &out, const Request &request)
{
    PutUByteAttribute(out, 0, xl::kAttrOrientation); // portrait
    PutUByteAttribute(out, MediaSizeCode(request.media), xl::kAttrMediaSize);
    PutOperator(out, xl::kOpBeginPage);
    PutUByteAttribute(out, 1, xl::kAttrColorSpace); // gray
    PutOperator(out, xl::kOpSetColorSpace);
    PutUByteAttribute(out, 0, xl::kAttrGrayLevel); // black
    PutOperator(out, xl::kOpSetBrushSource);
}

std::vector<uint8_t> JobEnd()
{
    std::vector<uint8_t> out;
    PutOperator(out, xl::kOpEndPage);
    PutOperator(out, xl::kOpCloseDataSource);
    PutOperator(out, xl::kOpEndSession);
    return out;
}

bool WriteToFile(const std::string &path, const std::vector<uint8_t> &bytes, bool truncate)
{
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), truncate ? "wb" : "ab"),
                                                std::fclose);
    bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    const int error = errno;
    if (file)
        written = std::fclose(file.release()) == 0 && written;
    if (!written)
        PrintError("cannot write '" + path + "': " + std::strerror(error ? error : EIO));
    return written;
}

// Size of the file now; 0 when it does not exist yet.
uint64_t FileSize(const std::string &path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// The bytes the library appended since the file had size from.
std::vector<uint8_t> AppendedBytes(const std::string &path, uint64_t from)
{
    std::vector<uint8_t> bytes;
    std::string reason;
    ReadWholeFile(path, bytes, reason);
    if (from >= bytes.size())
        return {};
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(from));
    return bytes;
}

// ---------------------------------------------------------------------------
// Library calls.

struct CallResult {
    int code = FNDL_DOWNLOAD_FAILURE;
    int offset = 0;
    int cursorY = 0;
    int stopX = 0;
    int newPage = 0;
};

const char *ResultName(int code)
{
    switch (code) {
    case FNDL_OK: return "done";
    case FNDL_INVALID_GLYPH_HANDLE: return "stopped at a character without glyph";
    case FNDL_PAGEEND: return "page end";
    default: return "failure";
    }
}

template <size_t N> void CopyUnits(FNDL_WCHAR (&field)[N], std::u16string_view units)
{
    const size_t count = std::min(units.size(), N - 1);
    for (size_t i = 0; i < count; ++i)
        field[i] = static_cast<FNDL_WCHAR>(units[i]);
    field[count] = 0;
}

// One FNDLFontDownloadW call with text (at most kLibraryTextUnits units).
CallResult CallDownload(const Request &request, std::u16string_view text, int offset)
{
    FNDL_TEXTINFOW textInfo;
    FNDL_PAGEINFOW pageInfo;
    std::memset(&textInfo, 0, sizeof textInfo);
    std::memset(&pageInfo, 0, sizeof pageInfo);
    CopyUnits(textInfo.szText, text);
    textInfo.FontHeight = static_cast<int>(request.height);
    textInfo.bBold = request.bold ? 1 : 0;
    textInfo.bItalic = request.italic ? 1 : 0;
    textInfo.bUnderline = request.underline ? 1 : 0;
    textInfo.nOffsetToText = offset;
    textInfo.nLeftMargin = static_cast<int>(request.margin);
    CopyUnits(pageInfo.chFont, request.fontUnits);
    CopyUnits(pageInfo.szOutputPath, request.outputUnits);
    pageInfo.nFontId = static_cast<int>(request.fontId);
    pageInfo.nPaperWidth =
        static_cast<int>(MediaWidthMils(request.media) * request.resolution / 1000);
    pageInfo.nResolution = static_cast<int>(request.resolution);
    pageInfo.nLineSpacing = static_cast<int>(request.lineSpacing);
    pageInfo.lfWeight = static_cast<int>(request.weight);
    pageInfo.bTTE = request.fromFile ? 1 : 0;

    CallResult result;
    result.code = FNDLFontDownloadW(&textInfo, &pageInfo);
    result.offset = textInfo.nOffsetToText;
    result.cursorY = FNDLGetCursor();
    result.stopX = pageInfo.nStopX;
    result.newPage = textInfo.bNewPage;
    return result;
}

void SetCursor(long x, long y)
{
    int nX = static_cast<int>(x);
    int nY = static_cast<int>(y);
    FNDLSetCursor(&nX, &nY);
}

void PrintDownloadFailure(const Request &request)
{
    PrintError("the library could not download the font or write '" + request.output +
               "' (result 3); check the font" + (request.fromFile ? " file" : " name") +
               " and that the output file is writable");
}

// What the library's text lines in some output were: where the last one
// starts and ends, and how many lines and characters there were.
struct WrittenLines {
    long count = 0;
    long characters = 0;
    bool hasLast = false;
    long lastY = 0;
    long lastEndX = 0;
};

bool ReadWrittenLines(std::span<const uint8_t> bytes, WrittenLines &lines, XLDecodeError &error)
{
    std::vector<XLOperation> ops;
    if (!XLDecodeOperations(bytes, ops, error))
        return false;
    long cursorX = 0;
    long cursorY = 0;
    for (const XLOperation &op : ops) {
        if (op.op == xl::kOpSetCursor) {
            if (const XLAttribute *point = op.Find(xl::kAttrPoint);
                point && point->value.numbers.size() == 2) {
                cursorX = static_cast<long>(point->value.numbers[0]);
                cursorY = static_cast<long>(point->value.numbers[1]);
            }
        } else if (op.op == xl::kOpText) {
            long advance = 0;
            if (const XLAttribute *spacing = op.Find(xl::kAttrXSpacingData)) {
                for (const double number : spacing->value.numbers)
                    advance += static_cast<long>(number);
            }
            if (const XLAttribute *textData = op.Find(xl::kAttrTextData))
                lines.characters += textData->value.count;
            ++lines.count;
            lines.hasLast = true;
            lines.lastY = cursorY;
            lines.lastEndX = cursorX + advance;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// The job: paragraphs (the text's lines) set by the library in chunks that fit
// its text buffer, pages framed by the tool.

struct Job {
    const Request &request;
    long pages = 1;
    long lines = 0;
    long characters = 0;
    long missing = 0;
    long x = 0;
    long y = 0;
    bool freshPage = true; // the cursor is at the top of a page nothing was set on
    bool hasLastLine = false;
    long lastLineY = 0;
    long lastLineEndX = 0;

    bool RowHasText() const { return hasLastLine && lastLineY == y; }
};

void NewLine(Job &job)
{
    job.y += job.request.lineSpacing;
    job.x = job.request.margin;
    job.freshPage = false;
    SetCursor(job.x, job.y);
}

bool NewPage(Job &job)
{
    std::vector<uint8_t> bytes;
    PutOperator(bytes, xl::kOpEndPage);
    PutPageStart(bytes, job.request);
    if (!WriteToFile(job.request.output, bytes, false))
        return false;
    ++job.pages;
    job.x = job.request.margin;
    job.y = job.request.cursorY;
    job.freshPage = true;
    job.hasLastLine = false;
    SetCursor(job.x, job.y);
    return true;
}

// Units of paragraph from pos for the next call: all that is left when it
// fits, else up to just before the last space that fits (the space starts
// the next chunk, so that the library can break the line there), else as
// much as fits without splitting a surrogate pair.
size_t ChunkLength(std::u16string_view paragraph, size_t pos)
{
    const size_t left = paragraph.size() - pos;
    if (left <= kLibraryTextUnits)
        return left;
    for (size_t length = kLibraryTextUnits; length > 0; --length) {
        if (paragraph[pos + length] == kSpace)
            return length;
    }
    const char16_t last = paragraph[pos + kLibraryTextUnits - 1];
    return last >= 0xD800 && last <= 0xDBFF ? kLibraryTextUnits - 1 : kLibraryTextUnits;
}

uint32_t CodePointAt(std::u16string_view text, size_t at, size_t &units)
{
    const char16_t unit = text[at];
    units = 1;
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
        text[at + 1] <= 0xDFFF) {
        units = 2;
        return 0x10000 + ((unit - 0xD800u) << 10) + (text[at + 1] - 0xDC00u);
    }
    return unit;
}

// One call of the library for the chunk at pos; moves pos on. Returns an exit
// code, or -1 to go on.
int SetChunk(Job &job, std::u16string_view paragraph, size_t paragraphStart, size_t &pos)
{
    const Request &request = job.request;
    const size_t length = ChunkLength(paragraph, pos);
    const uint64_t sizeBefore = FileSize(request.output);
    const CallResult result = CallDownload(request, paragraph.substr(pos, length), 0);
    if (result.code != FNDL_OK && result.code != FNDL_INVALID_GLYPH_HANDLE &&
        result.code != FNDL_PAGEEND) {
        PrintDownloadFailure(request);
        PrintError("'" + request.output + "' is incomplete: do not print it");
        return kExitFailed;
    }

    WrittenLines written;
    XLDecodeError error;
    const std::vector<uint8_t> appended = AppendedBytes(request.output, sizeBefore);
    if (!ReadWrittenLines(appended, written, error)) {
        PrintError("the library's output does not decode at byte " +
                   std::to_string(sizeBefore + error.offset) + " of '" + request.output +
                   "': " + error.message);
        return kExitFailed;
    }
    job.lines += written.count;
    job.characters += written.characters;
    if (written.count > 0)
        job.freshPage = false;
    if (written.hasLast) {
        job.hasLastLine = true;
        job.lastLineY = written.lastY;
        job.lastLineEndX = written.lastEndX;
    }
    job.y = result.cursorY;
    const size_t stop = static_cast<size_t>(std::max(result.offset, 0));
    if (result.code != FNDL_OK && stop >= std::max<size_t>(length, 1)) {
        PrintError("the library reported offset " + std::to_string(result.offset) +
                   " outside the " + std::to_string(length) + " units it was given");
        return kExitFailed;
    }

    switch (result.code) {
    case FNDL_OK:
        pos += length;
        // The library leaves the cursor x at the start of a last line that
        // fits; the next text goes on after that line's end.
        job.x = job.RowHasText() ? job.lastLineEndX : request.margin;
        SetCursor(job.x, job.y);
        return -1;
    case FNDL_INVALID_GLYPH_HANDLE: {
        size_t units = 1;
        const uint32_t codePoint = CodePointAt(paragraph, pos + stop, units);
        char name[16];
        std::snprintf(name, sizeof name, "U+%04X", codePoint);
        PrintError(std::string("no glyph for ") + name + " at text offset " +
                   std::to_string(paragraphStart + pos + stop) + " (x " +
                   std::to_string(result.stopX) + "): left out, the text goes on after it");
        ++job.missing;
        pos += stop + units;
        // Go on right where the library stopped; past the right limit it
        // gives no x, and the text goes on on a new line.
        if (result.stopX > 0) {
            job.x = result.stopX;
            SetCursor(job.x, job.y);
        } else {
            NewLine(job);
        }
        return -1;
    }
    default: // page end before the line at offset
        if (job.freshPage && stop == 0) {
            PrintError("no line fits on a page: the cursor y " + std::to_string(request.cursorY) +
                       " is below the library's bottom limit; give a smaller --cursor y");
            return kExitFailed;
        }
        pos += stop;
        return NewPage(job) ? -1 : kExitFailed;
    }
}

int SetParagraph(Job &job, std::u16string_view paragraph, size_t paragraphStart)
{
    size_t pos = 0;
    while (pos < paragraph.size()) {
        if (const int exitCode = SetChunk(job, paragraph, paragraphStart, pos); exitCode >= 0)
            return exitCode;
    }
    return -1;
}

int RunJobCommand(const Request &request)
{
    std::vector<uint8_t> start = JobStart(request);
    PutPageStart(start, request);
    if (!WriteToFile(request.output, start, true))
        return kExitFailed;
    Job job{request};
    job.x = request.cursorX;
    job.y = request.cursorY;
    SetCursor(job.x, job.y);

    const std::u16string_view text = request.text;
    if (text.empty()) {
        // No text: the font is still downloaded and selected.
        size_t pos = 0;
        if (const int exitCode = SetChunk(job, text, 0, pos); exitCode >= 0)
            return exitCode;
    }
    size_t paragraphStart = 0;
    bool previousEmpty = false;
    for (bool first = true; paragraphStart <= text.size() && !text.empty(); first = false) {
        size_t paragraphEnd = text.find(kNewLine, paragraphStart);
        if (paragraphEnd == std::u16string_view::npos)
            paragraphEnd = text.size();
        const std::u16string_view paragraph =
            text.substr(paragraphStart, paragraphEnd - paragraphStart);
        // A new line for every newline, unless the library's last line
        // already ended where the paragraph did and moved the cursor on.
        if (!first && (job.RowHasText() || previousEmpty))
            NewLine(job);
        const long linesBefore = job.lines;
        if (const int exitCode = SetParagraph(job, paragraph, paragraphStart); exitCode >= 0)
            return exitCode;
        // A paragraph that set nothing (blank, or only characters without
        // glyph) still takes its row.
        previousEmpty = job.lines == linesBefore;
        paragraphStart = paragraphEnd + 1;
    }

    if (!WriteToFile(request.output, JobEnd(), false))
        return kExitFailed;
    std::printf("%s: %ld page%s, %ld line%s, %ld characters set", request.output.c_str(), job.pages,
                job.pages == 1 ? "" : "s", job.lines, job.lines == 1 ? "" : "s", job.characters);
    if (job.missing > 0)
        std::printf(", %ld left out for want of a glyph", job.missing);
    std::printf(", %llu bytes\n", static_cast<unsigned long long>(FileSize(request.output)));
    return kExitDone;
}

// ---------------------------------------------------------------------------
// Help.

constexpr const char *kFontHelp =
    "Font options:\n"
    "  --font NAME        face name to download (default \"DejaVu Sans\"); resolved like\n"
    "                     'fndl which NAME' shows\n"
    "  --font-file PATH   read the TrueType font from this file instead (the path\n"
    "                     becomes the font's name)\n"
    "  --font-id N        the caller's number for the font (default 1); the soft font\n"
    "                     is named OT:<N in hex>:<name>:n\n"
    "  --height N         font height in tenths of a point (default 120)\n"
    "  --resolution N     device resolution in dots per inch, 72-2400 (default 600);\n"
    "                     the library's right and bottom limits (x 4725, y 6780)\n"
    "                     are fixed device units, made for 600 dpi\n"
    "  --weight N         weight of the face looked up, 0-1000 (default 400)\n"
    "  --bold             set the text bold (SetCharBoldValue 0.01)\n"
    "  --italic           italic face, text slanted (SetCharShear 0.1583)\n"
    "  -o, --output FILE  the output file\n";

constexpr const char *kTextHelp =
    "\nText options (device units are dots at --resolution):\n"
    "  --text TEXT        the text, UTF-8\n"
    "  --text-file FILE   read the text from a UTF-8 file\n"
    "  --line-spacing N   distance between lines (default height x resolution / 600,\n"
    "                     1.2 times the font height: 120 at 12 pt and 600 dpi)\n"
    "  --margin N         x where lines start (default 300)\n"
    "  --cursor X,Y       where the first line starts (default: the margin, and\n"
    "                     300 plus the character size: 300,400 at 12 pt, 600 dpi)\n"
    "  --underline        underline the lines\n"
    "  --media A4|Letter  paper size of the pages (default A4)\n";

constexpr const char *kJobHelp =
    "usage: fndl job [options] -o FILE\n"
    "\n"
    "Writes a complete, printable PCL XL job: stream header, session, data source,\n"
    "pages, and in them the library's output: the font downloaded as a TrueType\n"
    "soft font and the text set in it. FILE is replaced.\n"
    "\n"
    "Each line of the text is a paragraph; the library breaks paragraphs into lines\n"
    "at its right limit. It takes at most 511 UTF-16 units per call: longer\n"
    "paragraphs go in parts, split before a space where there is one, each part\n"
    "going on where the last ended. At a page end the tool ends the page, begins\n"
    "the next and goes on at the top (the --cursor y, at the margin). A character\n"
    "the font has no glyph for is reported on stderr with its offset in the text\n"
    "(UTF-16 units, newlines counted) and x, left out, and the text goes on right\n"
    "after it on the same line. Tabs count as spaces.\n"
    "Without --text or --text-file a short cover page text is set.\n"
    "\n";

constexpr const char *kDownloadHelp =
    "usage: fndl download [options] -o FILE\n"
    "\n"
    "One bare library call (FNDLFontDownloadW), for callers who frame their own\n"
    "jobs: appends to FILE (created when missing) what the library writes: the\n"
    "font header and characters the first time, the font selection, and the text\n"
    "lines. No stream header, session or page framing. The text (default: none) is\n"
    "passed unchanged and must fit the library's 511 UTF-16 units; newlines are\n"
    "not treated specially. Prints the result: its code (0 done, 1 stopped at a\n"
    "character without glyph, 2 page end, 3 failure), the new offset, cursor y,\n"
    "stop x and new-page flag. Exit status 0 for results 0-2, 1 for result 3.\n"
    "Each run is a new library session: the font is downloaded in full every time.\n"
    "\n"
    "  --offset N         characters of the text to skip (nOffsetToText)\n"
    "\n";

constexpr const char *kRemoveHelp =
    "usage: fndl remove [--font NAME | --font-file PATH] [--font-id N] [options] -o FILE\n"
    "\n"
    "The library removes only fonts downloaded in the same process, so this command\n"
    "first downloads the font with an empty text (appending its font header and\n"
    "selection to FILE) and then removes it (FNDLRemoveFontW), which appends the\n"
    "RemoveFont operator for the soft font's name. Prints what each call appended.\n"
    "\n";

int PrintHelp(const char *intro, bool withText)
{
    std::printf("%s%s%s", intro, kFontHelp, withText ? kTextHelp : "");
    std::printf("  -h, --help         this help\n");
    return kExitDone;
}

// Parses the command line of one command; returns an exit code, or -1.
int ParseRequest(std::span<char *const> args, const CommandKind &kind, const char *help,
                 Request &request)
{
    const std::vector<OptionDefinition> definitions = OptionsOf(kind);
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, definitions, parsed, error))
        return UsageError(kind.name, error);
    if (parsed.Has("--help"))
        return PrintHelp(help, kind.takesText);
    return ReadRequest(parsed, kind, request);
}

} // namespace

int RunJob(std::span<char *const> args)
{
    Request request;
    if (const int exitCode = ParseRequest(args, {"job", true, false}, kJobHelp, request);
        exitCode >= 0)
        return exitCode;
    return RunJobCommand(request);
}

int RunDownload(std::span<char *const> args)
{
    Request request;
    if (const int exitCode = ParseRequest(args, {"download", true, true}, kDownloadHelp, request);
        exitCode >= 0)
        return exitCode;
    if (request.text.size() > kLibraryTextUnits)
        return UsageError("download", "the text has " + std::to_string(request.text.size()) +
                                          " UTF-16 units; one library call takes at most " +
                                          std::to_string(kLibraryTextUnits) + " (use 'fndl job')");
    SetCursor(request.cursorX, request.cursorY);
    const uint64_t sizeBefore = FileSize(request.output);
    const CallResult result = CallDownload(request, request.text, static_cast<int>(request.offset));
    std::printf(
        "result %d (%s): offset %d, cursor y %d, stop x %d, new page %d; appended %llu bytes "
        "to %s\n",
        result.code, ResultName(result.code), result.offset, result.cursorY, result.stopX,
        result.newPage,
        static_cast<unsigned long long>(FileSize(request.output) -
                                        std::min(FileSize(request.output), sizeBefore)),
        request.output.c_str());
    if (result.code == FNDL_DOWNLOAD_FAILURE) {
        PrintDownloadFailure(request);
        return kExitFailed;
    }
    return kExitDone;
}

namespace {

// The font name of the first operator op in bytes, or "".
std::string FontNameOf(std::span<const uint8_t> bytes, uint8_t op)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    XLDecodeOperations(bytes, ops, error);
    for (const XLOperation &operation : ops) {
        if (operation.op != op)
            continue;
        if (const XLAttribute *name = operation.Find(xl::kAttrFontName))
            return std::string(name->value.raw.begin(), name->value.raw.end());
    }
    return "";
}

} // namespace

int RunRemove(std::span<char *const> args)
{
    Request request;
    if (const int exitCode = ParseRequest(args, {"remove", false, false}, kRemoveHelp, request);
        exitCode >= 0)
        return exitCode;
    uint64_t sizeBefore = FileSize(request.output);
    const CallResult result = CallDownload(request, u"", 0);
    std::vector<uint8_t> appended = AppendedBytes(request.output, sizeBefore);
    std::printf(
        "download (empty text): result %d (%s); appended %zu bytes (font header of \"%s\")\n",
        result.code, ResultName(result.code), appended.size(),
        FontNameOf(appended, xl::kOpBeginFontHeader).c_str());
    if (result.code == FNDL_DOWNLOAD_FAILURE) {
        PrintDownloadFailure(request);
        return kExitFailed;
    }
    sizeBefore = FileSize(request.output);
    int nFontId = static_cast<int>(request.fontId);
    FNDLRemoveFontW(&nFontId);
    appended = AppendedBytes(request.output, sizeBefore);
    if (appended.empty())
        std::printf("remove font %ld: nothing appended\n", request.fontId);
    else
        std::printf("remove font %ld: appended %zu bytes (RemoveFont \"%s\")\n", request.fontId,
                    appended.size(), FontNameOf(appended, xl::kOpRemoveFont).c_str());
    return kExitDone;
}
