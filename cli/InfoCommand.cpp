// The info command. Each file is decoded by content; the plain form prints
// "PATH: FORMAT WIDTHxHEIGHT, BPP bpp, XDPIxYDPI dpi, N frame(s)", the JSON form one object
// per line with the keys path, ok, error, format, type, width, height, bpp, xdpi, ydpi,
// frames, transparentIndex, transparentColour ("#RRGGBB"; both null when the picture has none),
// alpha and, for JPEG files, exif (null when the file has no EXIF block).
// GIF files add their loop count (times the animation plays, 0 for ever) and comment to both
// forms.
#include "cli/InfoCommand.h"

#include "app/batch/SourceDecoding.h"
#include "cli/CommandLine.h"
#include "cli/FormatNames.h"
#include "cli/JsonText.h"
#include "image/VxImage.h"
#include "image/VxStream.h"
#include "image/codecs/VxImageGIF.h"
#include "image/codecs/VxExifReader.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>

namespace vx::cli {

namespace {

constexpr const char* kUsage =
    "Usage: vantry-cli info [--json] FILE...\n"
    "Show the format, size, bits per pixel, resolution and frame count of each FILE (for GIF\n"
    "files also the loop count, 0 meaning for ever, and the comment); with --json one JSON\n"
    "object per line, EXIF fields included for JPEG files.\n";

struct PictureFacts {
    bool ok = false;
    std::string error;
    std::uint32_t type = 0;
    std::int32_t width = 0, height = 0, bpp = 0, xDpi = 0, yDpi = 0, frames = 0;
    std::int32_t transparentIndex = -1; // palette pictures only
    bool transparent = false;           // a transparent colour (or index) is set
    RGBQUAD transparentColour{};
    bool alpha = false;
    std::int32_t loopCount = 0; // GIF only
    std::string comment;        // GIF only
};

// The loop count and comment live in the GIF codec, not in the picture the dispatch returns.
void ExamineGif(const std::u16string& path, PictureFacts& facts)
{
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(vx::fs::OpenFile(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return;
    VxFileStream stream(file.get());
    VxImageGIF gif;
    if (gif.Decode(&stream)) {
        facts.loopCount = gif.LoopCount();
        facts.comment = gif.Comment();
    }
}

PictureFacts Examine(const std::u16string& path)
{
    PictureFacts facts;
    VxImage image(kVxTypeUnknown);
    const vx::batch::CancelSignal neverRaised;
    if (!vx::batch::LoadWithReason(image, path.c_str(), neverRaised, vx::batch::UnrecognisedFile::UnknownFormat)) {
        facts.error = *image.LastError() ? image.LastError()
                                         : (vx::fs::FileExists(path.c_str()) ? "cannot read the file" : "no such file");
        return facts;
    }
    facts.ok = true;
    facts.type = image.ImageType();
    facts.width = image.Width();
    facts.height = image.Height();
    facts.bpp = image.BitsPerPixel();
    facts.xDpi = image.XDpi();
    facts.yDpi = image.YDpi();
    facts.frames = std::max(1, image.FrameCount());
    facts.transparent = image.IsTransparent();
    facts.transparentIndex = facts.transparent && image.HasPalette() ? image.TransparentIndex() : -1;
    facts.transparentColour = image.TransparentColour();
    facts.alpha = image.HasAlpha();
    if (facts.type == kVxTypeGif)
        ExamineGif(path, facts);
    return facts;
}

// The EXIF block of a JPEG file as a JSON object, or "null" when it has none. A section
// further on that cannot be walked does not undo the block: the decoder used it all the same.
std::string ExifJson(const std::u16string& path)
{
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(vx::fs::OpenFile(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return "null";
    VxFileStream stream(file.get());
    ExifInfo exif{};
    VxExifReader reader(&exif);
    reader.ReadSections(&stream, VxExifReader::kReadExif);
    if (!exif.isExif)
        return "null";
    const auto text = [](const char* field, std::size_t size) {
        return JsonString(std::string_view(field, std::find(field, field + size, '\0') - field));
    };
    std::ostringstream json;
    json << "{\"version\":" << text(exif.version, sizeof exif.version)
         << ",\"cameraMake\":" << text(exif.cameraMake, sizeof exif.cameraMake)
         << ",\"cameraModel\":" << text(exif.cameraModel, sizeof exif.cameraModel)
         << ",\"dateTime\":" << text(exif.dateTime, sizeof exif.dateTime)
         << ",\"width\":" << exif.width << ",\"height\":" << exif.height
         << ",\"orientation\":" << exif.orientation << ",\"isColour\":" << exif.isColour
         << ",\"process\":" << exif.process << ",\"flashUsed\":" << exif.flashUsed
         << ",\"focalLength\":" << JsonNumber(exif.focalLength)
         << ",\"exposureTime\":" << JsonNumber(exif.exposureTime)
         << ",\"apertureFNumber\":" << JsonNumber(exif.apertureFNumber)
         << ",\"distance\":" << JsonNumber(exif.distance) << ",\"ccdWidth\":" << JsonNumber(exif.ccdWidth)
         << ",\"exposureBias\":" << JsonNumber(exif.exposureBias)
         << ",\"whiteBalance\":" << exif.whiteBalance << ",\"meteringMode\":" << exif.meteringMode
         << ",\"exposureProgram\":" << exif.exposureProgram << ",\"isoEquivalent\":" << exif.isoEquivalent
         << ",\"compressionLevel\":" << exif.compressionLevel
         << ",\"xResolution\":" << JsonNumber(exif.xResolution)
         << ",\"yResolution\":" << JsonNumber(exif.yResolution)
         << ",\"brightness\":" << JsonNumber(exif.brightness)
         << ",\"comments\":" << text(exif.comments, sizeof exif.comments)
         << ",\"thumbnailSize\":" << exif.thumbnailSize << "}";
    return json.str();
}

std::string HexColour(RGBQUAD colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", colour.rgbRed, colour.rgbGreen, colour.rgbBlue);
    return text;
}

std::string JsonLine(const std::string& path, const std::u16string& widePath, const PictureFacts& facts)
{
    std::ostringstream json;
    json << "{\"path\":" << JsonString(path) << ",\"ok\":" << (facts.ok ? "true" : "false")
         << ",\"error\":" << (facts.ok ? "null" : JsonString(facts.error));
    if (facts.ok) {
        json << ",\"format\":" << JsonString(FormatNameForType(facts.type)) << ",\"type\":" << facts.type
             << ",\"width\":" << facts.width << ",\"height\":" << facts.height << ",\"bpp\":" << facts.bpp
             << ",\"xdpi\":" << facts.xDpi << ",\"ydpi\":" << facts.yDpi << ",\"frames\":" << facts.frames;
        json << ",\"transparentIndex\":";
        if (facts.transparentIndex >= 0)
            json << facts.transparentIndex;
        else
            json << "null";
        json << ",\"transparentColour\":"
             << (facts.transparent ? JsonString(HexColour(facts.transparentColour)) : "null")
             << ",\"alpha\":" << (facts.alpha ? "true" : "false");
        if (facts.type == kVxTypeJpg)
            json << ",\"exif\":" << ExifJson(widePath);
        if (facts.type == kVxTypeGif)
            json << ",\"loopCount\":" << facts.loopCount << ",\"comment\":" << JsonString(facts.comment);
    } else {
        json << ",\"format\":null,\"type\":null,\"width\":null,\"height\":null,\"bpp\":null"
                ",\"xdpi\":null,\"ydpi\":null,\"frames\":null,\"transparentIndex\":null"
                ",\"transparentColour\":null,\"alpha\":null";
    }
    json << "}\n";
    return json.str();
}

} // namespace

int RunInfo(const std::vector<std::string>& args, CliEnvironment& env)
{
    const ParsedCommand parsed = ParseCommand(args, 2, {{"json", false}});
    if (parsed.help) {
        env.out << kUsage;
        return kExitOk;
    }
    if (!parsed.error.empty() || parsed.operands.empty()) {
        ReportError(env, parsed.error.empty() ? "no picture files given" : parsed.error);
        env.err << kUsage;
        return kExitUsage;
    }
    const bool json = parsed.options.count("json") != 0;
    bool anyFailed = false;
    for (const std::string& path : parsed.operands) {
        const std::u16string widePath = vx::fs::FromUtf8(path);
        const PictureFacts facts = Examine(widePath);
        anyFailed = anyFailed || !facts.ok;
        if (json) {
            env.out << JsonLine(path, widePath, facts);
        } else if (facts.ok) {
            env.out << path << ": " << FormatNameForType(facts.type) << ' ' << facts.width << 'x' << facts.height
                    << ", " << facts.bpp << " bpp, " << facts.xDpi << 'x' << facts.yDpi << " dpi, " << facts.frames
                    << (facts.frames == 1 ? " frame" : " frames");
            if (facts.type == kVxTypeGif)
                env.out << ", loop count " << facts.loopCount << ", comment " << JsonString(facts.comment);
            env.out << '\n';
        } else {
            ReportError(env, path + ": " + facts.error);
        }
    }
    env.out.flush();
    return anyFailed ? kExitFailed : kExitOk;
}

} // namespace vx::cli
