// SPDX-License-Identifier: MIT
// The text of a job or call: from --text, a file or standard input, or the
// default cover page text, decoded from its encoding into UTF-16 with
// newlines in one form. A job's text file is read in blocks, once for every
// pass over the text, and handed on in pieces of whole lines, so that a
// text of any size takes memory for a block and its longest line only.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/output.h"
#include "cli/requestparts.h"
#include "input/textdecode.h"
#include "text/text.h"

// A job's text file. Input that cannot be read again (a pipe, a terminal)
// is copied to an unlinked work file as the first pass reads it.
struct TextFile {
    std::string path;         // as given: "-" for standard input
    std::string encodingName; // for iconv
    TextEncoding encoding = TextEncoding::Utf8; // as the first pass decided
    int input = -1;
    bool closesInput = false; // not standard input
    int kept = -1;            // the work file, or -1 when the input is read again
    uint64_t start = 0;       // where the text starts in the input
    uint64_t length = 0;      // its bytes, as the first pass read them
    bool empty = true;        // no text once newlines are in one form
    bool hasTab = false;

    TextFile() = default;
    TextFile(const TextFile &) = delete;
    TextFile &operator=(const TextFile &) = delete;
    ~TextFile()
    {
        if (closesInput && input >= 0)
            close(input);
        if (kept >= 0)
            close(kept);
    }
};

namespace {

constexpr char16_t kNewLine = u'\n';

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

constexpr char16_t kFormFeed = u'\f';
constexpr char16_t kNul = 0;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kReadBlock = 65536;

// Auto read some lines as Windows-1252: all its text beyond ASCII, or some
// lines beside others that stayed UTF-8.
void WarnNotUtf8(const std::string &source, const Decoder &decoder)
{
    if (decoder.utf8Lines == 0)
        PrintError(source + " is not UTF-8: read as Windows-1252 (Latin-1); name its encoding with "
                            "--encoding");
    else
        PrintError(source + ": " + std::to_string(decoder.windowsLines) +
                   (decoder.windowsLines == 1 ? " line is" : " lines are") +
                   " not UTF-8: read as Windows-1252 (Latin-1), the " +
                   std::to_string(decoder.utf8Lines) + " with UTF-8 as UTF-8; name its encoding "
                   "with --encoding");
}

void WarnIllFormed(const std::string &source, size_t bad)
{
    PrintError(source + ": " + std::to_string(bad) + " ill-formed UTF-8 " +
               (bad == 1 ? "sequence" : "sequences") + " printed as U+FFFD");
}

void WarnNuls(const std::string &source, size_t nuls)
{
    PrintError(source + " holds " + std::to_string(nuls) +
               (nuls == 1 ? " NUL character" : " NUL characters") + ": left out");
}

// The whole text of a bare call's file in the encoding asked for, with one
// warning for a guess or for ill-formed bytes. False with a message for an
// unknown encoding.
bool DecodeFileText(std::string_view bytes, const std::string &encoding,
                    const std::string &source, std::u16string &text)
{
    const TextEncoding kind = EncodingNamed(encoding);
    Decoder decoder(kind, encoding);
    if (kind == TextEncoding::Other && decoder.converter == kNoConverter) {
        PrintError("unknown encoding '" + encoding + "' for " + source);
        return false;
    }
    text.clear();
    Decode(decoder, bytes, true, text);
    if (kind == TextEncoding::Auto && (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))) {
        // A UTF-16 byte order mark is no text in any other encoding.
        Decoder utf16(TextEncoding::Other, "UTF-16");
        text.clear();
        Decode(utf16, bytes, true, text);
        return true;
    }
    if (decoder.windowsLines > 0)
        WarnNotUtf8(source, decoder);
    if ((kind == TextEncoding::Auto || kind == TextEncoding::Utf8) && decoder.bad > 0)
        WarnIllFormed(source, decoder.bad);
    return true;
}

