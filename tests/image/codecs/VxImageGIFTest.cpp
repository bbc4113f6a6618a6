// VxImageGIF: frames and composites compared with ImageMagick on files it made (depths,
// interlace, local tables, transparency, every disposal method); our files read back by
// ImageMagick and by us for each coder; hand-built blocks for the walk's odd paths; hostile
// input (truncation, bit flips, oversized frames, endless frames).
#include "image/codecs/VxImageGIF.h"

#include "image/VxStream.h"
#include "tests/support/PixelOracle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vx::test;
namespace fs = std::filesystem;

constexpr std::uint32_t kGifSlot = 2; // codecOptions index of type 2

// The decoder's stored composites, which only the image itself sees.
class GifWithFrames : public VxImageGIF {
public:
    const VxImage* StoredFrame(int n) const { return frames && n < info.frameCount ? frames[n] : nullptr; }
};

struct Decoded {
    bool ok = false;
    std::unique_ptr<GifWithFrames> image = std::make_unique<GifWithFrames>();
};

Decoded DecodeBytes(Bytes bytes, int frame = 0, bool all = false, int escape = 0)
{
    Decoded d;
    d.image->Info().frame = frame;
    d.image->Info().escape = escape;
    d.image->SetDecodeAllFrames(all);
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    d.ok = d.image->Decode(&stream);
    return d;
}

Bytes EncodeBytes(VxImageGIF& image)
{
    VxMemStream stream;
    stream.Open();
    EXPECT_TRUE(image.Encode(&stream)) << image.LastError();
    const std::uint8_t* data = stream.GetBuffer(false);
    return Bytes(data, data + stream.Size());
}

// Pixels that differ from ImageMagick's RGBA picture: where it sees transparency we must
// show our transparent index, elsewhere the same colour.
int CountMismatches(const VxImage& ours, const Picture& theirs)
{
    if (ours.Width() != theirs.width || ours.Height() != theirs.height || theirs.channels != 4)
        return -1;
    const Picture colours = PictureOf(ours, 3);
    int mismatches = 0;
    for (int y = 0; y < theirs.height; ++y) {
        for (int x = 0; x < theirs.width; ++x) {
            const std::uint8_t* t = theirs.At(x, y);
            const std::uint8_t* o = colours.At(x, y);
            const bool clear = ours.BitsPerPixel() <= 8
                                   ? ours.PixelIndex(x, ours.Height() - 1 - y) == ours.TransparentIndex()
                                   : ours.IsTransparent() && o[0] == ours.TransparentColour().rgbRed &&
                                         o[1] == ours.TransparentColour().rgbGreen &&
                                         o[2] == ours.TransparentColour().rgbBlue;
            if (t[3] == 0 ? !clear : std::memcmp(o, t, 3) != 0)
                ++mismatches;
        }
    }
    return mismatches;
}

// An indexed picture with a pattern chosen by `kind`: 0 noise, 1 flat, 2 long runs, 3 stripes.
std::unique_ptr<VxImageGIF> MakeIndexed(int width, int height, int depth, int kind)
{
    auto picture = std::make_unique<VxImageGIF>();
    VxImageGIF& image = *picture;
    image.Create(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), static_cast<std::uint32_t>(depth), 2);
    const int colours = 1 << depth;
    for (int i = 0; i < colours; ++i)
        image.SetPaletteEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(255 - i),
                              static_cast<std::uint8_t>(i * 91));
    std::uint32_t state = 11;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int value = kind == 0 ? static_cast<int>(state >> 24) : kind == 1 ? 3 : kind == 2 ? (x + y * width) / 700 : x / 3 + y;
            image.SetPixelIndex(x, y, static_cast<std::uint8_t>(value % colours));
        }
    }
    return picture;
}

bool SameIndices(const VxImage& a, const VxImage& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.PixelIndex(x, y) != b.PixelIndex(x, y))
                return false;
    return true;
}

// ---- Hand-built files -----------------------------------------------------------------------

