// VxImageGIF: frames and composites compared with ImageMagick on files it made (depths,
// interlace, local tables, transparency, every disposal method); our files read back by
// ImageMagick and by us for each coder; hand-built blocks for the walk's odd paths; hostile
// input (truncation, bit flips, oversized frames, endless frames).
#include "image/codecs/VxImageGIF.h"

#include "tests/image/codecs/CodecHarness.h"

#include <vector>

namespace {

using namespace vx::test;

constexpr std::uint32_t kGifSlot = 2; // codecOptions index of type 2

// The decoder's stored composites, which only the image itself sees.
class GifWithFrames : public VxImageGIF {
public:
    const VxImage* StoredFrame(int n) const { return frames && n < info.frameCount ? frames[n] : nullptr; }
};

Decoded<GifWithFrames> Decode(const Bytes& bytes, int frame = 0, bool all = false, int escape = 0)
{
    return DecodeWith<GifWithFrames>(bytes, escape, [&](GifWithFrames& gif) {
        gif.Info().frame = frame;
        gif.SetDecodeAllFrames(all);
    });
}

// The frames written as one animation (local colour tables, loop block), or empty.
Bytes EncodeFrames(std::vector<VxImage*> frames, VxImageGIF& writer)
{
    VxMemStream stream;
    stream.Open();
    if (!writer.Encode(&stream, frames.data(), static_cast<std::int32_t>(frames.size()), true, true))
        return {};
    return Bytes(stream.GetBuffer(false), stream.GetBuffer(false) + stream.Size());
}

// Header and logical screen with a global table of 2^tableBits entries (none for 0).
Bytes Screen(int width, int height, int tableBits)
{
    Bytes b = Joined(Joined({'G', 'I', 'F', '8', '9', 'a'}, LittleEndian(width, 2)), LittleEndian(height, 2));
    b = Joined(b, {static_cast<std::uint8_t>(tableBits ? 0x80 | (tableBits - 1) : 0), 0, 0});
    for (int i = 0; i < (tableBits ? 1 << tableBits : 0); ++i)
        b = Joined(b, {static_cast<std::uint8_t>(i * 60), static_cast<std::uint8_t>(i * 30),
                       static_cast<std::uint8_t>(255 - i * 60)});
    return b;
}

Bytes Descriptor(int left, int top, int width, int height)
{
    Bytes b = {','};
    for (int v : {left, top, width, height})
        b = Joined(b, LittleEndian(static_cast<std::uint64_t>(v), 2));
    return Joined(b, {0});
}

// Image data of code size 2 in one sub-block, then the terminator: clear (4), pixel codes, end
// (5), packed from the lowest bit; codes take 3 bits until the table reaches 8 entries, then 4.
const Bytes kPixels1230 = {2, 3, 0x8C, 0x06, 0x05, 0}; // clear 1 2 3 0 end
const Bytes kPixel1 = {2, 2, 0x4C, 0x01, 0};           // clear 1 end
const Bytes kNoPixels = {2, 1, 0x2C, 0};               // clear end
const Bytes kCodeTooHigh = {2, 2, 0xCC, 0x55, 0};      // clear 1 7 2 end, where 6 is the next free code

// A 2 x 2 frame of pixels 1, 2, 3, 0 (clear, literals, end).
Bytes SmallFrame(int left = 0, int top = 0) { return Joined(Descriptor(left, top, 2, 2), kPixels1230); }

// A graphic control block of `length` bytes (4 is right), without transparency.
Bytes Control(int disposal, int length = 4)
{
    const Bytes block = {'!', 0xF9, static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(disposal << 2), 5,
                         0,   0};
    return Joined(Joined(block, Bytes(static_cast<std::size_t>(length - 4), 0)), {0});
}

struct MagickCase {
    const char* name;
    const char* arguments; // what convert makes the file from
};

const MagickCase kMagickCases[] = {
    {"TwoColours", "-seed 3 -size 37x23 plasma:fractal -colors 2"},
    {"SixteenColours", "-seed 3 -size 37x23 plasma:fractal -colors 12"},
    {"ManyColours", "-seed 3 -size 61x40 plasma:fractal -colors 230"},
    {"Interlaced", "-seed 4 -size 33x29 plasma:fractal -colors 100 -interlace GIF"},
    {"InterlacedHeight1", "-seed 4 -size 9x1 plasma:fractal -colors 20 -interlace GIF"},
    {"InterlacedHeight2", "-seed 4 -size 9x2 plasma:fractal -colors 20 -interlace GIF"},
    {"InterlacedHeight3", "-seed 4 -size 9x3 plasma:fractal -colors 20 -interlace GIF"},
    {"Transparent", "-size 20x12 xc:red -fill none -draw 'rectangle 3,3 9,8' -fill blue -draw 'point 15,5'"},
    // Frames of other sizes and places, disposed of in each of the four ways.
    {"DisposeNone",
     "-dispose None -delay 7 -size 10x9 xc:red -page +2+3 -size 4x4 xc:blue -page +5+5 -size 3x3 xc:lime"},
    {"DisposeKeep", "-dispose Previous -delay 7 -size 10x9 xc:red -dispose None -page +2+3 -size 4x4 xc:blue "
                    "-page +5+4 -size 3x3 xc:lime"},
    {"DisposeBackground", "-dispose Background -size 10x9 xc:none -fill red -draw 'rectangle 0,0 5,5' "
                          "-page +2+3 -size 4x4 xc:blue -page +5+5 -size 3x3 xc:lime"},
    {"DisposePrevious", "-size 10x9 xc:red -dispose Previous -page +2+3 -size 4x4 xc:blue "
                        "-page +5+5 -size 3x3 xc:lime -page +1+1 -size 2x2 xc:yellow"},
    // Frames whose colours differ, so each gets a table of its own.
    {"LocalTables", "-seed 5 -size 16x16 plasma:fractal -colors 40 \\( -size 8x8 gradient:yellow-navy -colors 33 "
                    "-repage +4+4 \\) \\( -size 16x4 gradient:white-green -colors 20 -repage +0+9 \\)"},
};

// Catches wrong interlace rows, palettes, transparency, placement and disposal: each frame asked
// for alone, and every composite stored at once, is ImageMagick's coalesced frame.
TEST(VxImageGIFMagick, EveryFrameCompositeMatchesImageMagickCoalesce)
{
    REQUIRE_TOOLS("convert identify");
    ScratchDir dir;
    const auto file = dir / "picture.gif", coalesced = dir / "coalesced.gif";
    for (const MagickCase& c : kMagickCases) {
        SCOPED_TRACE(c.name);
        RunTool("convert " + std::string(c.arguments) + " " + Quoted(file));
        RunTool("convert " + Quoted(file) + " -coalesce " + Quoted(coalesced));
        const Bytes bytes = ReadFileBytes(file);
        const int frames = Decode(bytes).image->FrameCount();
        ASSERT_GT(frames, 0);
        const auto all = Decode(bytes, frames - 1, true);
        ASSERT_TRUE(all.ok);
        for (int n = 0; n < frames; ++n) {
            const auto d = Decode(bytes, n);
            ASSERT_TRUE(d.ok && all.image->StoredFrame(n)) << n;
            const Picture theirs = Blackened(ReadWithMagick(coalesced, n, true));
            EXPECT_EQ(CountDiffering(SeenRgba(*d.image), theirs), 0) << "frame " << n;
            EXPECT_EQ(CountDiffering(SeenRgba(*all.image->StoredFrame(n)), theirs), 0) << "stored " << n;
        }
    }
}

struct CoderCase {
    const char* name;
    int width, height, depth, kind;
};

// Every coder on noise (a full code table), flat areas (the longest runs), runs of many colours,
// stripes, 1- and 4-bit pictures and one-pixel or 4096-pixel rows.
const CoderCase kCoderCases[] = {
    {"Noise8", 97, 61, 8, 0},    {"Flat8", 200, 120, 8, 1},      {"Runs8", 300, 90, 8, 2},
    {"Stripes4", 45, 33, 4, 3},  {"Noise1", 77, 19, 1, 0},       {"Runs1", 250, 40, 1, 2},
    {"Width1", 1, 300, 8, 0},    {"Width4096", 4096, 3, 8, 3},   {"Noise4Wide", 4096, 2, 4, 0},
};

// Catches a wrong code width, table reset or run in any of the three coders (options 0, 1, 2).
TEST(VxImageGIFCoder, RoundTripsThroughUsAndImageMagick)
{
    ScratchDir dir;
    for (const CoderCase& c : kCoderCases) {
        for (std::uint32_t coder : {0u, 1u, 2u}) {
            SCOPED_TRACE(std::string(c.name) + " coder " + std::to_string(coder));
            const auto picture = IndexedImage(c.width, c.height, c.depth, c.kind);
            picture->Info().codecOptions[kGifSlot] = coder;
            const Bytes bytes = EncodeBytes(*picture, kVxTypeGif);
            const auto back = Decode(bytes);
            ASSERT_TRUE(back.ok) << picture->LastError();
            EXPECT_EQ(back.image->BitsPerPixel(), c.depth);
            EXPECT_EQ(PictureOf(*back.image), PictureOf(*picture)); // the palette's colours are all distinct
            if (HaveTools("convert")) {
                WriteFileBytes(dir / "ours.gif", bytes);
                EXPECT_EQ(ReadWithMagick(dir / "ours.gif"), PictureOf(*picture));
            }
        }
    }
}

// Frame count, loops and comment read back: the command line's info test.
TEST(VxImageGIFEncode, AnimationKeepsFramesDelaysAndLoops)
{
    std::vector<std::unique_ptr<VxImage>> pictures;
    for (int i = 0; i < 3; ++i) {
        pictures.push_back(IndexedImage(30 - 5 * i, 20 - 3 * i, i == 1 ? 4 : 8, i));
        pictures.back()->Info().frameDelay = static_cast<std::uint32_t>(10 + 5 * i);
        pictures.back()->SetOffset(i * 2, i);
        pictures.back()->SetGifDisposal(1);
    }
    VxImageGIF writer;
    writer.SetLoopCount(4);
    const Bytes bytes = EncodeFrames({pictures[0].get(), pictures[1].get(), pictures[2].get()}, writer);

    const auto back = Decode(bytes, 2);
    ASSERT_TRUE(back.ok) << writer.LastError();
    EXPECT_EQ(back.image->Info().frameDelay, 20u);

    REQUIRE_TOOLS("convert identify");
    ScratchDir dir;
    WriteFileBytes(dir / "anim.gif", bytes);
    RunTool("identify -format '%T %X%Y %w,' " + Quoted(dir / "anim.gif") + " > " + Quoted(dir / "facts.txt"));
    RunTool("identify -verbose " + Quoted(dir / "anim.gif") + " | grep -c 'Iterations: 4' >> " +
            Quoted(dir / "facts.txt"));
    const Bytes facts = ReadFileBytes(dir / "facts.txt");
    EXPECT_EQ(std::string(facts.begin(), facts.end()), "10 +0+0 30,15 +2+1 25,20 +4+2 20,3\n"); // plays counted too
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadWithMagick(dir / "anim.gif", i), PictureOf(*pictures[static_cast<std::size_t>(i)])) << i;
}

