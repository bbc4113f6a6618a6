// VxImageGIF: the block walk, frame compositing and the writers. Pixel data goes through
// GifLzw. The walk reads one introducer byte at a time; after stray bytes it waits for a zero
// byte before it trusts an introducer again, which lets it step over junk between blocks.
#include "image/codecs/VxImageGIF.h"

#include "image/codecs/CodecSupport.h"
#include "image/codecs/GifLzw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

using vx::gif::GifInput;

namespace {

constexpr int kExtensionIntroducer = 0x21; // '!'
constexpr int kImageIntroducer = 0x2C;     // ','
constexpr int kTrailer = 0x3B;             // ';'
constexpr int kControlLabel = 0xF9;
constexpr int kCommentLabel = 0xFE;
constexpr int kApplicationLabel = 0xFF;
constexpr std::uint8_t kTableFlag = 0x80;
constexpr std::uint8_t kInterlacedFlag = 0x40;

constexpr const char* kWriteError = "Write Error in GIF file";

// The cells a 24-bit picture is cut into: 17 x 15 pixels need 255 palette entries, and entry 0
// stays free for the transparent colour.
constexpr int kCellWidth = 17;
constexpr int kCellHeight = 15;

// Several frames of a big screen can be kept in memory at once only up to this total.
constexpr std::uint64_t kAllFramesMemory = VXIMAGE_MAX_MEMORY;

struct ColourTable {
    std::uint32_t count = 0;
    std::uint8_t rgb[3 * 256] = {};
};

std::uint32_t DepthFor(std::uint32_t entries)
{
    return entries <= 2 ? 1 : entries <= 16 ? 4 : 8;
}

struct Descriptor {
    std::uint32_t left = 0, top = 0, width = 0, height = 0;
    std::uint8_t flags = 0;

    bool HasTable() const { return (flags & kTableFlag) != 0; }
    std::uint32_t TableEntries() const { return 2u << (flags & 7); }
};

// Copies a w x h block (top-down coordinates) between two images of the same depth.
void CopyBlock(const VxImage& from, std::int32_t fromX, std::int32_t fromY, VxImage& to, std::int32_t toX,
               std::int32_t toY, std::int32_t w, std::int32_t h)
{
    const std::uint32_t depth = from.BitsPerPixel();
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int32_t sourceRow = from.Height() - 1 - (fromY + y);
        const std::int32_t targetRow = to.Height() - 1 - (toY + y);
        if (depth >= 8) {
            const std::uint32_t bytes = depth / 8;
            std::memcpy(to.RowAddress(static_cast<std::uint32_t>(targetRow)) + toX * bytes,
                        from.RowAddress(static_cast<std::uint32_t>(sourceRow)) + fromX * bytes,
                        static_cast<std::size_t>(w) * bytes);
        } else {
            for (std::int32_t x = 0; x < w; ++x)
                to.SetPixelIndexUnchecked(toX + x, targetRow, from.PixelIndexUnchecked(fromX + x, sourceRow));
        }
    }
}

// Places decoded rows into a frame image, packing 1- and 4-bit pixels, in file order or in
// the four interlace passes (rows 0, 4, 2, 1 onwards in steps of 8, 8, 4, 2).
class FrameRows : public vx::gif::RowSink {
public:
    FrameRows(VxImage& image, bool interlaced) : m_image(image), m_height(image.Height()), m_interlaced(interlaced)
    {
    }

    int PutRow(std::uint8_t* pixels, std::uint32_t length) override
    {
        if (m_row >= m_height)
            return -1;
        const std::size_t bytes = Pack(pixels, length);
        std::memcpy(m_image.RowAddress(static_cast<std::uint32_t>(m_height - 1 - m_row)), pixels,
                    std::min<std::size_t>(bytes, m_image.RowStride()));
        Advance();
        return 0;
    }

private:
    std::size_t Pack(std::uint8_t* pixels, std::uint32_t length) const
    {
        switch (m_image.BitsPerPixel()) {
        case 1:
            for (std::uint32_t i = 0; i < length; i += 8) {
                std::uint8_t byte = 0;
                for (std::uint32_t j = 0; j < 8 && i + j < length; ++j)
                    byte = static_cast<std::uint8_t>(byte | (pixels[i + j] & 1) << (7 - j));
                pixels[i / 8] = byte;
            }
            return (length + 7) / 8;
        case 4:
            for (std::uint32_t i = 0; i < length; i += 2) {
                const std::uint8_t low = i + 1 < length ? pixels[i + 1] & 0x0F : 0;
                pixels[i / 2] = static_cast<std::uint8_t>((pixels[i] & 0x0F) << 4 | low);
            }
            return (length + 1) / 2;
        default:
            return length;
        }
    }