Bytes Screen(int width, int height, int tableBits)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    b = Joined(b, LittleEndian(static_cast<std::uint64_t>(width), 2));
    b = Joined(b, LittleEndian(static_cast<std::uint64_t>(height), 2));
    b.push_back(tableBits ? static_cast<std::uint8_t>(0x80 | (tableBits - 1)) : 0);
    b.push_back(0);
    b.push_back(0);
    for (int i = 0; i < (tableBits ? 1 << tableBits : 0); ++i) {
        b.push_back(static_cast<std::uint8_t>(i * 60));
        b.push_back(static_cast<std::uint8_t>(i * 30));
        b.push_back(static_cast<std::uint8_t>(255 - i * 60));
    }
    return b;
}

Bytes Descriptor(int left, int top, int width, int height)
{
    Bytes b = {','};
    for (int v : {left, top, width, height})
        b = Joined(b, LittleEndian(static_cast<std::uint64_t>(v), 2));
    b.push_back(0);
    return b;
}

// Codes for code size 2 packed into one sub-block, then the terminator. The width grows as
// a decoder's table does: one entry per code after the first following a clear.
Bytes Codes(const std::vector<int>& codes)
{
    Bytes data;
    std::uint32_t bits = 0;
    int count = 0, width = 3, nextFree = 6;
    bool afterClear = true;
    for (int code : codes) {
        bits |= static_cast<std::uint32_t>(code) << count;
        count += width;
        while (count >= 8) {
            data.push_back(static_cast<std::uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
        if (code == 4) {
            width = 3;
            nextFree = 6;
            afterClear = true;
        } else if (afterClear) {
            afterClear = false;
        } else if (++nextFree == 1 << width && width < 12) {
            ++width;
        }
    }
    if (count > 0)
        data.push_back(static_cast<std::uint8_t>(bits));
    Bytes b = {2, static_cast<std::uint8_t>(data.size())};
    b = Joined(b, data);
    b.push_back(0);
    return b;
}

// A 2 x 2 frame of pixels 1, 2, 3, 0 (clear, literals, end).
Bytes SmallFrame(int left = 0, int top = 0)
{
    return Joined(Descriptor(left, top, 2, 2), Codes({4, 1, 2, 3, 0, 5}));
}

Bytes Control(int disposal, int transparent, int length = 4)
{
    Bytes b = {'!', 0xF9, static_cast<std::uint8_t>(length),
               static_cast<std::uint8_t>((transparent >= 0 ? 1 : 0) | disposal << 2), 5, 0,
               static_cast<std::uint8_t>(transparent < 0 ? 0 : transparent)};
    for (int i = 4; i < length; ++i)
        b.push_back(0);
    b.push_back(0);
    return b;
}

// ---- Oracle: ImageMagick's files --------------------------------------------------------------

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
    {"InterlacedHeight4", "-seed 4 -size 9x4 plasma:fractal -colors 20 -interlace GIF"},
    {"InterlacedHeight5", "-seed 4 -size 9x5 plasma:fractal -colors 20 -interlace GIF"},
    {"Transparent", "-size 20x12 xc:red -fill none -draw 'rectangle 3,3 9,8' -fill blue -draw 'point 15,5'"},
    // Frames of other sizes and places, disposed of in each of the four ways.
    {"DisposeNone", "-dispose None -delay 7 -size 10x9 xc:red -page +2+3 -size 4x4 xc:blue -page +5+5 -size 3x3 xc:lime"},
    {"DisposeKeep", "-dispose Previous -delay 7 -size 10x9 xc:red -dispose None -page +2+3 -size 4x4 xc:blue "
                    "-page +5+4 -size 3x3 xc:lime"},
    {"DisposeBackground", "-dispose Background -size 10x9 xc:none -fill red -draw 'rectangle 0,0 5,5' "
                          "-page +2+3 -size 4x4 xc:blue -page +5+5 -size 3x3 xc:lime"},
    {"DisposePrevious", "-size 10x9 xc:red -dispose Previous -page +2+3 -size 4x4 xc:blue "
                        "-page +5+5 -size 3x3 xc:lime -page +1+1 -size 2x2 xc:yellow"},
    // Frames whose colours differ, so each gets a table of its own.
    {"LocalTables", "-seed 5 -size 16x16 plasma:fractal -colors 40 ( -size 8x8 gradient:yellow-navy -colors 33 "
                    "-repage +4+4 ) ( -size 16x4 gradient:white-green -colors 20 -repage +0+9 )"},
};

class VxImageGIFMagick : public testing::TestWithParam<MagickCase> {};

TEST_P(VxImageGIFMagick, EveryFrameCompositeMatchesImageMagickCoalesce)
{
    REQUIRE_TOOLS("convert identify");
    ScratchDir dir;
    const fs::path file = dir / "picture.gif";
    const fs::path coalesced = dir / "coalesced.gif";
    std::string command;
    for (char c : std::string(GetParam().arguments))
        command += c == '(' ? std::string("\\(") : c == ')' ? std::string("\\)") : std::string(1, c);
    RunTool("convert " + command + " " + Quoted(file));
    RunTool("convert " + Quoted(file) + " -coalesce " + Quoted(coalesced));
    const Bytes bytes = ReadFileBytes(file);

    const Decoded first = DecodeBytes(bytes);
    ASSERT_TRUE(first.ok);
    const int frames = first.image->FrameCount();
    for (int n = 0; n < frames; ++n) {
        const Decoded d = DecodeBytes(bytes, n);
        ASSERT_TRUE(d.ok) << n;
        EXPECT_EQ(CountMismatches(*d.image, ReadWithMagick(coalesced, n, true)), 0) << "frame " << n;
    }
    // Storing every composite gives the same pictures.
    const Decoded all = DecodeBytes(bytes, frames - 1, true);
    ASSERT_TRUE(all.ok);
    for (int n = 0; n < frames; ++n) {
        const VxImage* stored = all.image->StoredFrame(n);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(CountMismatches(*stored, ReadWithMagick(coalesced, n, true)), 0) << n;
    }
}

// ---- Our files: each coder, read back by us and by ImageMagick -------------------------------

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
    {"Runs4", 640, 50, 4, 2},
};

