// SPDX-License-Identifier: MIT
// The help of the library-calling commands: job, download and remove.
#include "cli/paperhandling.h"
#include "cli/requestparts.h"

namespace {

constexpr const char *kFontHelp =
    "Font options:\n"
    "  --font NAME        face name to download (default \"DejaVu Sans\"); resolved like\n"
    "                     'fndl which NAME' shows\n"
    "  --font-file PATH   read the font from this file instead, TrueType or OpenType\n"
    "                     (CFF outlines are converted); the path becomes its name;\n"
    "                     a variable font prints its default instance\n"
    "  --instance I       with --font-file: a named instance of the variable font,\n"
    "                     by name (Bold) or axis values (wght=700,opsz=32); it is\n"
    "                     downloaded by its family name, so the file must be\n"
    "                     installed (fontconfig finds it)\n"
    "  --font-id N        the caller's number for the font (default 1); the soft font\n"
    "                     is named OT:<N in hex>:<name>:n\n"
    "  --height N         font height in tenths of a point (default 120)\n"
    "  --resolution N     device resolution in dots per inch, 72-2400 (default 600);\n"
    "                     the library's right and bottom limits (x 4725, y 6780 at\n"
    "                     600 dpi), the default margin and first line scale with it\n"
    "  --weight N         weight of the face looked up, 0-1000 (default 400)\n"
    "  --bold             the bold face of the family (weight 700), as 'fndl which\n"
    "                     --bold' finds it\n"
    "  --italic           the italic face of the family\n"
    "  --synthetic-bold   thicken the strokes (SetCharBoldValue 0.01)\n"
    "  --oblique          slant the characters (SetCharShear 0.1583); the regular\n"
    "                     face is downloaded by its file, so it is not slanted twice\n"
    "  -o, --output FILE  the output file\n"
    "  -q, --quiet        no summary and no notes; errors and warnings still\n";

constexpr const char *kTextHelp =
    "\nText options (device units are dots at --resolution):\n"
    "  --text TEXT        the text, UTF-8\n"
    "  --text-file FILE   read the text from a file (- for standard input): UTF-8,\n"
    "                     or Windows-1252 for each line that is not UTF-8 (with a\n"
    "                     warning)\n"
    "  --encoding NAME    the file's encoding: UTF-8, Windows-1252 (Latin-1), or any\n"
    "                     name iconv knows\n"
    "  --line-spacing N   distance between lines (default height x resolution / 600,\n"
    "                     1.2 times the font height: 120 at 12 pt and 600 dpi)\n"
    "  --margin N         x where lines start (default half an inch: 300 at 600 dpi)\n"
    "  --cursor X,Y       where the first line starts (default: the margin, and half\n"
    "                     an inch plus the character size: 300,400 at 12 pt, 600 dpi)\n"
    "  --underline        underline the lines\n"
    "  --media SIZE       A4, Letter, Legal, A5, A3, B5, Executive or Tabloid\n"
    "                     (default A4), or their PPD or IPP names; text is laid\n"
    "                     on the paper\n";

constexpr const char *kJobOptionsHelp =
    "\nJob options:\n"
    "  --no-fallback      set every character in the chosen font only; characters it\n"
    "                     lacks print as a replacement (U+FFFD)\n"
    "  --strict           a character that no font has fails the job (exit 1)\n"
    "                     before anything is written\n"
    "  --rtl, --ltr       every paragraph right to left (flush right) or left to\n"
    "                     right (default: from its first strong character)\n"
    "  --page-left PT, --page-right PT, --page-top PT, --page-bottom PT\n"
    "                     page margins in points (default 36 for those not given);\n"
    "                     the library's page box is the paper less the margins\n"
    "  --landscape        landscape pages\n"
    "  --orientation NAME portrait, landscape, reverse-portrait, reverse-landscape\n"
    "  --columns N        text in N columns\n"
    "  --page-ranges LIST print only these pages (1-3,7,10-)\n"
    "  --page-set SET     all, odd or even pages\n"
    "  --number-up N      1, 2 or 4 pages a sheet\n"
    "  --number-up-layout ORDER  lrtb (default), lrbt, rltb, rlbt, tblr, tbrl, btlr,\n"
    "                     btrl\n"
    "  --clamp            clamp --cpi, --lpi, margins and columns out of range, ignore\n"
    "                     values the paper options do not take, with a warning\n"
    "  --cpi N            characters per inch: a height of 120/N points (10 = 12 pt)\n"
    "  --lpi N            lines per inch: a line spacing of resolution/N\n"
    "                     (fndl's defaults are --height and --line-spacing: 12 pt\n"
    "                     at 5 lines per inch; the CUPS filter fndl-texttopxl\n"
    "                     gives CUPS's 10 cpi, 6 lpi and the PPD's imageable area)\n"
    "  --header TITLE     every page starts with a line: TITLE (cut with an\n"
    "                     ellipsis when too long), the date and \"Page n of m\"\n"
    "  --pjl              wrap the job in printer job language: JOB, RESOLUTION,\n"
    "                     COPIES, ENTER LANGUAGE=PCLXL, and EOJ\n"
    "  --job-name NAME    the PJL job name (quotes and control characters dropped,\n"
    "                     at most 80 bytes)\n"
    "  --copies N         copies, through PJL (1-999)\n"
    "  --page-log         a line \"PAGE: N COPIES\" on stderr per page written\n"
    "  --cover FILE       a cover page instead of text, from a description (- for\n"
    "                     standard input): lines of a part, a tab and its text:\n"
    "                     heading, owner, classification, header, footer, notice,\n"
    "                     or row and field with a label, a tab and a value; set in\n"
    "                     the --font family, regular and bold, and centred by the\n"
    "                     library's advances\n";

constexpr const char *kJobHelp =
    "usage: fndl job [options] -o FILE\n"
    "\n"
    "Writes a complete, printable PCL XL job: stream header, session, data source,\n"
    "pages, and in them the library's output: the font downloaded as a TrueType\n"
    "soft font and the text set in it. FILE is replaced when the job is complete: a\n"
    "job that fails leaves it as it was. With -o - the job goes to standard output\n"
    "sheet by sheet as each is made (its PAGE: line after it); every message goes to\n"
    "standard error. SIGTERM stops the job and removes its work files.\n"
    "\n"
    "Each line of the text is a paragraph; the library breaks paragraphs into lines\n"
    "at its right limit. It takes at most 511 UTF-16 units per call: longer\n"
    "paragraphs go in parts, split before a space where there is one, each part\n"
    "going on where the last ended. At a page end, or at a form feed, the tool ends\n"
    "the page, begins the next and goes on at the top (a last form feed adds no\n"
    "page). Tabs move to the next stop every 8 columns. A character the font lacks\n"
    "is set in another installed font that has it, in fontconfig's fallback order,\n"
    "downloaded as its own soft font (font ids after --font-id) once per job.\n"
    "A paragraph with right-to-left text (Hebrew, Arabic), combining marks, a\n"
    "script that needs shaping (Arabic joining, Indic conjuncts, Thai) or\n"
    "characters beyond U+FFFF is broken into lines on its logical text, put in\n"
    "visual order by FriBidi (its direction from its first strong character, or\n"
    "--rtl/--ltr; right-to-left paragraphs flush right) and shaped by HarfBuzz in\n"
    "each run's font; runs that are not the font's cmap glyphs in order go through\n"
    "the glyph call (FNDLGlyphRunW). A character no installed font has is drawn as\n"
    "U+FFFD (or U+25A1, or the main font's missing-glyph box), and all such\n"
    "characters are reported in one line with the first one's offset in the text\n"
    "(UTF-16 units, newlines counted); --strict fails the job instead. A character\n"
    "keeps its font for the whole job. Without --text or --text-file a short cover\n"
    "page text is set. A summary goes to standard error.\n"
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

} // namespace

std::string HelpOf(const CommandKind &kind)
{
    std::string help = kind.takesJob ? kJobHelp : kind.takesOffset ? kDownloadHelp : kRemoveHelp;
    help += kFontHelp;
    if (kind.takesText)
        help += kTextHelp;
    if (kind.takesJob)
        help += std::string(kJobOptionsHelp) + kPaperHandlingHelp;
    return help + "  -h, --help         this help\n";
}