// Newlines in one form; NULs, which would end the library's text early,
// dropped with one warning; one trailing newline dropped, as text files end
// in one, and then one trailing form feed, which would only add an empty
// page.
void NormalizeText(std::u16string &text, const std::string &source)
{
    std::u16string out;
    out.reserve(text.size());
    size_t nuls = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == kNul) {
            ++nuls;
        } else if (unit == u'\r') {
            out += kNewLine;
            if (i + 1 < text.size() && text[i + 1] == kNewLine)
                ++i;
        } else {
            out += unit;
        }
    }
    if (nuls > 0)
        WarnNuls(source, nuls);
    if (!out.empty() && out.back() == kNewLine)
        out.pop_back();
    if (!out.empty() && out.back() == kFormFeed)
        out.pop_back();
    text = std::move(out);
}

// NormalizeText's rules on a text that comes block by block, handed on in
// pieces of whole lines. The text is the pieces joined by newlines; a piece
// goes on only once a unit follows its newline, so that the trailing
// newline and form feed are dropped from the last piece.
struct Pieces {
    std::u16string pending; // text not handed on yet
    size_t start = 0;       // pending's offset in the text
    bool afterReturn = false;
    bool handedOn = false;
    size_t nuls = 0;
    bool hasTab = false;
};

void AddDecoded(Pieces &pieces, std::u16string_view decoded)
{
    for (const char16_t unit : decoded) {
        const bool lineFeedOfReturn = pieces.afterReturn && unit == kNewLine;
        pieces.afterReturn = unit == u'\r';
        if (lineFeedOfReturn)
            continue;
        if (unit == kNul) {
            ++pieces.nuls;
            continue;
        }
        pieces.hasTab = pieces.hasTab || unit == u'\t';
        pieces.pending += unit == u'\r' ? kNewLine : unit;
    }
}

// Hands on the pending text up to its last newline that a unit follows,
// after added more units came; at the end all of it, which may be empty
// only when a piece went before (the text ended in a newline).
int HandOn(Pieces &pieces, size_t added, bool last, const TextPieceFunction &piece)
{
    std::u16string &pending = pieces.pending;
    if (last) {
        if (!pending.empty() && pending.back() == kNewLine)
            pending.pop_back();
        if (!pending.empty() && pending.back() == kFormFeed)
            pending.pop_back();
        if (!pieces.handedOn && pending.empty())
            return -1; // an empty text
        pieces.handedOn = true;
        return piece ? piece(pending, pieces.start) : -1;
    }
    if (pending.size() < 2)
        return -1;
    // Only the added units and the one before them can be such a newline:
    // a newline further back was handed on with the units before it.
    const size_t from = pending.size() - std::min(added + 1, pending.size());
    size_t cut = pending.size() - 1;
    while (cut > from && pending[cut - 1] != kNewLine)
        --cut;
    if (cut == from)
        return -1;
    const size_t newLine = cut - 1;
    pieces.handedOn = true;
    if (piece) {
        if (const int exitCode = piece(std::u16string_view(pending).substr(0, newLine),
                                       pieces.start);
            exitCode >= 0)
            return exitCode;
    }
    pieces.start += newLine + 1;
    pending.erase(0, newLine + 1);
    return -1;
}