    void Advance()
    {
        static constexpr std::int32_t kStart[4] = {0, 4, 2, 1};
        static constexpr std::int32_t kStep[4] = {8, 8, 4, 2};
        if (!m_interlaced) {
            ++m_row;
            return;
        }
        m_row += kStep[m_pass];
        while (m_row >= m_height && m_pass < 3) {
            ++m_pass;
            m_row = kStart[m_pass];
        }
    }

    VxImage& m_image;
    std::int32_t m_height;
    bool m_interlaced;
    std::int32_t m_row = 0;
    int m_pass = 0;
};

// Reads sub-blocks up to and including the zero-length one.
void SkipSubBlocks(GifInput& input)
{
    for (int length = input.Byte(); length > 0; length = input.Byte())
        if (!input.Skip(length))
            return;
}

// Resynchronises after damaged data: from `position`, finds a ',' that is the first byte or
// follows a zero byte, and leaves the input on it.
bool SkipToNextImage(GifInput& input, std::int64_t position)
{
    if (!input.SeekTo(position))
        return false;
    int previous = 0;
    for (int byte = input.Byte(); byte >= 0; byte = input.Byte()) {
        if (byte == kImageIntroducer && previous == 0)
            return input.SeekTo(input.Position() - 1);
        previous = byte;
    }
    return false;
}

RGBQUAD TableColour(const ColourTable& table, std::uint32_t index)
{
    RGBQUAD colour{};
    if (index < table.count) {
        colour.rgbRed = table.rgb[3 * index];
        colour.rgbGreen = table.rgb[3 * index + 1];
        colour.rgbBlue = table.rgb[3 * index + 2];
    }
    return colour;
}

} // namespace

void VxImageGIF::SetComment(const char* text)
{
    std::memset(m_comment, 0, sizeof m_comment);
    if (text)
        std::strncpy(m_comment, text, sizeof m_comment - 1);
}

VxImageGIF::VxImageGIF() : VxImage(kVxTypeGif) {}

// ---- Reading -------------------------------------------------------------------------------

struct VxImageGIF::Decoder {
    VxImageGIF& image;
    GifInput input;
    std::uint32_t screenWidth = 0, screenHeight = 0;
    std::uint8_t backgroundIndex = 0;
    ColourTable global;
    vx::gif::LzwReader lzw;

    // Compositing state.
    std::unique_ptr<VxImage> composite;
    std::unique_ptr<VxImage> tiles; // the 24-bit picture of a tiled file
    std::unique_ptr<VxImage> saved; // what a frame with disposal 3 covers, to be put back
    Descriptor previous;            // the last frame shown, for its disposal
    std::uint8_t previousDisposal = 0;
    std::int32_t firstTransparent = -1;
    std::vector<std::unique_ptr<VxImage>> allFrames;
    std::uint64_t allFramesBytes = 0;
    RGBQUAD tileTransparent{};
    bool moreData = true; // false once a frame's data ran to the end of the file

    Decoder(VxImageGIF& owner, VxStream& stream) : image(owner), input(stream) {}

    bool ReadTable(ColourTable& table, std::uint32_t entries)
    {
        table.count = entries;
        return input.Read(table.rgb, 3 * entries);
    }

    bool ReadDescriptor(Descriptor& d)
    {
        std::uint8_t bytes[9];
        if (!input.Read(bytes, sizeof bytes))
            return false;
        d.left = image.Swap16(LoadU16LE(bytes));
        d.top = image.Swap16(LoadU16LE(bytes + 2));
        d.width = image.Swap16(LoadU16LE(bytes + 4));
        d.height = image.Swap16(LoadU16LE(bytes + 6));
        d.flags = bytes[8];
        return true;
    }

    bool Outside(const Descriptor& d) const
    {
        return d.left + d.width > screenWidth || d.top + d.height > screenHeight;
    }