TEST(VxImageGIFEncode, TrueColourIsWrittenAsCellsAndAssembledBack)
{
    const auto picture = ImageOf(PatternPicture(35, 16, 3));
    const Bytes bytes = EncodeBytes(*picture, kVxTypeGif);
    const auto back = Decode(bytes);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.image->FrameCount(), 6); // 17 + 17 + 1 columns by 15 + 1 rows
    EXPECT_EQ(back.image->BitsPerPixel(), 24);
    EXPECT_EQ(PictureOf(*back.image), PictureOf(*picture));

    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    WriteFileBytes(dir / "cells.gif", bytes);
    RunTool("convert " + Quoted(dir / "cells.gif") + " -layers flatten " + Quoted(dir / "flat.ppm"));
    EXPECT_EQ(ReadPnm(dir / "flat.ppm"), PictureOf(*picture));
}

TEST(VxImageGIFEncode, AnimationRefusalsLeaveTheirMessage)
{
    const auto indexed = IndexedImage(4, 4, 8);
    VxImage trueColour(4, 4, 24, 2), empty(2);
    VxMemStream stream;
    stream.Open();
    const struct {
        VxStream* stream;
        std::vector<VxImage*> images;
        const char* message;
    } rows[] = {
        {nullptr, {&empty}, "invalid file pointer"},
        {&stream, {}, "multipage GIF, no images!"},
        {&stream, {indexed.get(), nullptr}, "Bad image pointer"},
        {&stream, {indexed.get(), &empty}, "Empty image"},
        {&stream, {indexed.get(), &trueColour},
         "VxImageGIF::Encode cannot create animated GIFs with a true color frame. Use DecreaseBpp before"},
    };
    for (const auto& row : rows) {
        VxImageGIF writer;
        EXPECT_FALSE(writer.Encode(row.stream, row.images.data(), static_cast<std::int32_t>(row.images.size())));
        EXPECT_STREQ(writer.LastError(), row.message);
    }
}

