// VxExifReader: section walking (limits, padding, truncation), EXIF blocks built byte by byte
// in both byte orders, the tag table's conversions, hostile offsets, counts and directory
// links, comment cleaning, and the keep/write-back of sections.
#include "image/codecs/VxExifReader.h"

#include "image/VxStream.h"
#include "tests/image/codecs/JpegTestBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace vx::test;

// A JPEG skeleton: SOI, the given sections, a 3-component SOF0 of 640 x 480, SOS and some data.
Bytes Jpeg(const std::vector<Bytes>& sections, const Bytes& imageData = {0x12, 0x34, 0xFF, 0xD9})
{
    Bytes out = {0xFF, 0xD8};
    for (const Bytes& s : sections)
        out = Joined(out, s);
    out = Joined(out, Section(0xC0, {8, 0x01, 0xE0, 0x02, 0x80, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}));
    out = Joined(out, Section(0xDA, {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}));
    return Joined(out, imageData);
}

struct ReadResult {
    bool ok;
    ExifInfo info;
    std::string error;
    int sections;
};

ReadResult Read(Bytes bytes, int mode = VxExifReader::kReadExif)
{
    VxMemStream stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    ExifInfo info{};
    VxExifReader reader(&info);
    const bool ok = reader.ReadSections(&stream, mode);
    info.thumbnail = nullptr; // points into the reader's blocks, gone with it
    return {ok, info, reader.LastError(), reader.SectionCount()};
}

ReadResult ReadExif(const Tiff& tiff) { return Read(Jpeg({tiff.App1()})); }

ReadResult ReadDirectory(const std::vector<Field>& fields, bool motorola = false)
{
    Tiff t(motorola);
    t.Directory(fields);
    return ReadExif(t);
}

// A block that uses most of the tag table; the same content in either byte order.
Tiff RichExif(bool motorola)
{
    Tiff t(motorola);
    const std::uint32_t ifd0 = 8, ifd0Entries = 7; // its EXIF and next-directory links patched below
    t.Directory({Text(0x010F, "Canon"), Text(0x0110, "PowerShot S40"), Short(0x0112, 6), Rational(0x011A, 180, 1),
                 Rational(0x011B, 360, 1), Short(0x0128, 2), Long(0x8769, 0)});
    const std::uint32_t exif =
        t.Directory({Rational(0x829A, 1, 60), Rational(0x829D, 28, 10), Short(0x8827, 2), Text(0x9000, "0220", 7),
                     Text(0x9003, "2024:05:06 07:08:09"), Rational(0x9201, 5, 1), Short(0x9207, 5),
                     Short(0x9209, 0x19), {0x920A, 11, 1, LittleEndian(0x41AC0000, 4)}, // float 21.5
                     Text(0x9286, std::string("ASCII\0\0\0", 8) + "A user comment   ", 7), Long(0xA002, 2272),
                     Short(0xA003, 1704), Rational(0xA20E, 8114, 1), Short(0xA210, 2)});
    t.Patch32(Tiff::ValueField(ifd0, ifd0Entries - 1), exif);
    const std::uint32_t thumbnailData = t.Size();
    for (int i = 0; i < 16; ++i)
        t.Raw().push_back(static_cast<std::uint8_t>(0xA0 + i));
    t.Patch32(ifd0 + 2 + 12 * ifd0Entries, t.Directory({Long(0x0201, thumbnailData), Long(0x0202, 16)}));
    return t;
}