    // Reads one extension after its '!'; false ends the walk.
    bool ReadExtension()
    {
        const int label = input.Byte();
        if (label < 0)
            return false;
        bool ok = true;
        if (label == kControlLabel) {
            // Anything but the standard 4 bytes means the file cannot be trusted further.
            std::uint8_t block[4];
            ok = input.Byte() == 4 && input.Read(block, 4);
            if (ok) {
                std::memcpy(image.m_control, block, 4);
                image.info.transparentIndex = (block[0] & 1) ? block[3] : -1;
                image.info.frameDelay = image.Swap16(LoadU16LE(block + 1));
                image.info.gifDisposal = static_cast<std::uint8_t>((block[0] >> 2) & 7);
            }
        } else if (label == kCommentLabel) {
            const int length = input.Byte();
            ok = length >= 0 && input.Read(reinterpret_cast<std::uint8_t*>(image.m_comment), length);
            image.m_comment[ok ? length : 0] = '\0';
        } else if (label == kApplicationLabel) {
            std::uint8_t identifier[11];
            ok = input.Byte() == 11 && input.Read(identifier, 11);
            const int length = ok ? input.Byte() : -1;
            std::uint8_t data[255];
            ok = length >= 0 && input.Read(data, length);
            // The NETSCAPE block counts repeats after the first play; 0 repeats for ever.
            if (ok && length > 2) {
                const int repeats = data[1] | data[2] << 8;
                image.m_loopCount = repeats == 0 ? 0 : repeats + 1;
            }
        }
        if (ok)
            SkipSubBlocks(input);
        return ok;
    }

    // After a frame's data: the input is left just after its terminator, or, when the codes
    // were damaged, on the next ',' found after a zero byte. False: nothing more to read.
    bool FinishFrameData(const vx::gif::LzwResult& result, std::int64_t dataStart)
    {
        if (result.badCodes > 0)
            return SkipToNextImage(input, dataStart);
        if (result.status == vx::gif::kEndOfData)
            return false;
        if (!result.terminatorRead)
            SkipSubBlocks(input);
        return true;
    }

    // Walks the blocks from the current position; `onFrame` is called for each ',' and says
    // whether to go on. Ends at ';', at the end of the data or when an extension is bad.
    template <class OnFrame>
    void Walk(OnFrame onFrame, bool honourEscape)
    {
        bool afterZero = true;
        for (;;) {
            if (honourEscape && image.info.escape > 0)
                FailWith("");
            const int byte = input.Byte();
            if (byte < 0)
                return;
            if (!afterZero && byte != 0)
                continue;
            if (byte == kExtensionIntroducer) {
                if (!ReadExtension())
                    return;
                continue;
            }
            if (byte == kTrailer)
                return;
            afterZero = byte == 0;
            if (byte == kImageIntroducer) {
                if (!onFrame())
                    return;
                afterZero = true;
            }
        }
    }

    // Skips a frame's data (after its local table); false when the file ended.
    bool SkipData()
    {
        const std::int64_t dataStart = input.Position();
        return FinishFrameData(lzw.Decode(input, nullptr, 0), dataStart);
    }

    bool SkipFrame(const Descriptor& d)
    {
        if (d.HasTable() && !input.Skip(3 * d.TableEntries()))
            return false;
        return SkipData();
    }

    std::int32_t CountFrames()
    {
        const std::int64_t start = input.Position();
        std::int32_t count = 0;
        Walk(
            [&] {
                Descriptor d;
                if (!ReadDescriptor(d))
                    return false;
                if (screenWidth == 0 && screenHeight == 0) {
                    screenWidth = d.width;
                    screenHeight = d.height;
                }
                if (!Outside(d))
                    ++count;
                return SkipFrame(d);
            },
            false);
        input.SeekTo(start);
        return count;
    }

    void ResetControl()
    {
        std::memset(image.m_control, 0, sizeof image.m_control);
        image.info.transparentIndex = -1;
        image.info.frameDelay = 0;
        image.info.gifDisposal = 0;
    }

    // A frame image of the descriptor's size holding its decoded pixels; the area the data
    // does not reach is transparent (or index 0).
    std::unique_ptr<VxImage> DecodeFrame(const Descriptor& d, const ColourTable* table)
    {
        std::unique_ptr<VxImage> frame = NewFrame(d.width, d.height, table);
        FrameRows rows(*frame, (d.flags & kInterlacedFlag) != 0);
        const std::int64_t dataStart = input.Position();
        const vx::gif::LzwResult result = lzw.Decode(input, &rows, d.width);
        // A damaged frame shows what was decoded up to the damage.
        moreData = FinishFrameData(result, dataStart);
        if (image.info.escape != 0)
            FailWith("");
        return frame;
    }