class VxImageGIFCoder : public testing::TestWithParam<std::tuple<CoderCase, int>> {};

TEST_P(VxImageGIFCoder, RoundTripsThroughUsAndImageMagick)
{
    const auto& [c, option] = GetParam();
    std::unique_ptr<VxImageGIF> picture = MakeIndexed(c.width, c.height, c.depth, c.kind);
    picture->Info().codecOptions[kGifSlot] = static_cast<std::uint32_t>(option);
    const Bytes bytes = EncodeBytes(*picture);
    const Decoded back = DecodeBytes(bytes);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.image->BitsPerPixel(), c.depth);
    EXPECT_TRUE(SameIndices(*back.image, *picture));

    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    WriteFileBytes(dir / "ours.gif", bytes);
    EXPECT_EQ(CountDiffering(ReadWithMagick(dir / "ours.gif"), PictureOf(*picture)), 0);
}

std::string CoderCaseName(const testing::TestParamInfo<std::tuple<CoderCase, int>>& info)
{
    static const char* const kCoders[] = {"Lzw", "Plain", "Runs"};
    return std::string(std::get<0>(info.param).name) + kCoders[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Pictures, VxImageGIFCoder, testing::Combine(testing::ValuesIn(kCoderCases), testing::Values(0, 1, 2)),
                         CoderCaseName);

TEST(VxImageGIFEncode, AnimationKeepsFramesDelaysLoopsAndComment)
{
    std::vector<std::unique_ptr<VxImageGIF>> pictures;
    std::vector<VxImage*> list;
    for (int i = 0; i < 3; ++i) {
        pictures.push_back(MakeIndexed(30 - 5 * i, 20 - 3 * i, i == 1 ? 4 : 8, i));
        pictures.back()->Info().frameDelay = static_cast<std::uint32_t>(10 + 5 * i);
        pictures.back()->SetOffset(i * 2, i);
        pictures.back()->SetGifDisposal(1);
        list.push_back(pictures.back().get());
    }
    VxImageGIF writer;
    writer.SetLoopCount(4);
    writer.SetComment("made by the test");
    VxMemStream stream;
    stream.Open();
    ASSERT_TRUE(writer.Encode(&stream, list.data(), 3, true, true)) << writer.LastError();
    const Bytes bytes(stream.GetBuffer(false), stream.GetBuffer(false) + stream.Size());

    const Decoded back = DecodeBytes(bytes, 2);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.image->FrameCount(), 3);
    EXPECT_EQ(back.image->LoopCount(), 4);
    EXPECT_STREQ(back.image->Comment(), "made by the test");
    EXPECT_EQ(back.image->Info().frameDelay, 20u);

    REQUIRE_TOOLS("convert identify");
    ScratchDir dir;
    WriteFileBytes(dir / "anim.gif", bytes);
    RunTool("identify -format '%T %X%Y %w,' " + Quoted(dir / "anim.gif") + " > " + Quoted(dir / "facts.txt"));
    const Bytes facts = ReadFileBytes(dir / "facts.txt");
    EXPECT_EQ(std::string(facts.begin(), facts.end()), "10 +0+0 30,15 +2+1 25,20 +4+2 20,");
    RunTool("identify -verbose " + Quoted(dir / "anim.gif") + " | grep -c 'Iterations: 4' > " + Quoted(dir / "loops.txt"));
    const Bytes loops = ReadFileBytes(dir / "loops.txt");
    EXPECT_EQ(std::string(loops.begin(), loops.end()), "3\n"); // ImageMagick counts plays too
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(CountDiffering(ReadWithMagick(dir / "anim.gif", i), PictureOf(*pictures[static_cast<std::size_t>(i)])), 0) << i;
}

