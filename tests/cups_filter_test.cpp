// SPDX-License-Identifier: MIT
// The CUPS filters under the real CUPS: cupsfilter with the PPD on text and
// banner files, and a private cupsd that prints a text job with a cover page
// to a socket device served here. Skipped where CUPS is not installed.
#if defined(FNDL_FILTER_DIR) && defined(FNDL_TOOL_PATH) && defined(FNDL_CUPS_TEST_DIR)

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pagecount.h"
#include "support/requests.h"
#include "xldecode/xldecode.h"
#include "xlstream/xlcodes.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

constexpr const char *kUel = "\x1B%-12345X";

// Debian's CUPS programs, started by full path: a login user's PATH has no
// /usr/sbin, where cupsfilter, cupsd and lpadmin are.
constexpr const char *kCupsfilter = "/usr/sbin/cupsfilter";
constexpr const char *kCupsd = "/usr/sbin/cupsd";
constexpr const char *kLpadmin = "/usr/sbin/lpadmin";
constexpr const char *kLp = "/usr/bin/lp";
constexpr const char *kLpstat = "/usr/bin/lpstat";

// The programs of those a test needs (and CUPS's socket backend and exec
// helper) that are not installed, or "" when all are.
std::string MissingCupsPrograms(std::initializer_list<const char *> programs)
{
    std::string missing;
    for (const char *program : programs)
        if (access(program, X_OK) != 0)
            missing += std::string(missing.empty() ? "" : ", ") + program;
    for (const char *program : {"/usr/lib/cups/backend/socket", "/usr/lib/cups/daemon/cups-exec"})
        if (access(program, X_OK) != 0)
            missing += std::string(missing.empty() ? "" : ", ") + program;
    return missing;
}

std::string ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

constexpr fs::perms kWorldReadable = fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec;

// A fresh folder under the build, readable by the user CUPS runs filters as.
fs::path Scratch(const std::string &name)
{
    const fs::path dir = fs::path(FNDL_CUPS_TEST_DIR) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::permissions(dir, kWorldReadable);
    return dir;
}