    // A frame image with the table's colours and the transparency in force, all transparent
    // (or index 0) until pixels arrive.
    std::unique_ptr<VxImage> NewFrame(std::uint32_t width, std::uint32_t height, const ColourTable* table)
    {
        const std::uint32_t depth = table ? DepthFor(table->count) : 8;
        auto frame = std::make_unique<VxImage>(kVxTypeGif);
        if (!frame->Create(width, height, depth, kVxTypeGif)) {
            image.SetLastError(frame->LastError());
            FailWith("");
        }
        if (table)
            frame->SetPalette(reinterpret_cast<const RGBTRIPLE*>(table->rgb), table->count);
        else
            frame->SetGreyPalette();
        // An index beyond the table cannot occur in the pixels: no transparency then.
        std::int32_t transparent = image.info.transparentIndex;
        if (transparent >= static_cast<std::int32_t>(frame->ColourCount()))
            transparent = -1;
        frame->Info().transparentIndex = transparent;
        frame->Clear(transparent >= 0 ? static_cast<std::uint8_t>(transparent) : 0);
        return frame;
    }

    std::unique_ptr<VxImage> BlankLike(const VxImage& model, std::uint32_t width, std::uint32_t height,
                                       std::uint8_t fill)
    {
        auto blank = std::make_unique<VxImage>(kVxTypeGif);
        if (!blank->Create(width, height, model.BitsPerPixel(), kVxTypeGif)) {
            image.SetLastError(blank->LastError());
            FailWith("");
        }
        blank->SetPalette(model.PaletteAddress(), model.ColourCount());
        blank->Info().transparentIndex = model.TransparentIndex();
        blank->Clear(fill);
        return blank;
    }

    // The screen as the first frame leaves it: the frame over a background of its transparent
    // index (or the screen's background colour when it has none).
    void StartComposite(const Descriptor& d, std::unique_ptr<VxImage> frame, std::uint8_t disposal)
    {
        firstTransparent = frame->TransparentIndex();
        std::uint8_t fill = firstTransparent >= 0 ? static_cast<std::uint8_t>(firstTransparent) : backgroundIndex;
        if (fill >= frame->ColourCount())
            fill = 0;
        if (disposal == 3 && d.width != 0 && d.height != 0)
            saved = BlankLike(*frame, d.width, d.height, fill);
        if (d.left == 0 && d.top == 0 && d.width == screenWidth && d.height == screenHeight) {
            composite = std::move(frame);
            return;
        }
        composite = BlankLike(*frame, screenWidth, screenHeight, fill);
        Mix(*frame, d);
    }

    // Makes the composite able to show a frame with another palette: a deeper table that
    // starts with the same colours widens it, any other change turns it into 24 bits.
    void AdaptComposite(const VxImage& frame, std::uint32_t tableEntries)
    {
        if (composite->BitsPerPixel() == 24)
            return;
        const std::uint32_t entries = std::min(tableEntries, frame.ColourCount());
        const std::uint32_t shared = std::min(entries, composite->ColourCount());
        const bool samePrefix = std::memcmp(frame.PaletteAddress(), composite->PaletteAddress(), 4 * shared) == 0;
        if (samePrefix && entries <= composite->ColourCount())
            return;
        if (samePrefix) {
            if (!composite->IncreaseBpp(frame.BitsPerPixel()))
                FailWith("can't allocate memory");
            composite->SetPalette(frame.PaletteAddress(), frame.ColourCount());
            return;
        }
        if (!composite->IncreaseBpp(24))
            FailWith("can't allocate memory");
        composite->Info().transparentIndex = firstTransparent >= 0 ? 0 : -1;
    }

    // Copies the frame's pixels onto the composite at its place, except its transparent ones.
    void Mix(const VxImage& frame, const Descriptor& d)
    {
        const std::int32_t transparent = frame.TransparentIndex();
        const std::int32_t w = std::min({frame.Width(), static_cast<std::int32_t>(d.width),
                                         composite->Width() - static_cast<std::int32_t>(d.left)});
        const std::int32_t h = std::min({frame.Height(), static_cast<std::int32_t>(d.height),
                                         composite->Height() - static_cast<std::int32_t>(d.top)});
        const bool trueColour = composite->BitsPerPixel() == 24;
        for (std::int32_t y = 0; y < h; ++y) {
            const std::int32_t sourceRow = frame.Height() - 1 - y;
            const std::int32_t targetRow = composite->Height() - 1 - (static_cast<std::int32_t>(d.top) + y);
            for (std::int32_t x = 0; x < w; ++x) {
                const std::uint8_t index = frame.PixelIndexUnchecked(x, sourceRow);
                if (index == transparent)
                    continue;
                const std::int32_t target = static_cast<std::int32_t>(d.left) + x;
                if (trueColour)
                    composite->SetPixelColourUnchecked(target, targetRow, frame.PaletteEntry(index), false);
                else
                    composite->SetPixelIndexUnchecked(target, targetRow, index);
            }
        }
    }

