// The resize command: the files form the picture list (first file = top row), the runner
// does the rest. Log lines go to stdout as the log pane would get them, one per line; the
// destination prompt and the "Error!" box become messages on stderr.
#include "cli/ResizeCommand.h"

#include "app/batch/BatchRunner.h"
#include "cli/CommandLine.h"
#include "cli/PictureTree.h"
#include "platform/FileSystem.h"
#include "platform/SystemLanguage.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace vx::cli {

namespace {

constexpr const char* kUsage =
    "Usage: vantry-cli resize [--mark TEXT] [--dest DIR] [--jobs N] [--recursive]\n"
    "                         [--keep-metadata] [--auto-orient] FILE...\n"
    "Write each FILE at half its width and height, with TEXT stamped in red at its top\n"
    "left, as a JPEG named after it in DIR (default ./small, created when missing).\n"
    "Clashing names get an \"s<n>_\" prefix. --jobs N works on N pictures at once (default:\n"
    "the number of processor cores); the outputs and the log are the same as with one.\n"
    "--recursive takes folders among the FILEs: every picture below them (recognised by\n"
    "content; hidden files and folders skipped) goes to its relative path under DIR,\n"
    "folders created as needed. A DIR inside such a folder is not entered.\n"
    "--keep-metadata keeps a JPEG source's EXIF block and comment in its output, with the\n"
    "EXIF sizes (PixelXDimension/PixelYDimension, ImageWidth/ImageLength) set to the output's;\n"
    "the embedded thumbnail is dropped, as it shows the source without the mark. A damaged\n"
    "EXIF block is left out and the log says so. Without it outputs carry no metadata.\n"
    "--auto-orient turns each picture upright by its EXIF orientation before the mark is\n"
    "drawn, so the mark sits at the top left as the picture is seen; the log gives the\n"
    "upright size, and with --keep-metadata the output's orientation is 1.\n";

constexpr int kMaxJobs = 64;
constexpr int kBarWidth = 40;

class ConsoleSink : public vx::batch::BatchSink {
public:
    explicit ConsoleSink(CliEnvironment& env) : m_env(env) {}

    void LogLine(std::u16string_view line) override
    {
        ClearBar();
        std::string text = vx::fs::ToUtf8(line);
        if (text.empty() || text.back() != '\n')
            text += '\n';
        m_env.out << text;
        m_env.out.flush();
        DrawBar();
    }
    void SetProgressRange(int minimum, int maximum) override
    {
        m_minimum = minimum;
        m_maximum = maximum;
    }
    void SetProgressPosition(int position) override
    {
        m_position = position;
        m_barShown = m_barShown || position > m_minimum;
        DrawBar();
    }
    void SetStartEnabled(bool enabled) override
    {
        if (enabled)
            ClearBar();
    }
    void ShowMessage(std::u16string_view text, std::u16string_view, vx::batch::MessageOwner) override
    {
        ClearBar();
        ReportError(m_env, vx::fs::ToUtf8(text));
    }

private:
    void DrawBar()
    {
        if (!m_env.errIsTerminal || !m_barShown || m_maximum <= m_minimum)
            return;
        const int percent = 100 * (m_position - m_minimum) / (m_maximum - m_minimum);
        const int filled = kBarWidth * percent / 100;
        m_env.err << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, ' ') << "] " << percent << "%";
        m_env.err.flush();
        m_drawn = true;
    }
    void ClearBar()
    {
        if (!m_drawn)
            return;
        m_env.err << '\r' << std::string(kBarWidth + 8, ' ') << '\r';
        m_env.err.flush();
        m_drawn = false;
    }

    CliEnvironment& m_env;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_position = 0;
    bool m_barShown = false;
    bool m_drawn = false;
};

} // namespace

int RunResize(const std::vector<std::string>& args, CliEnvironment& env)
{
    const ParsedCommand parsed =
        ParseCommand(args, 2,
                     {{"mark", true}, {"dest", true}, {"jobs", true}, {"recursive", false}, {"keep-metadata", false},
                      {"auto-orient", false}});
    if (parsed.help) {
        env.out << kUsage;
        return kExitOk;
    }
    if (!parsed.error.empty()) {
        ReportError(env, parsed.error);
        env.err << kUsage;
        return kExitUsage;
    }
    vx::batch::BatchRequest request;
    request.parallelJobs = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxJobs);
    if (auto jobs = parsed.options.find("jobs");
        jobs != parsed.options.end() && !ParseInteger(jobs->second, 1, kMaxJobs, request.parallelJobs)) {
        ReportError(env, "--jobs takes a number from 1 to " + std::to_string(kMaxJobs));
        return kExitUsage;
    }
    if (parsed.operands.empty()) {
        ReportError(env, "no picture files given");
        env.err << kUsage;
        return kExitUsage;
    }
    if (auto mark = parsed.options.find("mark"); mark != parsed.options.end())
        request.markText = vx::fs::FromUtf8(mark->second);
    if (auto dest = parsed.options.find("dest"); dest != parsed.options.end())
        request.destination = vx::fs::FromUtf8(dest->second);
    else
        request.destination = std::u16string(u".") + vx::fs::PathSeparator() + u"small";
    const bool recursive = parsed.options.count("recursive") != 0;
    request.options.keepMetadata = parsed.options.count("keep-metadata") != 0;
    request.options.autoOrient = parsed.options.count("auto-orient") != 0;
    for (const std::string& file : parsed.operands) {
        const std::u16string path = vx::fs::FromUtf8(file);
        std::error_code error;
        if (!std::filesystem::is_directory(std::filesystem::path(path), error)) {
            request.rows.push_back(path);
            if (recursive)
                request.rowFolders.push_back(request.destination);
            continue;
        }
        if (!recursive) {
            ReportError(env, file + " is a folder: give --recursive to resize the pictures in it");
            env.err << kUsage;
            return kExitUsage;
        }
        std::vector<TreePicture> pictures;
        CollectPictures(path, request.destination, pictures);
        for (TreePicture& picture : pictures) {
            request.rows.push_back(std::move(picture.source));
            request.rowFolders.push_back(std::move(picture.outputFolder));
        }
    }
    if (request.rows.empty()) {
        ReportError(env, "no pictures in the folders given");
        return kExitFailed;
    }

    ConsoleSink sink(env);
    vx::batch::BatchRunner runner(sink, vx::platform::SystemDefaultLanguageId());
    switch (runner.Start(request)) {
    case vx::batch::StartResult::Started:
        break;
    case vx::batch::StartResult::NoDestination:
        return kExitUsage; // the sink has shown the prompt
    case vx::batch::StartResult::NoMemory:
        ReportError(env, "not enough memory for the picture list");
        return kExitFailed;
    default:
        return kExitFailed;
    }
    // Ctrl-C only sets a flag; the cancel itself happens here, on an ordinary thread.
    bool cancelRequested = false;
    do {
        if (!cancelRequested && env.interrupted != nullptr && env.interrupted->load()) {
            runner.Cancel();
            cancelRequested = true;
        }
    } while (!runner.WaitFor(std::chrono::milliseconds(50)));
    runner.Wait();

    const vx::batch::RunSummary summary = runner.LastRun();
    if (summary.cancelled)
        return kExitInterrupted;
    if (summary.aborted || summary.failed > 0 || summary.written != summary.jobs)
        return kExitFailed;
    return kExitOk;
}

} // namespace vx::cli