struct Command {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts argv (argv[0] a full path) with extra environment, standard input
// from /dev/null and standard output and error on the given descriptors.
// The child's pid, or minus the error that kept it from starting.
pid_t Start(const std::vector<std::string> &argv, const std::vector<std::string> &env, int out, int err)
{
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> environment(env);
    for (char **var = environ; *var; ++var)
        environment.emplace_back(*var);
    std::vector<char *> envp;
    for (std::string &var : environment)
        envp.push_back(var.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -spawned;
}

// Runs argv (argv[0] a full path) with extra environment variables; output
// and errors captured, a program that could not start or was killed named in
// the errors.
Command RunCommand(const std::vector<std::string> &argv, const std::vector<std::string> &env = {})
{
    TempPath out(".out");
    TempPath err(".err");
    const int outFd = open(out.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int errFd = open(err.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = outFd >= 0 && errFd >= 0 ? Start(argv, env, outFd, errFd) : -errno;
    Command command;
    int status = 0;
    if (pid > 0) {
        waitpid(pid, &status, 0);
        command.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (outFd >= 0)
        close(outFd);
    if (errFd >= 0)
        close(errFd);
    command.out = ReadFile(out.path);
    command.err = ReadFile(err.path);
    if (pid <= 0)
        command.err += "cannot start " + argv[0] + ": " + std::strerror(-pid) + "\n";
    else if (WIFSIGNALED(status))
        command.err += argv[0] + " was killed by signal " + std::to_string(WTERMSIG(status)) + "\n";
    return command;
}

// CUPS's ServerBin for the tests: the filters, run with the built tool, and
// the system's socket backend and exec helper. A scheduler runs filters as
// its own unprivileged user, who may not reach into the build tree (a
// checkout in a private folder): with ownCopies the filters, the tool and
// its library are copied beside the ServerBin and run from there.
fs::path MakeServerBin(const fs::path &dir, bool ownCopies = false)
{
    const fs::path bin = dir / "bin";
    fs::create_directories(bin / "filter");
    fs::create_directories(bin / "backend");
    fs::create_directories(bin / "daemon");
    std::string programs = FNDL_FILTER_DIR;
    std::string tool = FNDL_TOOL_PATH;
    std::string environment;
    if (ownCopies) {
        programs = (dir / "programs").string();
        fs::create_directories(programs);
        for (const char *filter : {"fndl-texttopxl", "fndl-bannertopxl", "fndl-gstopxl"})
            fs::copy_file(fs::path(FNDL_FILTER_DIR) / filter, fs::path(programs) / filter);
        tool = programs + "/fndl";
        fs::copy_file(FNDL_TOOL_PATH, tool);
#ifdef FNDL_LIBRARY_FILE
        fs::create_directories(dir / "lib");
        fs::copy_file(FNDL_LIBRARY_FILE, dir / "lib" / FNDL_LIBRARY_SONAME);
        environment = "LD_LIBRARY_PATH='" + (dir / "lib").string() + "' ";
#endif
    }
    for (const char *filter : {"fndl-texttopxl", "fndl-bannertopxl", "fndl-gstopxl"}) {
        const fs::path wrapper = bin / "filter" / filter;
        WriteFile(wrapper, "#!/bin/sh\n" + environment + "FNDL_TOOL='" + tool + "' exec '" + programs +
                               "/" + filter + "' \"$@\"\n");
        fs::permissions(wrapper, kWorldReadable);
    }
    // cups-filters' filters for the documents that take Ghostscript's path.
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator("/usr/lib/cups/filter", error)) {
        if (!fs::exists(bin / "filter" / entry.path().filename()))
            fs::create_symlink(entry.path(), bin / "filter" / entry.path().filename());
    }
    fs::create_symlink("/usr/lib/cups/backend/socket", bin / "backend" / "socket");
    fs::create_symlink("/usr/lib/cups/daemon/cups-exec", bin / "daemon" / "cups-exec");
    return bin;
}

// One PJL-wrapped PCL XL job as the printer gets it.
struct PrintedJob {
    std::string pjl;                // the PJL lines before the stream and after it
    std::vector<XLOperation> ops;   // the stream, decoded
    bool decoded = false;
    std::u16string text;            // every character of the Text operators, in order
    std::map<std::string, int> fontHeaders; // soft font name: BeginFontHeader count
    int pages = 0;
};

std::vector<PrintedJob> SplitJobs(const std::string &bytes)
{
    std::vector<PrintedJob> jobs;
    size_t at = 0;
    const std::string uel = kUel;
    while (at < bytes.size()) {
        size_t next = bytes.find(uel, at);
        if (next == std::string::npos)
            next = bytes.size();
        const std::string segment = bytes.substr(at, next - at);
        const size_t stream = segment.find(") HP-PCL XL");
        if (stream != std::string::npos) {
            PrintedJob job;
            job.pjl = segment.substr(0, stream);
            const auto *data = reinterpret_cast<const uint8_t *>(segment.data()) + stream;
            XLDecodeError error;
            job.decoded = XLDecodeOperations(std::span(data, segment.size() - stream), job.ops, error);
            for (const XLOperation &op : job.ops) {
                if (op.op == xl::kOpText) {
                    if (const XLAttribute *chars = op.Find(xl::kAttrTextData)) {
                        for (double code : chars->value.numbers)
                            job.text += static_cast<char16_t>(code);
                    }
                } else if (op.op == xl::kOpBeginFontHeader) {
                    if (const XLAttribute *name = op.Find(xl::kAttrFontName))
                        ++job.fontHeaders[std::string(name->value.raw.begin(),
                                                      name->value.raw.end())];
                } else if (op.op == xl::kOpBeginPage) {
                    ++job.pages;
                }
            }
            jobs.push_back(std::move(job));
        } else if (!jobs.empty()) {
            jobs.back().pjl += segment;
        }
        at = next + uel.size();
    }
    return jobs;
}

// An attribute's first number in an operation; -1 without it.
double AttributeOf(const XLOperation &op, uint8_t attribute)
{
    const XLAttribute *found = op.Find(attribute);
    return found && !found->value.numbers.empty() ? found->value.numbers[0] : -1;
}

// The BeginPage operations of a job.
std::vector<const XLOperation *> BeginPages(const PrintedJob &job)
{
    std::vector<const XLOperation *> pages;
    for (const XLOperation &op : job.ops) {
        if (op.op == xl::kOpBeginPage)
            pages.push_back(&op);
    }
    return pages;
}

// A PDF of as many pages as asked, a line of text on each, its
// cross-reference table in place.
std::string PdfOfPages(int pages)
{
    std::vector<std::string> objects = {"<</Type/Catalog/Pages 2 0 R>>", "",
                                        "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>"};
    std::string kids;
    for (int page = 0; page < pages; ++page) {
        const int object = static_cast<int>(objects.size()) + 1;
        kids += std::to_string(object) + " 0 R ";
        const std::string content =
            "BT /F1 24 Tf 72 700 Td (Printed through gstopxl, page " + std::to_string(page + 1) +
            ") Tj ET";
        objects.push_back("<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/Contents " +
                          std::to_string(object + 1) + " 0 R/Resources<</Font<</F1 3 0 R>>>>>>");
        objects.push_back("<</Length " + std::to_string(content.size()) + ">>\nstream\n" + content +
                          "\nendstream");
    }
    objects[1] = "<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(pages) + ">>";
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<</Size " + std::to_string(objects.size() + 1) + "/Root 1 0 R>>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

int CountLines(const std::string &text, const std::string &prefix)
{
    int count = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        count += line.starts_with(prefix) ? 1 : 0;
    return count;
}

// A text in every script DejaVu Sans Mono has, long enough for pages.
std::string SampleText()
{
    std::string text;
    for (int i = 1; i <= 140; ++i)
        text += "Line " + std::to_string(i) +
                ": d\xC3\xA9j\xC3\xA0 vu \xCE\xB1\xCE\xB2\xCE\xB3 \xD0\xB4\xD0\xB0 \xE2\x82\xAC"
                " 0123456789 the quick brown fox jumps over the lazy dog\n";
    return text;
}

std::u16string WithoutNewlines(const std::string &utf8)
{
    std::u16string units;
    for (char16_t unit : Utf16(utf8)) {
        if (unit != u'\n')
            units += unit;
    }
    return units;
}

// A Text operator where it lands on the page: its characters, the left and
// right ends and the baseline of the line (device units, page origin moves
// and graphics state saves followed) and its character size.
struct SetLine {
    std::u16string text;
    double left = 0;
    double right = 0;
    double baseline = 0;
    double size = 0;
};

std::vector<SetLine> SetLines(const PrintedJob &job)
{
    std::vector<SetLine> lines;
    std::vector<std::pair<double, double>> saved;
    double originX = 0, originY = 0, x = 0, y = 0, size = 0;
    for (const XLOperation &op : job.ops) {
        const XLAttribute *point = op.Find(xl::kAttrPoint);
        if (op.op == xl::kOpPushGS) {
            saved.emplace_back(originX, originY);
        } else if (op.op == xl::kOpPopGS && !saved.empty()) {
            std::tie(originX, originY) = saved.back();
            saved.pop_back();
        } else if (op.op == xl::kOpSetPageOrigin) {
            originX += op.Find(xl::kAttrPageOrigin)->value.numbers.at(0);
            originY += op.Find(xl::kAttrPageOrigin)->value.numbers.at(1);
        } else if (op.op == xl::kOpSetCursor && point) {
            x = point->value.numbers.at(0);
            y = point->value.numbers.at(1);
        } else if (op.op == xl::kOpSetCursorRel && point) {
            x += point->value.numbers.at(0);
            y += point->value.numbers.at(1);
        } else if (op.op == xl::kOpSetFont) {
            size = AttributeOf(op, xl::kAttrCharSize);
        } else if (op.op == xl::kOpText) {
            SetLine line{u"", originX + x, originX + x, originY + y, size};
            for (const double code : op.Find(xl::kAttrTextData)->value.numbers)
                line.text += static_cast<char16_t>(code);
            for (const double advance : op.Find(xl::kAttrXSpacingData)->value.numbers)
                line.right += advance;
            x += line.right - line.left;
            lines.push_back(line);
        }
    }
    return lines;
}

// The BoundingBox of the job's first Rectangle: a cover page's frame.
std::vector<double> FrameOf(const PrintedJob &job)
{
    for (const XLOperation &op : job.ops) {
        if (op.op == xl::kOpRectangle)
            return op.Find(xl::kAttrBoundingBox)->value.numbers;
    }
    return {};
}

std::vector<std::string> CupsFilter(const fs::path &dir, const std::string &type)
{
    WriteFile(dir / "cups-files.conf", "ServerBin " + (dir / "bin").string() +
                                           "\nDataDir /usr/share/cups\n");
    return {kCupsfilter, "-c", (dir / "cups-files.conf").string(), "-p", FNDL_PPD_PATH,
            "-m",         "printer/fndl", "-e", "-i", type};
}

} // namespace

TEST(CupsFilters, TextThroughCupsfilterIsSetWholeWithPagesCounted)
{
    if (const std::string missing = MissingCupsPrograms({kCupsfilter}); !missing.empty())
        GTEST_SKIP() << "CUPS is not installed (no " << missing << ")";
    const fs::path dir = Scratch("text");
    MakeServerBin(dir);
    const std::string text = SampleText();
    WriteFile(dir / "sample.txt", text);

    std::vector<std::string> plain = CupsFilter(dir, "text/plain");
    plain.push_back((dir / "sample.txt").string());
    const Command run = RunCommand(plain);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(run.out.starts_with(std::string(kUel) + "@PJL JOB NAME=\"")) << run.out.substr(0, 80);
    const std::vector<PrintedJob> jobs = SplitJobs(run.out);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_TRUE(jobs[0].decoded);
    EXPECT_NE(jobs[0].pjl.find("@PJL ENTER LANGUAGE=PCLXL"), std::string::npos);
    EXPECT_NE(jobs[0].pjl.find("@PJL EOJ"), std::string::npos);
    EXPECT_EQ(jobs[0].text, WithoutNewlines(text));
    EXPECT_GT(jobs[0].pages, 1);
    EXPECT_EQ(CountLines(run.err, "PAGE: "), jobs[0].pages) << run.err;
    ASSERT_EQ(jobs[0].fontHeaders.size(), 1u);
    EXPECT_EQ(jobs[0].fontHeaders.begin()->second, 1);
    EXPECT_NE(jobs[0].fontHeaders.begin()->first.find("DejaVu Sans Mono"), std::string::npos);

    // Copies made by the printer, Legal paper in landscape, a header line on
    // every page.
    std::vector<std::string> options = CupsFilter(dir, "text/plain");
    options.insert(options.end(), {"-n", "2", "-o", "media=Legal", "-o", "landscape", "-o", "prettyprint",
                                   "-t", "Quarterly \"report\"", (dir / "sample.txt").string()});
    const Command withOptions = RunCommand(options);
    ASSERT_EQ(withOptions.exitCode, 0) << withOptions.err;
    const std::vector<PrintedJob> optionJobs = SplitJobs(withOptions.out);
    ASSERT_EQ(optionJobs.size(), 1u);
    EXPECT_NE(optionJobs[0].pjl.find("@PJL SET COPIES=2"), std::string::npos);
    const std::string &pjl = optionJobs[0].pjl;
    const size_t name = pjl.find("@PJL JOB NAME=");
    ASSERT_NE(name, std::string::npos);
    const std::string nameLine = pjl.substr(name, pjl.find('\n', name) - name);
    EXPECT_EQ(std::count(nameLine.begin(), nameLine.end(), '"'), 2) << nameLine;
    EXPECT_EQ(CountLines(withOptions.err, "PAGE: "), optionJobs[0].pages);
    EXPECT_NE(withOptions.err.find("PAGE: 1 2"), std::string::npos) << withOptions.err;
    for (const XLOperation &op : optionJobs[0].ops) {
        if (op.op == xl::kOpBeginPage) {
            EXPECT_EQ(op.Find(xl::kAttrMediaSize)->value.numbers.at(0), 1.0); // Legal
            EXPECT_EQ(op.Find(xl::kAttrOrientation)->value.numbers.at(0), 1.0); // landscape
        }
    }
    const std::string pageOf = " of " + std::to_string(optionJobs[0].pages);
    EXPECT_NE(optionJobs[0].text.find(Utf16("Page 1" + pageOf)), std::u16string::npos);
    EXPECT_NE(optionJobs[0].text.find(Utf16("Page " + std::to_string(optionJobs[0].pages) + pageOf)),
              std::u16string::npos);

    // CUPS's page selection, number-up, reverse orientations and papers
    // beyond A4: page 2 alone on an A5 sheet turned for two pages; out-of-
    // range pitch and margins clamped with a warning.
    options = CupsFilter(dir, "text/plain");
    options.insert(options.end(), {"-o", "media=A5", "-o", "orientation-requested=6", "-o",
                                   "page-ranges=2", "-o", "number-up=2", "-o", "cpi=0.5", "-o",
                                   "page-left=-5", (dir / "sample.txt").string()});
    const Command selected = RunCommand(options);
    ASSERT_EQ(selected.exitCode, 0) << selected.err;
    const std::vector<PrintedJob> selectedJobs = SplitJobs(selected.out);
    ASSERT_EQ(selectedJobs.size(), 1u);
    EXPECT_EQ(selectedJobs[0].pages, 1);
    EXPECT_EQ(CountLines(selected.err, "PAGE: "), 1u) << selected.err;
    EXPECT_NE(selected.err.find("-o cpi=0.5 is out of range: 1 is used"), std::string::npos)
        << selected.err;
    EXPECT_NE(selected.err.find("-o page-left=-5 is out of range: 0 is used"), std::string::npos)
        << selected.err;
    for (const XLOperation &op : selectedJobs[0].ops) {
        if (op.op == xl::kOpBeginPage) {
            EXPECT_EQ(op.Find(xl::kAttrMediaSize)->value.numbers.at(0), 16.0); // A5
            EXPECT_EQ(op.Find(xl::kAttrOrientation)->value.numbers.at(0), 3.0); // turned
        }
    }
    EXPECT_EQ(std::count_if(selectedJobs[0].ops.begin(), selectedJobs[0].ops.end(),
                            [](const XLOperation &op) { return op.op == xl::kOpSetPageScale; }),
              1);

    // Text in another character set is printed in it, never refused.
    WriteFile(dir / "latin1.txt", "caf\xE9 cr\xE8me\n");
    const Command latin1 = RunCommand({std::string(FNDL_FILTER_DIR) + "/fndl-texttopxl", "7", "user",
                                "title", "1", "", (dir / "latin1.txt").string()},
                               {std::string("FNDL_TOOL=") + FNDL_TOOL_PATH,
                                "CONTENT_TYPE=text/plain;charset=iso-8859-1"});
    EXPECT_EQ(latin1.exitCode, 0) << latin1.err;
    EXPECT_FALSE(latin1.out.empty());
    EXPECT_EQ(latin1.err.find("ERROR: "), std::string::npos) << latin1.err;

    // A document that cannot be read is named by the job's title, not by
    // the spool file, without advice to read fndl's help.
    const Command unreadable = RunCommand({std::string(FNDL_FILTER_DIR) + "/fndl-texttopxl", "7", "user",
                                           "title", "1", "", dir.string()},
                                          {std::string("FNDL_TOOL=") + FNDL_TOOL_PATH});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_NE(unreadable.err.find("ERROR: "), std::string::npos) << unreadable.err;
    EXPECT_NE(unreadable.err.find("\"title\""), std::string::npos) << unreadable.err;
    EXPECT_EQ(unreadable.err.find(dir.string()), std::string::npos) << unreadable.err;
    EXPECT_EQ(unreadable.err.find("fndl help"), std::string::npos) << unreadable.err;

    // Shaped scripts print; characters no font has print as U+FFFD, with
    // one warning and their count.
    WriteFile(dir / "emoji.txt", "smile \xF0\x9F\x98\x80 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D "
                                 "\xCD\xB8 \xCD\xB9 \xCD\xB8\n");
    const Command emoji = RunCommand({std::string(FNDL_FILTER_DIR) + "/fndl-texttopxl", "7", "user",
                                      "title", "1", "", (dir / "emoji.txt").string()},
                                     {std::string("FNDL_TOOL=") + FNDL_TOOL_PATH});
    EXPECT_EQ(emoji.exitCode, 0) << emoji.err;
    EXPECT_EQ(CountLines(emoji.err, "WARNING: "), 1) << emoji.err;
    EXPECT_NE(emoji.err.find("3 characters no installed font can print, first U+0378"),
              std::string::npos) << emoji.err;
    EXPECT_NE(emoji.out.find("OT:1:DejaVu Sans:g"), std::string::npos) << "the glyph call's font";
    fs::remove_all(dir);
}

// The filter run as CUPS runs it, without a scheduler: a CUPS text option
// whatever its value never fails the job; a value out of range or no number
// at all gives one warning and the job prints.
TEST(CupsFilters, TextOptionsOutOfRangeGiveOneWarningAndThePrint)
{
    const fs::path dir = Scratch("clamped");
    WriteFile(dir / "short.txt", "Hello world\nsecond line\n");
    for (const char *option : {"cpi=0", "cpi=-5", "cpi=nan", "cpi=inf", "lpi=0", "lpi=-1",
                               "page-left=nan", "page-top=-1e999", "page-ranges=0-0",
                               "page-ranges=2-1", "page-ranges=abc", "page-set=bogus",
                               "number-up-layout=zzz", "columns=16"}) {
        const Command run = RunCommand({std::string(FNDL_FILTER_DIR) + "/fndl-texttopxl", "3", "user",
                                        "title", "1", option, (dir / "short.txt").string()},
                                       {std::string("FNDL_TOOL=") + FNDL_TOOL_PATH});
        EXPECT_EQ(run.exitCode, 0) << option << "\n" << run.err;
        EXPECT_EQ(CountLines(run.err, "WARNING: "), 1) << option << "\n" << run.err;
        EXPECT_EQ(CountLines(run.err, "ERROR: "), 0) << option << "\n" << run.err;
        const std::vector<PrintedJob> jobs = SplitJobs(run.out);
        ASSERT_EQ(jobs.size(), 1u) << option;
        EXPECT_NE(jobs[0].text.find(u"second line"), std::u16string::npos) << option;
    }
}

// A title in Windows-1252 prints on banners and page headers as such, and
// a control character in a title or an option echoed never starts a line
// of its own (run outside cupsd, a forged PAGE: line would count pages).
TEST(CupsFilters, TitlesInAnyEncodingPrintAndEchoesStayOnTheirLine)
{
    const fs::path dir = Scratch("titles");
    WriteFile(dir / "short.txt", "Hello\n");
    WriteFile(dir / "cover", "#CUPS-BANNER\nShow job-name\n");
    const std::string title = "caf\xE9 \x93q\x94\nPAGE: 1 500\nERROR: forged";
    const std::vector<std::string> env = {std::string("FNDL_TOOL=") + FNDL_TOOL_PATH};
    const Command text = RunCommand({std::string(FNDL_FILTER_DIR) + "/fndl-texttopxl", "3", "user",
                                     title, "1", "prettyprint=true page-set='x\nPAGE: 1 600'",
                                     (dir / "short.txt").string()},
                                    env);
    const Command banner = RunCommand({std::string(FNDL_FILTER_DIR) + "/fndl-bannertopxl", "3",
                                       "user", title, "1", "", (dir / "cover").string()},
                                      env);
    for (const Command *run : {&text, &banner}) {
        EXPECT_EQ(run->exitCode, 0) << run->err;
        EXPECT_EQ(CountLines(run->err, "PAGE: "), 1) << run->err;
        EXPECT_EQ(CountLines(run->err, "ERROR: "), 0) << run->err;
        const std::vector<PrintedJob> jobs = SplitJobs(run->out);
        ASSERT_EQ(jobs.size(), 1u);
        EXPECT_NE(jobs[0].text.find(u"caf\u00E9 \u201Cq\u201D"), std::u16string::npos);
    }
}

TEST(CupsFilters, BannersOfBothKindsBecomeCoverPages)
{
    if (const std::string missing = MissingCupsPrograms({kCupsfilter}); !missing.empty())
        GTEST_SKIP() << "CUPS is not installed (no " << missing << ")";
    const fs::path dir = Scratch("banner");
    MakeServerBin(dir);
    WriteFile(dir / "cover", "#CUPS-BANNER\nShow job-name job-originating-user-name job-id\n"
                             "Header Cover \xE2\x80\x94 Page\nFooter End of cover\n"
                             "Notice Please collect this job.\nImage /nowhere/logo.png\n");
    WriteFile(dir / "secret", "#PDF-BANNER\nTemplate secret.pdf\nShow printer-name paper-size\n");
    struct Case {
        std::string file;
        std::string type;
        std::vector<std::string> expected;
    };
    // Labels and values are set one after the other: "Title" then "Weekly".
    const Case cases[] = {
        {(dir / "cover").string(), "application/vnd.cups-banner",
         {"Cover \xE2\x80\x94 Page", "TitleWeekly", "Printed By", "Job IDcupsfilter-",
          "Please collect this job.", "End of cover"}},
        {"/usr/share/cups/banners/standard", "application/vnd.cups-pdf-banner",
         {"Printer Namecupsfilter", "Make and ModelGeneric PCL XL Printer, TrueType soft fonts",
          "Driver NameFNDLPXL.PPD", "Media Dimensions8.26 x 11.69 in", "Job IDcupsfilter-",
          "Printed On"}},
        {(dir / "secret").string(), "application/vnd.cups-pdf-banner",
         {"Secret", "Printer Namecupsfilter", "Media Dimensions8.26 x 11.69 in"}},
    };
    for (const Case &banner : cases) {
        if (!fs::exists(banner.file))
            continue;
        std::vector<std::string> args = CupsFilter(dir, banner.type);
        args.insert(args.end(), {"-t", "Weekly", banner.file});
        const Command run = RunCommand(args);
        ASSERT_EQ(run.exitCode, 0) << banner.file << "\n" << run.err;
        const std::vector<PrintedJob> jobs = SplitJobs(run.out);
        ASSERT_EQ(jobs.size(), 1u) << banner.file;
        EXPECT_TRUE(jobs[0].decoded) << banner.file;
        EXPECT_EQ(jobs[0].pages, 1) << banner.file;
        EXPECT_EQ(CountLines(run.err, "PAGE: "), 1) << run.err;
        for (const std::string &line : banner.expected)
            EXPECT_NE(jobs[0].text.find(Utf16(line)), std::u16string::npos)
                << banner.file << ": no \"" << line << "\" in the cover page";
    }

    // Every banner Debian ships: one page whose text lies inside its frame;
    // a classification in 36 points or more at the top and the bottom; the
    // heading centred on the page. A4 at 600 dpi: 4960 dots wide.
    constexpr double kPageWidth = 4960;
    constexpr double k36Points = 36 * 600 / 72;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator("/usr/share/cups/banners", error)) {
        const std::string name = entry.path().filename().string();
        std::vector<std::string> args = CupsFilter(dir, "application/vnd.cups-pdf-banner");
        args.insert(args.end(), {"-t", "Weekly", entry.path().string()});
        const Command run = RunCommand(args);
        ASSERT_EQ(run.exitCode, 0) << name << "\n" << run.err;
        const std::vector<PrintedJob> jobs = SplitJobs(run.out);
        ASSERT_EQ(jobs.size(), 1u) << name;
        EXPECT_EQ(jobs[0].pages, 1) << name;
        const std::vector<SetLine> lines = SetLines(jobs[0]);
        const std::vector<double> frame = FrameOf(jobs[0]);
        ASSERT_EQ(frame.size(), 4u) << name;
        EXPECT_GT(lines.size(), 5u) << name;
        for (const SetLine &line : lines) {
            EXPECT_TRUE(line.left > frame[0] && line.right < frame[2] && line.baseline > frame[1] &&
                        line.baseline < frame[3])
                << name << ": a line outside the frame";
        }
        std::u16string word;
        for (const char *kind : {"classified", "confidential", "secret", "topsecret", "unclassified"})
            word = name == kind ? Utf16(name == "topsecret" ? "Top Secret" : name) : word;
        if (!word.empty()) {
            word[0] = static_cast<char16_t>(std::toupper(word[0]));
            const long large = std::count_if(lines.begin(), lines.end(), [&](const SetLine &line) {
                return line.text == word && line.size >= k36Points;
            });
            EXPECT_EQ(large, 2) << name;
        }
        const auto heading = std::find_if(lines.begin(), lines.end(), [](const SetLine &line) {
            return line.text == u"Weekly";
        });
        ASSERT_NE(heading, lines.end()) << name;
        EXPECT_NEAR((heading->left + heading->right) / 2, kPageWidth / 2, kPageWidth / 100) << name;
    }

    // A 200-character title in several scripts: the heading wraps, the
    // frame and the table stay whole, every line inside the frame.
    std::string title;
    while (Utf16(title).size() < 200)
        title += "R\xC3\xA9sum\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xCE\xB1\xCE\xB2\xCE\xB3 ";
    std::vector<std::string> longArgs = CupsFilter(dir, "application/vnd.cups-pdf-banner");
    longArgs.insert(longArgs.end(), {"-t", title, "/usr/share/cups/banners/standard"});
    const Command longTitle = RunCommand(longArgs);
    ASSERT_EQ(longTitle.exitCode, 0) << longTitle.err;
    const std::vector<PrintedJob> longJobs = SplitJobs(longTitle.out);
    ASSERT_EQ(longJobs.size(), 1u);
    EXPECT_EQ(longJobs[0].pages, 1);
    EXPECT_GT(longJobs[0].fontHeaders.size(), 2u); // regular, bold, and a face for the Japanese
    const std::vector<double> frame = FrameOf(longJobs[0]);
    ASSERT_EQ(frame.size(), 4u);
    for (const SetLine &line : SetLines(longJobs[0]))
        EXPECT_TRUE(line.left > frame[0] && line.right < frame[2] && line.baseline < frame[3]);
    for (const char *label : {"Printer Name", "Make and Model", "Job ID", "Printed On"})
        EXPECT_NE(longJobs[0].text.find(Utf16(label)), std::u16string::npos) << label;
    EXPECT_NE(longJobs[0].text.find(u"\u65E5\u672C\u8A9E"), std::u16string::npos);

    // No banner file, and none that can be read (a folder): an ERROR: line
    // and exit status 1.
    for (const std::string &file : {std::string("/etc/hostname"), dir.string()}) {
        const Command notBanner = RunCommand(
            {std::string(FNDL_FILTER_DIR) + "/fndl-bannertopxl", "1", "u", "t", "1", "", file});
        EXPECT_EQ(notBanner.exitCode, 1) << file;
        EXPECT_NE(notBanner.err.find("ERROR: "), std::string::npos) << file;
    }
    fs::remove_all(dir);
}

TEST(CupsFilters, PagesGoOutAsMadeAndACancelLeavesNothing)
{
    const fs::path dir = Scratch("stream");
    const fs::path tmp = dir / "tmp";
    fs::create_directories(tmp);
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += SampleText() + "\f";
    WriteFile(dir / "long.txt", text);
    const std::vector<std::string> argv = {std::string(FNDL_FILTER_DIR) + "/fndl-texttopxl", "9", "user",
                                           "Long", "1", "", (dir / "long.txt").string()};
    const std::vector<std::string> env = {std::string("FNDL_TOOL=") + FNDL_TOOL_PATH,
                                          "TMPDIR=" + tmp.string(), std::string("PPD=") + FNDL_PPD_PATH};

    // The job and the messages in one file, in the order they were written:
    // each PAGE: line after its page, the first long before the job's end.
    const int both = open((dir / "both").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(both, 0);
    const pid_t whole = Start(argv, env, both, both);
    close(both);
    int status = 0;
    ASSERT_GT(whole, 0);
    waitpid(whole, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string mixed = ReadFile(dir / "both");
    const size_t firstPage = mixed.find("PAGE: 1 1\n");
    const size_t endPage = mixed.find(std::string(1, static_cast<char>(xl::kOpEndPage)), mixed.find(") HP-PCL XL"));
    ASSERT_NE(firstPage, std::string::npos);
    EXPECT_LT(endPage, firstPage);
    EXPECT_LT(firstPage, mixed.find("@PJL EOJ"));
    size_t pageLines = 0;
    for (size_t at = mixed.find("PAGE: "); at != std::string::npos; at = mixed.find("PAGE: ", at + 1))
        ++pageLines;
    EXPECT_GT(pageLines, 40u); // a page per form feed at least
    EXPECT_TRUE(fs::is_empty(tmp));

    // SIGTERM at any moment, from the filter's start to a job that waits for
    // the printer: the filter ends by it, says so, and leaves no file.
    for (const int delayMs : {0, 1, 3, 10, 30, -1}) {
        int out[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        const int err = open((dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const pid_t filter = Start(argv, env, out[1], err);
        close(out[1]);
        close(err);
        ASSERT_GT(filter, 0);
        if (delayMs >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        } else {
            // Nobody reads the job: the tool waits in its first pages.
            for (int i = 0; i < 300 && ReadFile(dir / "err").find("PAGE: ") == std::string::npos; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ASSERT_NE(ReadFile(dir / "err").find("PAGE: "), std::string::npos);
        }
        kill(filter, SIGTERM);
        waitpid(filter, &status, 0);
        close(out[0]);
        const std::string messages = ReadFile(dir / "err");
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << delayMs << "\n" << messages;
        EXPECT_EQ(messages.find("sent to the printer"), std::string::npos) << messages;
        if (delayMs < 0) {
            EXPECT_NE(messages.find("INFO: fndl-texttopxl: \"Long\" cancelled"), std::string::npos)
                << messages;
        }
        EXPECT_TRUE(fs::is_empty(tmp)) << delayMs;
    }
    fs::remove_all(dir);
}

// A paper the PPD lacks never stops a job: the text prints on the PPD's
// default paper (A4), or on a listed size of the same dimensions under
// another name, with one WARNING: line naming both sizes; a size the PPD has
// prints without one.
TEST(CupsFilters, APaperThePrinterLacksPrintsOnItsDefault)
{
    const fs::path dir = Scratch("paper");
    WriteFile(dir / "notes.txt", SampleText());
    const std::vector<std::string> env = {std::string("FNDL_TOOL=") + FNDL_TOOL_PATH,
                                          std::string("PPD=") + FNDL_PPD_PATH};
    struct Case {
        const char *options;
        double mediaSize; // PCL XL MediaSize: 0 Letter, 2 A4
        const char *warning;
    };
    for (const Case &paper : {Case{"media=B4", 2, "no paper B4 (257 x 364 mm): \"Notes\" is printed on A4"},
                              Case{"media=Env10", 2, "no paper Env10 (105 x 241 mm): \"Notes\" is printed on A4"},
                              Case{"PageSize=Custom.5x5in", 2, "no paper Custom.5x5in (127 x 127 mm)"},
                              Case{"media=na_letter_8.5x11in", 0, nullptr},
                              Case{"media=Letter,Plain", 0, nullptr}}) {
        const Command run = RunCommand({std::string(FNDL_FILTER_DIR) + "/fndl-texttopxl", "3", "user",
                                        "Notes", "1", paper.options, (dir / "notes.txt").string()},
                                       env);
        EXPECT_EQ(run.exitCode, 0) << paper.options << "\n" << run.err;
        EXPECT_EQ(CountLines(run.err, "ERROR:"), 0) << run.err;
        EXPECT_EQ(CountLines(run.err, "WARNING:"), paper.warning ? 1 : 0) << run.err;
        if (paper.warning) {
            EXPECT_NE(run.err.find(paper.warning), std::string::npos) << run.err;
        }
        const std::vector<PrintedJob> jobs = SplitJobs(run.out);
        ASSERT_EQ(jobs.size(), 1u) << paper.options;
        for (const XLOperation *page : BeginPages(jobs[0]))
            EXPECT_EQ(AttributeOf(*page, xl::kAttrMediaSize), paper.mediaSize) << paper.options;
    }
    fs::remove_all(dir);
}

// The filter's messages name CUPS options, never the tool's; the charset
// CUPS passes (CHARSET, from a Print-Job's text/plain;charset=...) decodes
// the text; a page selection the tool cannot read prints every page.
TEST(CupsFilters, MessagesSpeakCupsAndTheCharsetArrives)
{
    const fs::path dir = Scratch("messages");
    WriteFile(dir / "latin1.txt", "caf\xE9 cr\xE8me\n");
    const std::vector<std::string> argv = {std::string(FNDL_FILTER_DIR) + "/fndl-texttopxl", "4", "user", "Menu",
                                           "1", "cpi=1000 page-ranges=3-1 number-up-layout=up", (dir / "latin1.txt").string()};
    const std::string tool = std::string("FNDL_TOOL=") + FNDL_TOOL_PATH;
    const std::string ppd = std::string("PPD=") + FNDL_PPD_PATH;
    for (const char *charset : {"CHARSET=utf-8", "CHARSET=iso-8859-1"}) {
        const Command run = RunCommand(argv, {tool, ppd, charset});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err.find("--"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("-o cpi=1000"), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("WARNING: ignoring page-ranges=3-1"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("WARNING: ignoring number-up-layout=up"), std::string::npos) << run.err;
        const bool named = std::string(charset) == "CHARSET=iso-8859-1";
        EXPECT_EQ(run.err.find("is not UTF-8") == std::string::npos, named) << run.err;
        if (!named) {
            EXPECT_NE(run.err.find("a client names its encoding in the document format "
                                   "(text/plain;charset=NAME)"),
                      std::string::npos)
                << run.err;
        }
        const std::vector<PrintedJob> jobs = SplitJobs(run.out);
        ASSERT_EQ(jobs.size(), 1u);
        EXPECT_EQ(jobs[0].text, u"caf\u00E9 cr\u00E8me");
    }
    fs::remove_all(dir);
}

// Ghostscript's PCL XL pages are counted by the tokens, not by bytes: an
// EndPage byte (0x44) inside a value, an array or embedded data is no page
// end, PJL between jobs is skipped, and bytes fed one at a time give the
// same pages, each ending right after its EndPage.
TEST(CupsFilters, GhostscriptPagesAreCountedByTheirEndPage)
{
    const std::string pjl = std::string(kUel) + "@PJL ENTER LANGUAGE = PCLXL\n";
    const std::string header = ") HP-PCL XL;2;1;D\n";
    // BeginPage with a ubyte 0x44 attribute value and a uint16 array of
    // 0x4444, ReadImage with embedded data full of 0x44, EndPage.
    const std::string page = std::string("\xC0\x44\xF8\x28\xC9\xC0\x02\x44\x44\x44\x44\xF8\x29\x43", 14) +
                             std::string("\xB1\xFB\x03\x44\x44\x44\xFA\x02\x00\x00\x00\x44\x44", 13) +
                             std::string("\x44");
    const std::string stream = pjl + header + page + page + std::string(kUel) + pjl + header + page;
    const auto *bytes = reinterpret_cast<const uint8_t *>(stream.data());
    std::vector<size_t> ends;
    PclXlPageCounter whole;
    for (size_t at = 0; at < stream.size();) {
        at += whole.Feed(bytes + at, stream.size() - at);
        if (whole.pageEnded)
            ends.push_back(at);
    }
    const size_t first = pjl.size() + header.size() + page.size();
    EXPECT_EQ(ends, (std::vector<size_t>{first, first + page.size(), stream.size()}));
    std::vector<size_t> byByte;
    PclXlPageCounter single;
    for (size_t at = 0; at < stream.size(); ++at)
        if (single.Feed(bytes + at, 1) == 1 && single.pageEnded)
            byByte.push_back(at + 1);
    EXPECT_EQ(byByte, ends);
}

namespace {

// A listening socket on 127.0.0.1 with a free port.
int Listen(uint16_t &port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// What the socket device received: every connection until one has ended
// and no other follows within a second, or the time is up.
std::string Receive(int listener, std::chrono::seconds limit)
{
    std::string bytes;
    const auto end = std::chrono::steady_clock::now() + limit;
    bool gotOne = false;
    while (std::chrono::steady_clock::now() < end) {
        pollfd wait{listener, POLLIN, 0};
        if (poll(&wait, 1, gotOne ? 1000 : 250) <= 0) {
            if (gotOne)
                break;
            continue;
        }
        const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        char buffer[65536];
        for (;;) {
            pollfd in{connection, POLLIN, 0};
            if (poll(&in, 1, 20000) <= 0)
                break;
            const ssize_t got = read(connection, buffer, sizeof buffer);
            if (got <= 0)
                break;
            bytes.append(buffer, static_cast<size_t>(got));
        }
        close(connection);
        gotOne = true;
    }
    return bytes;
}

} // namespace

TEST(CupsFilters, PrivateCupsdPrintsTextWithItsCoverPage)
{
    if (const std::string missing = MissingCupsPrograms({kCupsd, kLp, kLpstat, kLpadmin});
        !missing.empty())
        GTEST_SKIP() << "CUPS is not installed (no " << missing << ")";
    // Outside the build tree, in a folder the scheduler's user can reach.
    char scratch[] = "/tmp/fndl-cupsd-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    const fs::path dir = scratch;
    struct Removed {
        fs::path dir;
        ~Removed() { fs::remove_all(dir); }
    } removed{dir};
    fs::permissions(dir, kWorldReadable);
    MakeServerBin(dir, true);
    for (const char *sub : {"etc", "spool/tmp", "cache", "state", "log"})
        fs::create_directories(dir / sub);

    uint16_t devicePort = 0;
    const int device = Listen(devicePort);
    uint16_t cupsPort = 0;
    const int probe = Listen(cupsPort); // a free port for cupsd
    ASSERT_GE(device, 0);
    ASSERT_GE(probe, 0);
    close(probe);

    const std::string d = dir.string();
    WriteFile(dir / "etc/cups-files.conf",
              "ServerRoot " + d + "/etc\nServerBin " + d + "/bin\nDataDir /usr/share/cups\n"
              "RequestRoot " + d + "/spool\nTempDir " + d + "/spool/tmp\nCacheDir " + d +
              "/cache\nStateDir " + d + "/state\nErrorLog " + d + "/log/error_log\n"
              "AccessLog " + d + "/log/access_log\nPageLog " + d + "/log/page_log\n"
              "FileDevice No\n");
    WriteFile(dir / "etc/cupsd.conf",
              "Listen 127.0.0.1:" + std::to_string(cupsPort) + "\nLogLevel debug\nBrowsing Off\n"
              "WebInterface No\nDefaultAuthType None\n<Location />\n Order allow,deny\n Allow all\n"
              "</Location>\n<Policy default>\n <Limit All>\n  Order deny,allow\n </Limit>\n"
              "</Policy>\n");
    const std::string server = "CUPS_SERVER=127.0.0.1:" + std::to_string(cupsPort);

    pid_t cupsd = 0;
    const std::string conf = d + "/etc/cupsd.conf";
    const std::string files = d + "/etc/cups-files.conf";
    const char *cupsdArgs[] = {kCupsd, "-f", "-c", conf.c_str(), "-s", files.c_str(),
                               nullptr};
    ASSERT_EQ(posix_spawn(&cupsd, cupsdArgs[0], nullptr, nullptr, const_cast<char **>(cupsdArgs),
                          environ),
              0)
        << "cannot start " << kCupsd;
    struct Stop {
        pid_t pid;
        int fd;
        ~Stop()
        {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            close(fd);
        }
    } stop{cupsd, device};

    Command state;
    for (int i = 0; i < 100; ++i) {
        state = RunCommand({kLpstat, "-r"}, {server});
        if (state.out.find("scheduler is running") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(state.out.find("scheduler is running"), std::string::npos)
        << state.err << ReadFile(dir / "log/error_log");

    const Command added =
        RunCommand({kLpadmin, "-p", "fndl", "-E", "-v", "socket://127.0.0.1:" + std::to_string(devicePort),
             "-P", FNDL_PPD_PATH},
            {server});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    const std::string text = SampleText();
    WriteFile(dir / "sample.txt", text);
    fs::permissions(dir / "sample.txt", fs::perms::others_read, fs::perm_options::add);
    // Both sides along the long edge, from the manual feed (PCL XL
    // MediaSource 2), for the cover page and the text.
    const Command printed =
        RunCommand({kLp, "-d", "fndl", "-o", "job-sheets=standard", "-o", "Duplex=DuplexNoTumble", "-o",
                    "InputSlot=Manual", "-t", "Sample", (dir / "sample.txt").string()},
                   {server});
    ASSERT_EQ(printed.exitCode, 0) << printed.err;

    const std::string received = Receive(device, std::chrono::seconds(60));
    const std::vector<PrintedJob> jobs = SplitJobs(received);
    ASSERT_EQ(jobs.size(), 2u) << received.size() << " bytes received\n"
                               << ReadFile(dir / "log/error_log").substr(0, 20000);
    int pages = 0;
    for (const PrintedJob &job : jobs) {
        EXPECT_TRUE(job.decoded);
        EXPECT_NE(job.pjl.find("@PJL JOB NAME=\"Sample\""), std::string::npos) << job.pjl;
        EXPECT_NE(job.pjl.find("@PJL EOJ"), std::string::npos) << job.pjl;
        EXPECT_FALSE(job.fontHeaders.empty());
        for (const auto &[name, count] : job.fontHeaders)
            EXPECT_EQ(count, 1) << name << " sent more than once";
        pages += job.pages;
        EXPECT_NE(job.pjl.find("@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=LONGEDGE"), std::string::npos);
        const std::vector<const XLOperation *> beginPages = BeginPages(job);
        for (size_t page = 0; page < beginPages.size(); ++page) {
            EXPECT_EQ(AttributeOf(*beginPages[page], xl::kAttrMediaSource), 2);
            EXPECT_EQ(AttributeOf(*beginPages[page], xl::kAttrDuplexPageMode), 1);
            EXPECT_EQ(AttributeOf(*beginPages[page], xl::kAttrDuplexPageSide), page % 2);
        }
    }
    EXPECT_EQ(jobs[0].pages, 1);
    EXPECT_NE(jobs[0].text.find(u"Printer Namefndl"), std::u16string::npos);
    EXPECT_NE(jobs[0].text.find(u"Job IDfndl-"), std::u16string::npos);
    // The options the user gave, not the defaults cupsd fills in.
    EXPECT_NE(jobs[0].text.find(u"InputSlot=Manual"), std::u16string::npos);
    EXPECT_EQ(jobs[0].text.find(u"finishings="), std::u16string::npos);
    EXPECT_EQ(jobs[0].text.find(u"print-color-mode="), std::u16string::npos);
    EXPECT_EQ(jobs[1].text, WithoutNewlines(text));

    // CUPS counted the pages from the filters' PAGE: lines.
    const std::string total = " total " + std::to_string(pages) + " ";
    std::string pageLog;
    for (int i = 0; i < 50 && pageLog.find(total) == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pageLog = ReadFile(dir / "log/page_log");
    }
    EXPECT_NE(pageLog.find(total), std::string::npos) << pageLog;

    // A PDF takes cups-filters' Ghostscript path through the same queue and
    // options.
    if (access("/usr/lib/cups/filter/gstopxl", X_OK) != 0 || access("/usr/bin/gs", X_OK) != 0)
        GTEST_SKIP() << "cups-filters' gstopxl or Ghostscript is not installed";
    WriteFile(dir / "one.pdf", PdfOfPages(1));
    fs::permissions(dir / "one.pdf", fs::perms::others_read, fs::perm_options::add);
    const Command pdf = RunCommand({kLp, "-d", "fndl", "-o", "InputSlot=Manual", "-o",
                                    "Duplex=DuplexTumble", (dir / "one.pdf").string()},
                                   {server});
    ASSERT_EQ(pdf.exitCode, 0) << pdf.err;
    const std::vector<PrintedJob> pdfJobs = SplitJobs(Receive(device, std::chrono::seconds(60)));
    ASSERT_EQ(pdfJobs.size(), 1u) << ReadFile(dir / "log/error_log").substr(0, 20000);
    EXPECT_TRUE(pdfJobs[0].decoded);
    ASSERT_EQ(pdfJobs[0].pages, 1);
    const XLOperation &pdfPage = *BeginPages(pdfJobs[0]).at(0);
    EXPECT_EQ(AttributeOf(pdfPage, xl::kAttrMediaSize), 2); // A4
    EXPECT_EQ(AttributeOf(pdfPage, xl::kAttrMediaSource), 2);
    EXPECT_EQ(AttributeOf(pdfPage, xl::kAttrDuplexPageMode), 0);

    // Every other document format is counted in CUPS's page log (and
    // job-impressions-completed) page by page as it reaches the printer: a
    // multi-page PDF, a PostScript file, a C source (texttopdf, then
    // Ghostscript) and an image (imagetopdf straight to Ghostscript, no
    // pdftopdf to count it).
    std::string cSource = "#include <stdio.h>\n\n";
    for (int i = 0; i < 150; ++i)
        cSource += "int value" + std::to_string(i) + "(void) { return " + std::to_string(i) + "; }\n";
    const std::string postScript =
        "%!PS-Adobe-3.0\n%%Pages: 2\n%%EndComments\n%%Page: 1 1\n/Helvetica findfont 24 "
        "scalefont setfont 72 700 moveto (One) show showpage\n%%Page: 2 2\n/Helvetica findfont "
        "24 scalefont setfont 72 700 moveto (Two) show showpage\n%%EOF\n";
    const std::string image = "P5\n64 64\n255\n" + std::string(64 * 64, '\x80');
    struct Document {
        const char *name;
        std::string bytes;
        int pages; // 0: more than one, as texttopdf lays it out
    };
    const Document documents[] = {{"three.pdf", PdfOfPages(3), 3},
                                  {"two.ps", postScript, 2},
                                  {"values.c", cSource, 0},
                                  {"grey.pgm", image, 1}};
    for (const Document &document : documents) {
        WriteFile(dir / document.name, document.bytes);
        fs::permissions(dir / document.name, fs::perms::others_read, fs::perm_options::add);
        const Command queued = RunCommand({kLp, "-d", "fndl", (dir / document.name).string()}, {server});
        ASSERT_EQ(queued.exitCode, 0) << queued.err;
        const size_t idAt = queued.out.find("fndl-");
        ASSERT_NE(idAt, std::string::npos) << queued.out;
        const std::string id = std::to_string(std::atoi(queued.out.c_str() + idAt + 5));
        const std::vector<PrintedJob> printedJobs = SplitJobs(Receive(device, std::chrono::seconds(60)));
        ASSERT_EQ(printedJobs.size(), 1u) << document.name;
        const int printedPages = printedJobs[0].pages;
        if (document.pages > 0)
            EXPECT_EQ(printedPages, document.pages) << document.name;
        else
            EXPECT_GT(printedPages, 1) << document.name;
        const std::string logged = " " + id + " [";
        const std::string counted = " total " + std::to_string(printedPages) + " ";
        std::string line;
        for (int i = 0; i < 50 && line.find(counted) == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::istringstream log(ReadFile(dir / "log/page_log"));
            for (std::string entry; std::getline(log, entry);)
                if (entry.find(logged) != std::string::npos)
                    line = entry;
        }
        EXPECT_NE(line.find(counted), std::string::npos) << document.name << ": " << line;
    }
}

#endif // FNDL_FILTER_DIR && FNDL_TOOL_PATH