    // Disposal of the frame shown before: 2 clears its area to the background (transparent
    // when the first frame was), 3 puts back the indices it covered. Transparency stays in
    // the transparent index as for every other frame: no alpha plane is made, which would
    // only repeat the index and make the pictures of one file differ in kind.
    void Dispose()
    {
        if (previousDisposal == 3 && saved) {
            CopyBlock(*saved, 0, 0, *composite, static_cast<std::int32_t>(previous.left),
                      static_cast<std::int32_t>(previous.top), saved->Width(), saved->Height());
        } else if (previousDisposal == 2) {
            const bool trueColour = composite->BitsPerPixel() == 24;
            RGBQUAD colour = TableColour(global, backgroundIndex);
            std::uint8_t index = backgroundIndex < composite->ColourCount() ? backgroundIndex : 0;
            if (firstTransparent >= 0) {
                index = static_cast<std::uint8_t>(firstTransparent);
                colour = composite->TransparentColour();
            }
            for (std::uint32_t y = 0; y < previous.height; ++y) {
                const auto row = static_cast<std::int32_t>(screenHeight - 1 - (previous.top + y));
                for (std::uint32_t x = previous.left; x < previous.left + previous.width; ++x) {
                    if (trueColour)
                        composite->SetPixelColourUnchecked(static_cast<std::int32_t>(x), row, colour, false);
                    else
                        composite->SetPixelIndexUnchecked(static_cast<std::int32_t>(x), row, index);
                }
            }
        }
        saved.reset();
    }

    void SaveUnder(const Descriptor& d)
    {
        saved = std::make_unique<VxImage>(kVxTypeGif);
        if (!saved->Create(d.width, d.height, composite->BitsPerPixel(), kVxTypeGif))
            FailWith("can't allocate memory");
        CopyBlock(*composite, static_cast<std::int32_t>(d.left), static_cast<std::int32_t>(d.top), *saved, 0, 0,
                  static_cast<std::int32_t>(d.width), static_cast<std::int32_t>(d.height));
    }

    void PlaceTile(const VxImage& frame, const Descriptor& d)
    {
        tileTransparent = frame.PaletteEntry(image.m_control[3]);
        if (!tiles) {
            tiles = std::make_unique<VxImage>(screenWidth, screenHeight, 24, kVxTypeGif);
            if (!tiles->IsValid()) {
                image.SetLastError(tiles->LastError());
                FailWith("");
            }
            tiles->Clear(0);
        }
        for (std::int32_t y = 0; y < frame.Height(); ++y)
            for (std::int32_t x = 0; x < frame.Width(); ++x)
                tiles->SetPixelColourUnchecked(static_cast<std::int32_t>(d.left) + x,
                                               tiles->Height() - 1 - (static_cast<std::int32_t>(d.top) + y),
                                               frame.PixelColourUnchecked(x, frame.Height() - 1 - y, false), false);
    }

    void KeepComposite(std::int32_t number)
    {
        // Each stored frame costs its object and allocation overhead besides its pixels.
        const std::uint64_t bytes = composite->DibSize() + sizeof(VxImage) + 64;
        if (allFramesBytes + bytes > kAllFramesMemory)
            FailWith("VXIMAGE_MAX_MEMORY exceeded");
        allFramesBytes += bytes;
        auto copy = std::make_unique<VxImage>(*composite, true, false, true);
        if (!copy->IsValid())
            FailWith("can't allocate memory");
        copy->SetDecodeAllFrames(false);
        copy->Info().frameDelay = image.info.frameDelay;
        copy->Info().gifDisposal = image.info.gifDisposal;
        copy->Info().frame = number;
        allFrames.resize(static_cast<std::size_t>(number) + 1);
        allFrames[static_cast<std::size_t>(number)] = std::move(copy);
    }

    bool Run();
};