// What the walk keeps of well-formed and malformed streams: tables yes, APP0 no, nothing after
// the scan, 20 sections at most; a frame header parsed when it is whole; an APP1 that is not
// EXIF dropped, one whose EXIF header is cut short noted, the walk going on after either.
TEST(VxExifReaderSections, WalksWellFormedAndMalformedStreams)
{
    Bytes notExif = RichExif(false).App1();
    notExif[5] = 'X';
    Bytes sixFill = Jpeg({}), sevenFill = Jpeg({}); // fill bytes before a marker, plus its own FF
    sixFill.insert(sixFill.begin() + 2, 5, 0xFF);
    sevenFill.insert(sevenFill.begin() + 2, 6, 0xFF);
    const Bytes shortSof = Joined({0xFF, 0xD8}, Joined(Section(0xC0, {8, 0x01}), Section(0xDA, {1, 1, 0, 0, 63, 0})));
    const std::vector<Bytes> tables(18, Section(0xDB, {0, 1, 2})); // with SOF and SOS: 20 sections
    const struct {
        const char* name;
        Bytes input;
        bool ok;
        const char* error;
        const char* printed; // on stderr
        std::int32_t width;  // from a parsed frame header, 480 high
        int sections;
    } rows[] = {
        {"APP0 and a table",
         Jpeg({Section(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}), Section(0xDB, Bytes(65, 1))}),
         true, "", "", 640, 3}, // DQT, SOF0, SOS
        {"18 tables", Jpeg(tables), true, "", "", 640, 20},
        {"19 tables", Jpeg(std::vector<Bytes>(19, tables[0])), false, "Too many sections in jpg file", "", 640, 0},
        {"not a JPEG", {0x42, 0x4D, 0x00, 0x00}, false, "", "", 0, 0},
        {"six fill bytes", sixFill, true, "", "", 640, 2},
        {"seven fill bytes", sevenFill, false, "", "too many padding bytes\n", 0, 0},
        {"length 1", {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x01}, false, "invalid marker", "", 0, 0},
        {"no length", {0xFF, 0xD8, 0xFF, 0xDB}, false, "invalid marker", "", 0, 0},
        {"truncated", {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x40, 1, 2, 3}, false, "Premature end of file?", "", 0, 0},
        {"no image", {0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x02}, false, "", "No image in jpeg!\n", 0, 0},
        {"short frame header is kept unparsed", shortSof, true, "", "", 0, 2},
        {"APP1 of another kind", Jpeg({notExif}), true, "", "", 640, 2},
        {"EXIF header cut short", Jpeg({Section(0xE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I'})}), true,
         "Incorrect Exif header", "", 640, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testing::internal::CaptureStderr();
        const ReadResult r = Read(row.input);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.printed);
        EXPECT_EQ(r.ok, row.ok);
        EXPECT_EQ(r.error, row.error);
        EXPECT_EQ(r.info.width * 1000 + r.info.height, row.width ? row.width * 1000 + 480 : 0);
        EXPECT_EQ(r.info.process, row.width ? 0xC0 : 0);
        EXPECT_EQ(r.info.isColour, row.width ? 1 : 0);
        EXPECT_FALSE(r.info.isExif);
        EXPECT_TRUE(!row.ok || r.sections == row.sections) << r.sections;
    }
    // Reading all, the image data takes a section too.
    EXPECT_EQ(Read(Jpeg(tables), VxExifReader::kReadAll).error, "Too many sections in jpg file");
}

TEST(VxExifReaderTags, BothByteOrdersGiveTheSameInformation)
{
    const ReadResult ii = ReadExif(RichExif(false));
    const ReadResult mm = ReadExif(RichExif(true));
    ASSERT_TRUE(ii.ok && ii.info.isExif) << ii.error;
    ASSERT_TRUE(mm.ok && mm.info.isExif) << mm.error;
    EXPECT_EQ(std::memcmp(&ii.info, &mm.info, sizeof(ExifInfo)), 0);

    const ExifInfo& e = ii.info;
    EXPECT_EQ(std::string(e.cameraMake) + "|" + e.cameraModel + "|" + e.version + "|" + e.dateTime + "|" + e.comments,
              "Canon|PowerShot S40|0220|2024:05:06 07:08:09|A user comment");
    // ISO 2 is taken as 2 x 200; ShutterSpeedValue after the exposure time changes nothing; the
    // focal length is a float, read in the block's byte order.
    EXPECT_EQ((std::vector<int>{e.orientation, e.isoEquivalent, e.meteringMode, e.flashUsed, e.thumbnailSize}),
              (std::vector<int>{6, 400, 5, 1, 16}));
    EXPECT_EQ((std::vector<float>{e.xResolution, e.yResolution, e.resolutionUnit, e.exposureTime, e.apertureFNumber,
                                  e.focalLength, e.ccdWidth}),
              (std::vector<float>{180, 360, 1, 1.0f / 60, 2.8f, 21.5f, 2272.0f / 8114.0f}));
}

TEST(VxExifReaderTags, ResolutionUnitsBecomeFactors)
{
    // Bit patterns of 1, 1/2.54, 1/25.4, 1/25400; unknown units leave the field as it was.
    const std::pair<std::uint16_t, std::uint32_t> rows[] = {
        {2, 0x3F800000u}, {3, 0x3EC99326u}, {4, 0x3D214285u}, {5, 0x3825214Du}, {7, 0u}};
    for (const auto& [unit, bits] : rows) {
        const ReadResult r = ReadDirectory({Rational(0x011A, 118, 1), Short(0x0128, unit)}, true);
        std::uint32_t factor;
        std::memcpy(&factor, &r.info.resolutionUnit, 4);
        EXPECT_EQ(factor, bits) << unit;
    }
}

TEST(VxExifReaderTags, OddValues)
{
    // APEX values only stand in for a missing exposure time and aperture.
    ReadResult r = ReadDirectory({Rational(0x9201, 5, 1), Rational(0x9202, 4, 1)});
    EXPECT_FLOAT_EQ(r.info.exposureTime, 1.0f / 32);
    EXPECT_FLOAT_EQ(r.info.apertureFNumber, 4.0f);

    // Texts are cut to their fields and to their values.
    r = ReadDirectory(
        {Text(0x010F, std::string(100, 'x')), Text(0x0110, "ab"), Text(0x9286, std::string(300, 'c'), 7)});
    EXPECT_EQ(std::string(r.info.cameraMake), std::string(31, 'x'));
    EXPECT_STREQ(r.info.cameraModel, "ab");
    EXPECT_EQ(std::string(r.info.comments), std::string(199, 'c'));
}

TEST(VxExifReaderTags, RationalsAreSignedOnlyInFormatTen)
{
    // Format 10 halves are two's complement; format 5 halves are unsigned, as TIFF defines them.
    const struct { std::uint16_t format; std::uint32_t numerator, denominator; float value; } rows[] = {
        {10, 0xFFFFFFFDu, 2, -1.5f},
        {10, 0xFFFFFFFDu, 0xFFFFFFFEu, 1.5f},
        {5, 0xFFFFFFFDu, 1, 4294967293.0f},
        {5, 3, 0xFFFFFFFEu, 3.0f / 4294967294.0f},
    };
    for (bool motorola : {false, true}) {
        for (const auto& row : rows) {
            const Bytes halves = Joined(LittleEndian(row.numerator, 4), LittleEndian(row.denominator, 4));
            const ReadResult r = ReadDirectory({{0x9204, row.format, 1, halves}}, motorola);
            EXPECT_FLOAT_EQ(r.info.exposureBias, row.value) << row.format << ": " << row.numerator;
        }
    }
}

TEST(VxExifReaderHostile, BadOffsetsCountsAndLinksAreRefused)
{
    const char* const kOffset = "Illegal pointer offset value in EXIF.";
    const char* const kLink = "Illegal subdirectory link";
    const char* const kFormat = "Illegal format code in EXIF dir";
    const char* const kSize = "Illegally sized directory";
    const char* const kNesting = "Maximum directory nesting exceeded (corrupt exif header)";
    const struct {
        const char* name;
        std::function<void(Tiff&)> build;
        const char* error;
        bool isExif;
        std::int32_t iso; // what survives of the ISO values given
        const char* make;
    } rows[] = {
        {"value beyond the block", [](Tiff& t) {
             t.Patch32(Tiff::ValueField(t.Directory({Text(0x010F, "far away from here")}), 0), 0xFFFFFFF0u);
         }, kOffset, false, 0, ""},
        {"byte size wraps in 32 bits", [](Tiff& t) { t.Directory({{0x010F, 4, 0x40000000u, LittleEndian(8, 4)}}); },
         kOffset, false, 0, ""},
        {"entry count just past the block", [](Tiff& t) {
             t.Directory({Short(0x0112, 1), Short(0x8827, 80)});
             t.Raw()[8] = t.Raw()[9] = 0x01; // 257 entries, about 3 KiB more than there are
         }, kSize, false, 0, ""},
        {"format code 13", [](Tiff& t) { t.Directory({{0x010F, 13, 1, {1, 2, 3, 4}}}); }, kFormat, false, 0, ""},
        {"sub-directory link outside ends the linking directory",
         [](Tiff& t) { t.Directory({Long(0x8769, 5000), Short(0x8827, 80)}); }, kLink, false, 0, ""},
        {"broken sub-directory ends only itself", [](Tiff& t) {
             const std::uint32_t ifd0 = t.Directory({Long(0x8769, 0), Short(0x8827, 80)});
             t.Patch32(Tiff::ValueField(ifd0, 0), t.Directory({{0x9207, 99, 1, {1, 0, 0, 0}}}));
         }, kFormat, true, 80, ""},
        {"next-directory link past the end", [](Tiff& t) { t.Directory({Short(0x8827, 80)}, 0x7FFFFFFF); }, kLink,
         false, 80, ""},
        // IFD0 -> 1 -> ... -> 5, each giving ISO 50 + its level: levels 0..4 are read, the sixth not.
        {"directories nest five levels deep", [](Tiff& t) {
             std::vector<std::uint32_t> dirs;
             for (int level = 0; level < 6; ++level)
                 dirs.push_back(t.Directory({Short(0x8827, static_cast<std::uint16_t>(50 + level)), Long(0x8769, 0)}));
             for (int level = 0; level < 5; ++level)
                 t.Patch32(Tiff::ValueField(dirs[level], 1), dirs[level + 1]);
         }, kNesting, true, 54, ""},
        // 1,000 links to itself, nested five deep, would mean 10^15 visits.
        {"self-referencing directory", [](Tiff& t) { t.Directory(std::vector<Field>(1000, Long(0x8769, 8)), 8); },
         kNesting, true, 0, ""},
        {"byte order neither II nor MM", [](Tiff& t) { t.Raw()[1] = 'X'; }, "Invalid Exif alignment marker.", false, 0,
         ""},
        {"no 42 after the byte order", [](Tiff& t) { t.Raw()[2] = 43; }, "Invalid Exif start (1)", false, 0, ""},
        {"undefined rotation 0 is noted, the walk goes on",
         [](Tiff& t) { t.Directory({Short(0x0112, 0), Text(0x010F, "Make")}); }, "Undefined rotation value", true, 0,
         "Make"},
        {"undefined rotation 9", [](Tiff& t) { t.Directory({Short(0x0112, 9), Text(0x010F, "Make")}); },
         "Undefined rotation value", true, 0, "Make"},
        // A rational or double with no components has no bytes: nothing may be read past the entry.
        {"values of no components",
         [](Tiff& t) { t.Directory({{0x011A, 5, 0, {}}, {0x920A, 12, 0, {}}, {0x9204, 0, 5, {}}}); },
         "", true, 0, ""},
        {"first directory after other data", [](Tiff& t) {
             t.Raw().insert(t.Raw().end(), 6, 0xEE);
             t.Patch32(4, t.Directory({Text(0x010F, "Late")}));
         }, "", true, 0, "Late"},
    };
    for (const auto& row : rows) {
        for (bool motorola : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (motorola ? " MM" : " II"));
            Tiff t(motorola);
            row.build(t);
            const ReadResult r = ReadExif(t);
            EXPECT_EQ(r.error, row.error);
            EXPECT_EQ(r.info.isExif, row.isExif);
            EXPECT_EQ(r.info.isoEquivalent, row.iso);
            EXPECT_STREQ(r.info.cameraMake, row.make);
            EXPECT_EQ(r.info.orientation + r.info.xResolution + r.info.focalLength, 0);
        }
    }
    // A thumbnail reaching past the block is not recorded.
    const ReadResult r = ReadDirectory({Long(0x0201, 20), Long(0x0202, 0xFFFFFFF0u)});
    EXPECT_TRUE(r.info.isExif);
    EXPECT_EQ(r.info.thumbnailSize, 0);
}

TEST(VxExifReaderComment, CleansTheFirstCommentAndStopsAtTheField)
{
    EXPECT_STREQ(Read(Jpeg({Section(0xFE, {'a', '\r', '\n', 'b', 0x01, '\t', 'c', '\r'})})).info.comments, "a\nb?\tc?");
    const ReadResult two = Read(Jpeg({Section(0xFE, {'o', 'n', 'e'}), Section(0xFE, {'t', 'w', 'o'})}));
    EXPECT_STREQ(two.info.comments, "one");
    EXPECT_EQ(two.sections, 3); // COM, SOF, SOS
    EXPECT_EQ(std::string(Read(Jpeg({Section(0xFE, Bytes(5000, 'z'))})).info.comments), std::string(998, 'z'));
}

TEST(VxExifReaderWrite, KeepsExifAndCommentAndWritesThemBeforeAnotherPicture)
{
    const Bytes app1 = RichExif(false).App1();
    const Bytes comment = Section(0xFE, {'h', 'i'});
    Bytes first = Jpeg({app1, Section(0xDB, {0, 1}), comment, Section(0xE2, {9})});
    VxMemStream in(first.data(), static_cast<std::int32_t>(first.size()));
    VxExifReader reader;
    ASSERT_TRUE(reader.ReadSections(&in, VxExifReader::kReadExif));
    EXPECT_EQ(reader.SectionCount(), 6);
    // The thumbnail points into the kept APP1 block.
    const ExifInfo& e = *reader.Info();
    ASSERT_EQ(reader.Section(0).marker, 0xE1);
    ASSERT_GE(e.thumbnail, reader.Section(0).data);
    EXPECT_LE(e.thumbnail + e.thumbnailSize, reader.Section(0).data + reader.Section(0).size);
    EXPECT_EQ(e.thumbnail[0] * 1000 + e.thumbnail[15], 0xA0 * 1000 + 0xAF);

    VxMemStream out;
    out.Open();
    EXPECT_FALSE(reader.WriteSections(&out));
    EXPECT_STREQ(reader.LastError(), "Can't write exif : didn't read all"); // and nothing written: see below

    reader.KeepExifAndComment();
    const Bytes table = Section(0xDB, {7, 7});
    Bytes second = Jpeg({Section(0xE0, {'J', 'F', 'I', 'F', 0}), table}, {0xAB, 0xCD, 0xFF, 0xD9});
    VxMemStream in2(second.data(), static_cast<std::int32_t>(second.size()));
    ASSERT_TRUE(reader.ReadSections(&in2, VxExifReader::kReadAll)) << reader.LastError();
    ASSERT_TRUE(reader.WriteSections(&out));

    // SOI, the kept APP1 and COM, then the second picture without its APP0, then its data.
    const Bytes rest = Jpeg({table}, {0xAB, 0xCD, 0xFF, 0xD9});
    const Bytes expected = Joined(Joined(Joined({0xFF, 0xD8}, app1), comment), Bytes(rest.begin() + 2, rest.end()));
    EXPECT_EQ(Bytes(out.GetBuffer(false), out.GetBuffer(false) + out.Tell()), expected);
}

TEST(VxExifReaderWrite, WritesAJfifHeaderWhenNoApplicationSectionLeads)
{
    Bytes picture = Jpeg({Section(0xDB, {1})});
    VxMemStream in(picture.data(), static_cast<std::int32_t>(picture.size())), out;
    VxExifReader reader;
    ASSERT_TRUE(out.Open() && reader.ReadSections(&in, VxExifReader::kReadAll) && reader.WriteSections(&out));
    const Bytes jfif = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 1, 0x2C, 1, 0x2C, 0, 0};
    const Bytes expected = Joined(Joined({0xFF, 0xD8}, jfif), Bytes(picture.begin() + 2, picture.end()));
    EXPECT_EQ(Bytes(out.GetBuffer(false), out.GetBuffer(false) + out.Tell()), expected);
}

} // namespace