bool WriteAll(int fd, const char *bytes, size_t size, std::string &reason)
{
    while (size > 0) {
        const ssize_t done = write(fd, bytes, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            reason = std::strerror(done < 0 ? errno : EIO);
            return false;
        }
        bytes += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

// Fills block with the text's next bytes, fewer only at its end. The first
// pass reads the input on (keeping a copy when it cannot be read again);
// later passes read the same bytes again. False with the reason.
bool NextBlock(TextFile &file, bool first, uint64_t &done, std::string &block, size_t &got,
               std::string &reason)
{
    size_t size = block.size();
    if (!first)
        size = static_cast<size_t>(std::min<uint64_t>(size, file.length - done));
    const int fd = first || file.kept < 0 ? file.input : file.kept;
    const uint64_t base = first || file.kept >= 0 ? 0 : file.start;
    got = 0;
    while (got < size) {
        const ssize_t n =
            first ? read(fd, block.data() + got, size - got)
                  : pread(fd, block.data() + got, size - got, static_cast<off_t>(base + done + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = std::strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    if (!first && got < size) {
        reason = "it was cut short while the job was written";
        return false;
    }
    if (first && file.kept >= 0 && !WriteAll(file.kept, block.data(), got, reason)) {
        reason = "cannot keep a copy of it: " + reason;
        return false;
    }
    done += got;
    if (first)
        file.length = done;
    return true;
}

// One pass over a text file: read, decoded, newlines in one form and handed
// to piece (if any). Returns piece's exit code, kExitFailed after a read
// error, or -1.
int ReadPass(TextFile &file, bool first, Decoder &decoder, Pieces &pieces,
             const TextPieceFunction &piece)
{
    std::string block(kReadBlock, '\0');
    std::u16string decoded;
    uint64_t done = 0;
    for (bool last = false; !last;) {
        size_t got = 0;
        std::string reason;
        if (!NextBlock(file, first, done, block, got, reason)) {
            PrintError("cannot read text file '" + file.path + "': " + reason);
            return kExitFailed;
        }
        last = got < block.size();
        std::string_view bytes(block.data(), got);
        if (done == got && bytes.starts_with(kByteOrderMark))
            bytes.remove_prefix(kByteOrderMark.size());
        decoded.clear();
        Decode(decoder, bytes, last, decoded);
        AddDecoded(pieces, decoded);
        if (const int exitCode = HandOn(pieces, decoded.size(), last, piece); exitCode >= 0)
            return exitCode;
    }
    return -1;
}

// The input of a job's text file: standard input or the file opened, and a
// work file for a copy when it cannot be read again. Returns an exit code
// after printing why not, or -1.
int OpenTextFile(TextFile &file)
{
    if (file.path == "-") {
        file.input = STDIN_FILENO;
    } else {
        file.input = open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (file.input < 0) {
            PrintError("cannot read text file '" + file.path + "': " + std::strerror(errno));
            return kExitFailed;
        }
        file.closesInput = true;
    }
    struct stat status {};
    const off_t at = lseek(file.input, 0, SEEK_CUR);
    if (fstat(file.input, &status) == 0 && S_ISREG(status.st_mode) && at >= 0) {
        file.start = static_cast<uint64_t>(at);
        return -1;
    }
    std::string pattern = WorkFolder() + "/fndl-text.XXXXXX";
    file.kept = mkostemp(pattern.data(), O_CLOEXEC);
    if (file.kept < 0) {
        PrintError("no work file can be made in TMPDIR '" + WorkFolder() +
                   "': " + std::string(std::strerror(errno)));
        return kExitFailed;
    }
    unlink(pattern.c_str()); // gone with the process, however it ends
    return -1;
}

// True when the text (read once) starts with a UTF-16 byte order mark,
// either way round.
bool StartsWithUtf16Mark(const TextFile &file)
{
    unsigned char mark[2] = {};
    const int fd = file.kept >= 0 ? file.kept : file.input;
    const auto at = static_cast<off_t>(file.kept >= 0 ? 0 : file.start);
    if (file.length < 2 || pread(fd, mark, 2, at) != 2)
        return false;
    return (mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF);
}

// A job's text file: opened, read once to choose the encoding (auto: as a
// whole, like a bare call's text) and to warn about what is left out; the
// layout reads it again piece by piece. Returns an exit code, or -1.
int ReadJobTextFile(const std::string &path, const std::string &encoding,
                    const std::string &source, Request &request)
{
    auto file = std::make_shared<TextFile>();
    file->path = path;
    file->encodingName = encoding;
    if (const int exitCode = OpenTextFile(*file); exitCode >= 0)
        return exitCode;
    const TextEncoding kind = EncodingNamed(encoding);
    if (kind == TextEncoding::Other && !KnownToIconv(encoding)) {
        // Read through first: a file that cannot be read says so.
        Decoder ignored(TextEncoding::Windows1252);
        Pieces none;
        if (const int exitCode = ReadPass(*file, true, ignored, none, nullptr); exitCode >= 0)
            return exitCode;
        PrintError("unknown encoding '" + encoding + "' for " + source);
        return kExitUsage;
    }
    // Auto decides line by line, on every pass alike.
    file->encoding = kind;
    Decoder decoder(file->encoding, encoding);
    Pieces pieces;
    if (const int exitCode = ReadPass(*file, true, decoder, pieces, nullptr);
        exitCode >= 0)
        return exitCode;
    if (kind == TextEncoding::Auto && StartsWithUtf16Mark(*file)) {
        // A UTF-16 byte order mark is no text in any other encoding.
        file->encoding = TextEncoding::Other;
        file->encodingName = "UTF-16";
        Decoder utf16(file->encoding, file->encodingName);
        pieces = Pieces{};
        if (const int exitCode = ReadPass(*file, false, utf16, pieces, nullptr); exitCode >= 0)
            return exitCode;
    } else {
        if (decoder.windowsLines > 0)
            WarnNotUtf8(source, decoder);
        if ((kind == TextEncoding::Auto || kind == TextEncoding::Utf8) && decoder.bad > 0)
            WarnIllFormed(source, decoder.bad);
    }
    if (pieces.nuls > 0)
        WarnNuls(source, pieces.nuls);
    file->empty = !pieces.handedOn;
    file->hasTab = pieces.hasTab;
    request.source.textFile = std::move(file);
    return -1;
}

} // namespace

int ReadText(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    if (parsed.Has("--text") && parsed.Has("--text-file"))
        return UsageError(kind.name, "give the text with --text or --text-file, not both");
    std::string source = "--text";
    if (parsed.Has("--text")) {
        size_t badOffset = 0;
        if (!Utf8ToUtf16(parsed.Get("--text"), request.source.text, badOffset)) {
            PrintError("--text is not UTF-8: ill-formed bytes at byte " +
                       std::to_string(badOffset));
            return kExitUsage;
        }
    } else if (parsed.Has("--text-file")) {
        const std::string &path = parsed.Get("--text-file");
        request.source.textPath = path;
        source = path == "-" ? "standard input" : "text file '" + path + "'";
        const std::string encoding = parsed.Has("--encoding") ? parsed.Get("--encoding") : "";
        if (kind.takesJob)
            return ReadJobTextFile(path, encoding, source, request);
        std::vector<uint8_t> bytes;
        std::string reason;
        if (!ReadWholeFile(path, bytes, reason)) {
            PrintError("cannot read text file '" + path + "': " + reason);
            return kExitFailed;
        }
        std::string_view view(reinterpret_cast<const char *>(bytes.data()), bytes.size());
        if (view.starts_with(kByteOrderMark))
            view.remove_prefix(kByteOrderMark.size());
        if (!DecodeFileText(view, encoding, source, request.source.text))
            return kExitUsage;
    } else if (kind.takesJob) {
        size_t badOffset = 0;
        Utf8ToUtf16(kDefaultText, request.source.text, badOffset);
    }
    if (kind.takesJob)
        NormalizeText(request.source.text, source); // the bare call passes the text unchanged
    return -1;
}

int ForEachTextPiece(const TextSource &source, const TextPieceFunction &piece)
{
    if (!source.textFile)
        return source.text.empty() ? -1 : piece(source.text, 0);
    TextFile &file = *source.textFile;
    Decoder decoder(file.encoding, file.encodingName);
    Pieces pieces;
    return ReadPass(file, false, decoder, pieces, piece);
}

bool TextIsEmpty(const TextSource &source)
{
    return source.textFile ? source.textFile->empty : source.text.empty();
}

bool TextHasTab(const TextSource &source)
{
    return source.textFile ? source.textFile->hasTab
                           : source.text.find(u'\t') != std::u16string::npos;
}