bool VxImageGIF::Decoder::Run()
{
    std::uint8_t screen[13];
    if (!input.Read(screen, sizeof screen) || std::memcmp(screen, "GIF8", 4) != 0)
        return false;
    screenWidth = image.Swap16(LoadU16LE(screen + 6));
    screenHeight = image.Swap16(LoadU16LE(screen + 8));
    if (image.info.escape == -1) {
        image.header.biWidth = static_cast<LONG>(screenWidth);
        image.header.biHeight = static_cast<LONG>(screenHeight);
        image.info.type = kVxTypeGif;
        return true;
    }
    backgroundIndex = screen[11];
    const bool hasGlobal = (screen[10] & kTableFlag) != 0;
    if (hasGlobal && !ReadTable(global, 2u << (screen[10] & 7)))
        return false;
    int tileCounter = hasGlobal ? 0 : 1;
    // Without a NETSCAPE block the animation plays once.
    image.m_loopCount = 1;

    // Frames of an earlier decode go before the count describes the new file.
    image.DestroyFrames();
    const std::int32_t frameCount = CountFrames();
    image.info.frameCount = frameCount;
    std::int32_t wanted = image.info.frame;
    if (wanted < 0 || wanted >= frameCount)
        return false;
    if (frameCount == 1)
        tileCounter = 0;
    ResetControl();

    std::int32_t number = 0;
    const bool keepAll = image.info.decodeAllFrames;
    Walk(
        [&] {
            Descriptor d;
            if (!ReadDescriptor(d))
                return false;
            if (Outside(d))
                return SkipFrame(d);
            if (number == 0 && d.width != screenWidth && d.height != screenHeight)
                ++tileCounter;
            ColourTable local;
            if (d.HasTable() && !ReadTable(local, d.TableEntries()))
                return false;
            const ColourTable* table = d.HasTable() ? &local : (hasGlobal ? &global : nullptr);
            const std::uint8_t disposal = image.info.gifDisposal;
            if (d.width == 0 || d.height == 0) {
                // Nothing to show; it still takes its number.
                if (!SkipData())
                    return false;
                if (number == 0 && tileCounter < 2)
                    StartComposite(d, NewFrame(1, 1, table), disposal);
                previous = d;
                previousDisposal = disposal;
                if (keepAll && tileCounter < 2 && composite)
                    KeepComposite(number);
                return number++ != wanted;
            }
            std::unique_ptr<VxImage> frame = DecodeFrame(d, table);
            if (tileCounter >= 2) {
                wanted = frameCount - 1;
                PlaceTile(*frame, d);
            } else if (number == 0) {
                StartComposite(d, std::move(frame), disposal);
            } else {
                Dispose();
                AdaptComposite(*frame, table ? table->count : 256);
                if (disposal == 3)
                    SaveUnder(d);
                Mix(*frame, d);
            }
            previous = d;
            previousDisposal = disposal;
            if (keepAll && tileCounter < 2)
                KeepComposite(number);
            return moreData && number++ != wanted;
        },
        true);

    if (tiles) {
        tiles->Info().transparentIndex = -1;
        if (image.m_control[0] & 1) {
            tiles->SetTransparentColour(tileTransparent);
            tiles->Info().transparentIndex = 0;
        }
        composite = std::move(tiles);
    }
    if (!composite)
        return false; // no frame could be shown
    // The picture takes the walk's record (caller's settings, frame count, delay, disposal)
    // with its own buffers and transparency.
    const ImageInfo walked = image.info;
    if (!image.TakeOver(*composite, false))
        return false;
    const ImageInfo picture = image.info;
    image.info = walked;
    image.info.rowStride = picture.rowStride;
    image.info.bits = picture.bits;
    image.info.aliasOf = nullptr;
    image.info.transparentIndex = picture.transparentIndex;
    image.info.transparentColour = picture.transparentColour;
    image.info.type = kVxTypeGif;
    image.info.xOffset = image.info.yOffset = 0;
    image.info.nearestValid = false;
    if (keepAll && !allFrames.empty()) {
        image.info.frameCount = frameCount;
        image.frames = new VxImage*[static_cast<std::size_t>(frameCount)]();
        for (std::size_t i = 0; i < allFrames.size() && i < static_cast<std::size_t>(frameCount); ++i)
            image.frames[i] = allFrames[i].release();
    }
    return true;
}

bool VxImageGIF::Decode(VxStream* stream)
{
    if (!stream)
        return false;
    return RunCodec(*this, [&] {
        Decoder decoder(*this, *stream);
        const bool ok = decoder.Run();
        decoder.input.Release();
        return ok;
    });
}

// ---- Writing -------------------------------------------------------------------------------

struct VxImageGIF::Writer {
    VxStream& stream;
    bool ok = true;

    void Put(const void* bytes, std::size_t count) { ok = ok && WriteAll(stream, bytes, count); }
    void PutByte(std::uint8_t byte) { Put(&byte, 1); }
    void PutU16(std::uint32_t value)
    {
        std::uint8_t bytes[2];
        StoreU16LE(bytes, static_cast<std::uint16_t>(value));
        Put(bytes, 2);
    }