TEST(VxImageGIFEncode, TrueColourIsWrittenAsCellsAndAssembledBack)
{
    VxImageGIF picture;
    ASSERT_TRUE(picture.Create(35, 16, 24, 2));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 35; ++x)
            picture.SetPixelColour(x, y, RGBQUAD{static_cast<std::uint8_t>(x * 7), static_cast<std::uint8_t>(y * 15),
                                                 static_cast<std::uint8_t>(x * y), 0});
    const Bytes bytes = EncodeBytes(picture);
    const Decoded back = DecodeBytes(bytes);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.image->FrameCount(), 6); // 17 + 17 + 1 columns by 15 + 1 rows
    EXPECT_EQ(back.image->BitsPerPixel(), 24);
    EXPECT_EQ(CountDiffering(PictureOf(*back.image), PictureOf(picture)), 0);

    REQUIRE_TOOLS("convert");
    ScratchDir dir;
    WriteFileBytes(dir / "cells.gif", bytes);
    RunTool("convert " + Quoted(dir / "cells.gif") + " -layers flatten " + Quoted(dir / "flat.ppm"));
    EXPECT_EQ(CountDiffering(ReadPnm(dir / "flat.ppm"), PictureOf(picture)), 0);
}

TEST(VxImageGIFEncode, AnimationRefusalsLeaveTheirMessage)
{
    std::unique_ptr<VxImageGIF> indexed = MakeIndexed(4, 4, 8, 0);
    VxImage trueColour(4, 4, 24, 2);
    VxImage empty(2);
    VxImage* withTrueColour[] = {indexed.get(), &trueColour};
    VxImage* withEmpty[] = {indexed.get(), &empty};
    VxImage* withNull[] = {indexed.get(), nullptr};
    VxMemStream stream;
    stream.Open();
    struct Row {
        VxStream* stream;
        VxImage* const* images;
        int count;
        const char* message;
    } rows[] = {
        {nullptr, withEmpty, 1, "invalid file pointer"},
        {&stream, withEmpty, 0, "multipage GIF, no images!"},
        {&stream, withNull, 2, "Bad image pointer"},
        {&stream, withEmpty, 2, "Empty image"},
        {&stream, withTrueColour, 2,
         "VxImageGIF::Encode cannot create animated GIFs with a true color frame. Use DecreaseBpp before"},
    };
    for (const Row& row : rows) {
        VxImageGIF writer;
        EXPECT_FALSE(writer.Encode(row.stream, row.images, row.count));
        EXPECT_STREQ(writer.LastError(), row.message);
    }
}