// Odd paths of the walk: each file decoded at `frame`, whose 2 x 2 indices (top row first) show.
TEST(VxImageGIFWalk, HandBuiltBlocks)
{
    const Bytes frame = SmallFrame(), trailer = {';'}, screen = Screen(2, 2, 2);
    const Bytes emptyFrame = Joined({',', 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 255, 60, 30, 195}, kNoPixels);
    const struct {
        const char* name;
        Bytes file;
        int frames, frame;
        const char* indices; // null: refused
    } rows[] = {
        {"GIF87a and no trailer",
         Joined({'G', 'I', 'F', '8', '7', 'a', 2, 0, 2, 0, 0x81, 0, 0, 0, 0, 0, 255, 255, 255, 9, 9, 9, 1, 1, 1},
                frame),
         1, 0, "1230"},
        {"junk between blocks", Joined(Joined(Joined(screen, frame), {'x', 'y', 0}), Joined(frame, trailer)), 2, 1,
         "1230"},
        {"frame outside the screen", Joined(Joined(Joined(screen, SmallFrame(1, 0)), frame), trailer), 1, 0, "1230"},
        {"huge frame in a tiny screen",
         Joined(Joined(Screen(1, 1, 2), Joined(Descriptor(0, 0, 65535, 65535), kPixel1)), trailer), 0, 0, nullptr},
        {"control block of 5 bytes ends the walk",
         Joined(Joined(Joined(screen, frame), Control(0, 5)), Joined(frame, trailer)), 1, 0, "1230"},
        {"empty frame whose table the next one widens",
         Joined(Joined(Joined(screen, emptyFrame), frame), trailer), 2, 1, "1230"},
        {"no colour table: greys", Joined(Joined(Screen(2, 2, 0), frame), trailer), 1, 0, "1230"},
        {"zero screen takes the frame's size", Joined(Joined(Screen(0, 0, 2), frame), trailer), 1, 0, "1230"},
        {"not a GIF", Bytes{'G', 'I', 'F', '9', '9', 'a', 2, 0, 2, 0, 0, 0, 0}, 0, 0, nullptr},
        // Code 7 lies beyond the next free code (6): the pixel before it is repeated, the frame
        // still shows and the next frame is found again.
        {"code too high",
         Joined(Joined(Joined(screen, Descriptor(0, 0, 2, 2)), kCodeTooHigh), Joined(frame, trailer)), 2, 0, "1112"},
        // Data cut in the middle: the rows decoded are kept, the rest is transparent or index 0.
        {"data cut short", Joined(Joined(screen, Descriptor(0, 0, 2, 2)), {2, 1, 0x0C}), 1, 0, "1000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto d = Decode(row.file, row.frame);
        EXPECT_EQ(d.image->FrameCount(), row.frames);
        ASSERT_EQ(d.ok, row.indices != nullptr);
        std::string indices;
        for (int i = 0; d.ok && i < 4; ++i)
            indices += std::to_string(d.image->PixelIndex(i % 2, 1 - i / 2));
        EXPECT_EQ(indices, d.ok ? row.indices : "");
        EXPECT_TRUE(!d.ok || d.image->Width() == 2);
    }
}

// A frame past the last is refused with the count known; no loop block means one play. (The
// size alone: CodecOracle.SizeAlone; the count through the dispatch: IcoDirectory.)
TEST(VxImageGIFDecode, FrameRangeLoopsAndCancel)
{
    const Bytes file = Joined(Joined(Joined(Screen(5, 3, 2), SmallFrame()), SmallFrame(3, 1)), {';'});
    EXPECT_EQ(Decode(file).image->LoopCount(), 1);
    const auto third = Decode(file, 2);
    EXPECT_TRUE(!third.ok && third.image->FrameCount() == 2);
    EXPECT_FALSE(Decode(file, -1).ok || Decode(file, 0, false, 1).ok); // no frame -1; cancelled
}

TEST(VxImageGIFHostile, TruncationAndBitFlipsNeverCrash)
{
    std::vector<std::unique_ptr<VxImage>> pictures;
    for (int i = 0; i < 3; ++i)
        pictures.push_back(IndexedImage(12 - i, 9 - i, 8, i));
    VxImageGIF writer;
    const Bytes file = EncodeFrames({pictures[0].get(), pictures[1].get(), pictures[2].get()}, writer);
    // Cuts inside the frames show what came before them; refusals here carry no message.
    const DamageSweep sweep{.flips = 1500, .mustFail = 13, .messages = false};
    ExpectSurvivesDamage<GifWithFrames>(file, sweep, [](GifWithFrames& gif) { gif.SetDecodeAllFrames(true); });
    ExpectSurvivesDamage<GifWithFrames>(file, sweep, [](GifWithFrames& gif) { gif.Info().frame = 2; });
}

TEST(VxImageGIFHostile, EndlessEmptyFramesAndExtensionsEndQuickly)
{
    // 200,000 one-pixel frames in a 4000 x 4000 screen, each with a control block.
    Bytes file = Screen(4000, 4000, 2);
    const Bytes frame = Joined(Control(1), Joined(Descriptor(7, 7, 1, 1), kPixel1));
    for (int i = 0; i < 200000; ++i)
        file.insert(file.end(), frame.begin(), frame.end());
    const auto d = Decode(file, 199999);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.image->FrameCount(), 200000);
    // Asking for every composite of such a file stops at the memory limit instead.
    EXPECT_FALSE(Decode(file, 199999, true).ok);
}

} // namespace