    // A table always holds 2^depth entries, as its size code says; missing ones are black.
    void PutTable(const VxImage& picture)
    {
        const std::uint32_t entries = 1u << picture.BitsPerPixel();
        for (std::uint32_t i = 0; i < entries; ++i) {
            const RGBQUAD c = i < picture.ColourCount() ? picture.PaletteEntry(static_cast<std::uint8_t>(i)) : RGBQUAD{};
            const std::uint8_t rgb[3] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
            Put(rgb, 3);
        }
    }

    void WriteHeader(const VxImage& picture)
    {
        Put("GIF89a", 6);
        PutU16(static_cast<std::uint32_t>(picture.Width()));
        PutU16(static_cast<std::uint32_t>(picture.Height()));
        const std::uint32_t depth = picture.BitsPerPixel();
        const bool table = picture.HasPalette() && depth <= 8;
        PutByte(table ? static_cast<std::uint8_t>(0x80 | (depth - 1) << 4 | (depth - 1)) : 0x11);
        PutByte(0); // background index
        PutByte(0); // pixel aspect
        if (table)
            PutTable(picture);
    }

    void WriteControlExtension(const VxImage& picture)
    {
        const std::int32_t transparent = picture.TransparentIndex();
        const std::uint8_t bytes[] = {
            kExtensionIntroducer, kControlLabel, 4,
            static_cast<std::uint8_t>((transparent != -1 ? 1 : 0) | (picture.GifDisposal() & 7) << 2),
            static_cast<std::uint8_t>(picture.Info().frameDelay), static_cast<std::uint8_t>(picture.Info().frameDelay >> 8),
            static_cast<std::uint8_t>(transparent), 0};
        Put(bytes, sizeof bytes);
    }

    // `repeats` after the first play; 0 repeats for ever.
    void WriteLoopExtension(std::int32_t repeats)
    {
        Put("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
        PutU16(static_cast<std::uint32_t>(repeats));
        PutByte(0);
    }

    void WriteComment(const char* comment)
    {
        const std::size_t length = strnlen(comment, 255);
        if (length == 0)
            return;
        const std::uint8_t head[] = {kExtensionIntroducer, kCommentLabel, static_cast<std::uint8_t>(length)};
        Put(head, sizeof head);
        Put(comment, length);
        PutByte(0);
    }

    void WriteImage(const VxImage& picture, bool localTable, std::int32_t left, std::int32_t top)
    {
        const std::uint32_t depth = picture.BitsPerPixel();
        PutByte(kImageIntroducer);
        PutU16(static_cast<std::uint32_t>(left));
        PutU16(static_cast<std::uint32_t>(top));
        PutU16(static_cast<std::uint32_t>(picture.Width()));
        PutU16(static_cast<std::uint32_t>(picture.Height()));
        PutByte(localTable ? static_cast<std::uint8_t>(kTableFlag | (depth - 1)) : 0);
        if (localTable)
            PutTable(picture);
        const int codeSize = static_cast<int>(std::max<std::uint32_t>(depth, 2));
        PutByte(static_cast<std::uint8_t>(codeSize));
        if (!ok)
            return;
        std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(picture.Height()));
        for (std::int32_t y = 0; y < picture.Height(); ++y)
            rows[static_cast<std::size_t>(y)] = picture.RowAddress(static_cast<std::uint32_t>(picture.Height() - 1 - y));
        vx::gif::PixelCursor pixels(std::move(rows), static_cast<std::uint32_t>(picture.Width()), depth);
        const std::uint32_t option = picture.CodecOption(kVxTypeGif);
        const vx::gif::Coder coder = option == 1 ? vx::gif::Coder::kPlain
                                     : option == 2 ? vx::gif::Coder::kRuns
                                                   : vx::gif::Coder::kLzw;
        ok = vx::gif::CompressPixels(stream, pixels, codeSize, coder);
    }

    void WriteTrueColour(const VxImage& picture, const char* comment);
};

