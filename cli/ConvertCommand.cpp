// The convert command. The output format comes from --type or from OUTPUT's extension;
// the picture is written through a temporary file, so a failed encode leaves neither a
// partial OUTPUT nor a damaged older one.
#include "cli/ConvertCommand.h"

#include "app/batch/PathNames.h"
#include "app/batch/SourceDecoding.h"
#include "app/batch/TemporaryOutput.h"
#include "cli/CommandLine.h"
#include "cli/FormatNames.h"
#include "image/VxImage.h"
#include "platform/FileSystem.h"

namespace vx::cli {

namespace {

constexpr const char* kUsage =
    "Usage: vantry-cli convert [--type FORMAT] [--quality Q] INPUT OUTPUT\n"
    "Read INPUT in whatever format it holds and write it to OUTPUT as FORMAT (default:\n"
    "from OUTPUT's extension). Formats: jpg jpeg bmp gif ico tga pcx wbmp wmf emf ska.\n"
    "--quality sets the JPEG quality, 1 to 100 (default 90).\n";

int UsageError(CliEnvironment& env, const std::string& text)
{
    ReportError(env, text);
    env.err << kUsage;
    return kExitUsage;
}

} // namespace

int RunConvert(const std::vector<std::string>& args, CliEnvironment& env)
{
    const ParsedCommand parsed = ParseCommand(args, 2, {{"type", true}, {"quality", true}});
    if (parsed.help) {
        env.out << kUsage;
        return kExitOk;
    }
    if (!parsed.error.empty())
        return UsageError(env, parsed.error);
    if (parsed.operands.size() != 2)
        return UsageError(env, "convert takes one INPUT and one OUTPUT");

    const std::string& input = parsed.operands[0];
    const std::string& output = parsed.operands[1];
    const std::u16string outputPath = vx::fs::FromUtf8(output);
    const auto typeOption = parsed.options.find("type");
    const std::string formatName = typeOption != parsed.options.end()
                                       ? typeOption->second
                                       : vx::fs::ToUtf8(vx::batch::SplitPath(outputPath).extension);
    const std::uint32_t type = TypeForFormatName(formatName);
    if (type == 0)
        return UsageError(env, formatName.empty() ? "give --type or an OUTPUT with a known extension"
                                                  : "unknown format '" + formatName + "'");
    int quality = 90;
    if (auto q = parsed.options.find("quality"); q != parsed.options.end() && !ParseInteger(q->second, 1, 100, quality))
        return UsageError(env, "--quality takes a number from 1 to 100");

    VxImage image(kVxTypeUnknown);
    const std::u16string inputPath = vx::fs::FromUtf8(input);
    const vx::batch::CancelSignal neverRaised;
    if (!vx::batch::LoadWithReason(image, inputPath.c_str(), neverRaised, vx::batch::UnrecognisedFile::UnknownFormat)) {
        const std::string reason = *image.LastError() ? image.LastError() : "cannot open the file";
        ReportError(env, input + ": " + reason);
        return kExitFailed;
    }
    image.Info().jpegQuality = static_cast<float>(quality);

    vx::batch::TemporaryOutput temporary(outputPath);
    if (temporary.Path().empty()) {
        ReportError(env, output + ": no room for a temporary file beside it");
        return kExitFailed;
    }
    image.SetLastError("");
    if (!image.Save(temporary.Path().c_str(), type)) {
        const std::string reason = *image.LastError() ? image.LastError() : "cannot create the file";
        ReportError(env, output + ": " + reason);
        return kExitFailed;
    }
    if (!temporary.Commit()) {
        ReportError(env, output + ": cannot put the file in place");
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace vx::cli