// ---- The walk's odd paths, on hand-built files ---------------------------------------------

TEST(VxImageGIFWalk, HandBuiltBlocks)
{
    const Bytes frame = SmallFrame();
    const Bytes trailer = {';'};
    struct Row {
        const char* name;
        Bytes file;
        bool ok;
        int frames;
    } rows[] = {
        {"plain", Joined(Joined(Screen(2, 2, 2), frame), trailer), true, 1},
        {"GIF87a and no trailer", Joined({'G', 'I', 'F', '8', '7', 'a', 2, 0, 2, 0, 0x81, 0, 0, 0, 0, 0, 255, 255, 255, 9, 9, 9, 1, 1, 1}, frame), true, 1},
        {"junk between blocks", Joined(Joined(Joined(Screen(2, 2, 2), frame), {'x', 'y', 0}), Joined(frame, trailer)), true, 2},
        {"frame outside the screen", Joined(Joined(Joined(Screen(2, 2, 2), SmallFrame(1, 0)), frame), trailer), true, 1},
        {"huge frame in a tiny screen", Joined(Joined(Screen(1, 1, 2), Joined(Descriptor(0, 0, 65535, 65535), Codes({4, 1, 5}))), trailer), false, 0},
        {"control block of 5 bytes ends the walk", Joined(Joined(Joined(Screen(2, 2, 2), frame), Control(0, -1, 5)), Joined(frame, trailer)), true, 1},
        {"empty frame whose table the next one widens", Joined(Joined(Joined(Screen(2, 2, 2), Joined({',', 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 255, 60, 30, 195}, Codes({4, 5}))), frame), trailer), true, 2},
        {"zero screen takes the frame's size", Joined(Joined(Screen(0, 0, 2), frame), trailer), true, 1},
        {"not a GIF", Bytes{'G', 'I', 'F', '9', '9', 'a', 2, 0, 2, 0, 0, 0, 0}, false, 0},
    };
    for (const Row& row : rows) {
        const Decoded d = DecodeBytes(row.file, row.frames > 1 ? row.frames - 1 : 0); // the last frame
        EXPECT_EQ(d.ok, row.ok) << row.name;
        EXPECT_EQ(d.image->FrameCount(), row.frames) << row.name;
        if (d.ok) {
            EXPECT_EQ(d.image->Width(), 2) << row.name;
            EXPECT_EQ(d.image->PixelIndex(0, 1), 1) << row.name; // top-left
            EXPECT_EQ(d.image->PixelIndex(1, 0), 0) << row.name; // bottom-right
        }
    }
}

TEST(VxImageGIFWalk, BadCodesAndTruncatedDataShowWhatCameBefore)
{
    // Code 7 lies beyond the next free code (6): the pixel before it is repeated, the frame
    // still shows and the next frame is found again.
    const Bytes damaged = Joined(Descriptor(0, 0, 2, 2), Codes({4, 1, 7, 2, 5}));
    Bytes file = Joined(Joined(Joined(Screen(2, 2, 2), damaged), SmallFrame()), {';'});
    Decoded d = DecodeBytes(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.image->FrameCount(), 2);
    EXPECT_EQ(d.image->PixelIndex(0, 1), 1);
    EXPECT_EQ(d.image->PixelIndex(1, 1), 1);

    // Data cut in the middle: the rows decoded are kept, the rest is transparent or index 0.
    file = Joined(Screen(2, 2, 2), Descriptor(0, 0, 2, 2));
    file = Joined(file, {2, 1, 0x0C});
    d = DecodeBytes(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.image->PixelIndex(0, 1), 1);
    EXPECT_EQ(d.image->PixelIndex(0, 0), 0);
}