void VxImageGIF::Writer::WriteTrueColour(const VxImage& picture, const char* comment)
{
    WriteHeader(picture);
    WriteComment(comment);
    const bool transparent = picture.IsTransparent();
    const RGBQUAD transparentColour = picture.TransparentColour();
    VxImage cell(kVxTypeGif);
    for (std::int32_t top = 0; top < picture.Height() && ok; top += kCellHeight) {
        for (std::int32_t left = 0; left < picture.Width() && ok; left += kCellWidth) {
            const std::int32_t w = std::min(kCellWidth, picture.Width() - left);
            const std::int32_t h = std::min(kCellHeight, picture.Height() - top);
            if ((cell.Width() != w || cell.Height() != h) &&
                !cell.Create(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), 8, kVxTypeGif))
                FailWith("can't allocate memory");
            cell.Info().codecOptions[OptionSlot(kVxTypeGif)] = picture.CodecOption(kVxTypeGif);
            cell.Info().transparentIndex = transparent ? 0 : -1;
            cell.SetPaletteEntry(0, transparentColour);
            // Each pixel has an entry of its own: no colour is ever approximated.
            for (std::int32_t i = 0; i < h; ++i) {
                for (std::int32_t j = 0; j < w; ++j) {
                    RGBQUAD colour = picture.PixelColour(left + j, picture.Height() - 1 - (top + i), false);
                    colour.rgbReserved = 0;
                    const auto entry = static_cast<std::uint8_t>(i * kCellWidth + j + 1);
                    cell.SetPaletteEntry(entry, colour);
                    const bool clear = transparent && colour.rgbRed == transparentColour.rgbRed &&
                                       colour.rgbGreen == transparentColour.rgbGreen &&
                                       colour.rgbBlue == transparentColour.rgbBlue;
                    cell.SetPixelIndexUnchecked(j, h - 1 - i, clear ? 0 : entry);
                }
            }
            WriteControlExtension(cell);
            WriteImage(cell, true, left, top);
        }
    }
    PutByte(kTrailer);
}

bool VxImageGIF::Encode(VxStream* stream)
{
    if (!EncodePrecheck(stream))
        return false;
    return RunCodec(*this, [&] {
        if (BitsPerPixel() <= 8 && info.frameCount > 1 && frames) {
            // Composites with differing colours need a table each.
            bool differ = false;
            for (std::int32_t i = 1; i < info.frameCount && !differ; ++i)
                differ = frames[i] && frames[0] &&
                         (frames[i]->ColourCount() != frames[0]->ColourCount() ||
                          std::memcmp(frames[i]->PaletteAddress(), frames[0]->PaletteAddress(), frames[0]->PaletteSize()) != 0);
            return Encode(stream, frames, info.frameCount, differ, false);
        }
        Writer writer{*stream};
        if (BitsPerPixel() > 8) {
            writer.WriteTrueColour(*this, m_comment);
        } else {
            writer.WriteHeader(*this);
            writer.WriteControlExtension(*this);
            writer.WriteComment(m_comment);
            writer.WriteImage(*this, false, 0, 0);
            writer.PutByte(kTrailer);
        }
        if (!writer.ok || !stream->Flush() || stream->Error() != 0)
            FailWith(kWriteError);
        return true;
    });
}

bool VxImageGIF::Encode(VxStream* stream, VxImage* const* images, std::int32_t count, bool localColourTables,
                        bool localDisposal)
{
    const char* problem = nullptr;
    if (!stream)
        problem = "invalid file pointer";
    else if (!images || count <= 0 || !images[0])
        problem = "multipage GIF, no images!";
    for (std::int32_t i = 0; !problem && i < count; ++i) {
        if (!images[i])
            problem = "Bad image pointer";
        else if (!images[i]->IsValid())
            problem = "Empty image";
        else if (!images[i]->HasPalette() || images[i]->BitsPerPixel() > 8)
            problem = "VxImageGIF::Encode cannot create animated GIFs with a true color frame. Use DecreaseBpp before";
    }
    if (problem) {
        SetLastError(problem);
        return false;
    }
    return RunCodec(*this, [&] {
        Writer writer{*stream};
        const VxImage& first = *images[0];
        writer.WriteHeader(first);
        if (m_loopCount != 1)
            writer.WriteLoopExtension(std::max(m_loopCount - 1, 0));
        for (std::int32_t i = 0; i < count; ++i) {
            VxImage& picture = *images[i];
            const std::uint8_t own = picture.GifDisposal();
            if (!localDisposal)
                picture.SetGifDisposal(info.gifDisposal);
            writer.WriteControlExtension(picture);
            picture.SetGifDisposal(own);
            if (i == 0)
                writer.WriteComment(m_comment);
            writer.WriteImage(picture, i > 0 && localColourTables, i == 0 ? 0 : picture.Info().xOffset,
                              i == 0 ? 0 : picture.Info().yOffset);
        }
        writer.PutByte(kTrailer);
        if (!writer.ok || !stream->Flush() || stream->Error() != 0)
            FailWith(kWriteError);
        return true;
    });
}