TEST(VxImageGIFDecode, HeaderOnlyFrameRangeAndCancel)
{
    const Bytes file = Joined(Joined(Joined(Screen(5, 3, 2), SmallFrame()), SmallFrame(3, 1)), {';'});
    Decoded d = DecodeBytes(file, 0, false, -1);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.image->Width(), 5);
    EXPECT_EQ(d.image->Height(), 3);
    EXPECT_FALSE(d.image->IsValid());

    EXPECT_EQ(DecodeBytes(file).image->LoopCount(), 1); // no loop block: plays once

    d = DecodeBytes(file, 2);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.image->FrameCount(), 2);
    EXPECT_FALSE(DecodeBytes(file, -1).ok);
    EXPECT_FALSE(DecodeBytes(file, 0, false, 1).ok);

    // Through the dispatch the count arrives even when the frame asked for is not there.
    VxImage image;
    image.Info().frame = 5;
    Bytes bytes = file;
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    EXPECT_FALSE(image.Decode(&stream, kVxTypeGif));
    EXPECT_EQ(image.FrameCount(), 2);
}

// ---- Hostile input ----------------------------------------------------------------------------

TEST(VxImageGIFHostile, TruncationAndBitFlipsNeverCrash)
{
    std::vector<std::unique_ptr<VxImageGIF>> pictures;
    std::vector<VxImage*> list;
    for (int i = 0; i < 3; ++i) {
        pictures.push_back(MakeIndexed(12 - i, 9 - i, 8, i));
        list.push_back(pictures.back().get());
    }
    VxImageGIF writer;
    VxMemStream stream;
    stream.Open();
    ASSERT_TRUE(writer.Encode(&stream, list.data(), 3, true, true));
    const Bytes file(stream.GetBuffer(false), stream.GetBuffer(false) + stream.Size());
    for (std::size_t cut = 0; cut < file.size(); ++cut) {
        const Decoded d = DecodeBytes(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut)), 0, true);
        if (d.ok) {
            EXPECT_EQ(d.image->Width(), 12);
        }
    }
    std::uint32_t state = 99;
    for (int round = 0; round < 3000; ++round) {
        Bytes flipped = file;
        for (int i = 0; i < 1 + round % 4; ++i) {
            state = state * 1664525u + 1013904223u;
            flipped[(state >> 8) % flipped.size()] ^= static_cast<std::uint8_t>(1u << (state >> 29));
        }
        DecodeBytes(flipped, static_cast<int>(round % 3), round % 2 == 0);
    }
}

TEST(VxImageGIFHostile, EndlessEmptyFramesAndExtensionsEndQuickly)
{
    // 200,000 one-pixel frames in a 4000 x 4000 screen, each with a control block.
    Bytes file = Screen(4000, 4000, 2);
    const Bytes frame = Joined(Control(1, -1), Joined(Descriptor(7, 7, 1, 1), Codes({4, 1, 5})));
    for (int i = 0; i < 200000; ++i)
        file.insert(file.end(), frame.begin(), frame.end());
    Decoded d = DecodeBytes(file, 199999);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.image->FrameCount(), 200000);
    // Asking for every composite of such a file stops at the memory limit instead.
    d = DecodeBytes(file, 199999, true);
    EXPECT_FALSE(d.ok);
}

INSTANTIATE_TEST_SUITE_P(Files, VxImageGIFMagick, testing::ValuesIn(kMagickCases),
                         [](const testing::TestParamInfo<MagickCase>& info) { return std::string(info.param.name); });

} // namespace
