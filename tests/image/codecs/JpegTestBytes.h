// Byte builders for JPEG and EXIF tests: marker sections, and TIFF blocks (either byte order)
// of directories whose entries are tag, format, count and value, with out-of-line values
// placed right behind each directory and offsets patchable afterwards.
#pragma once

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::test {

// A directory entry; the value is little-endian and reordered per component by the writer.
struct Field {
    std::uint16_t tag, format;
    std::uint32_t count;
    Bytes value; // up to 4 bytes go into the entry itself
};

inline Field Short(std::uint16_t tag, std::uint16_t v) { return {tag, 3, 1, LittleEndian(v, 2)}; }
inline Field Long(std::uint16_t tag, std::uint32_t v) { return {tag, 4, 1, LittleEndian(v, 4)}; }
inline Field Rational(std::uint16_t tag, std::uint32_t num, std::uint32_t den)
{
    return {tag, 5, 1, Joined(LittleEndian(num, 4), LittleEndian(den, 4))};
}
inline Field Text(std::uint16_t tag, const std::string& s, std::uint16_t format = 2)
{
    return {tag, format, static_cast<std::uint32_t>(s.size()), Bytes(s.begin(), s.end())};
}

// A marker section: FF, the marker, the length (its own two bytes included), the payload.
inline Bytes Section(std::uint8_t marker, const Bytes& payload)
{
    const std::size_t n = payload.size() + 2;
    return Joined({0xFF, marker, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)}, payload);
}

class Tiff {
public:
    explicit Tiff(bool motorola) : m_motorola(motorola), m_bytes(motorola ? Bytes{'M', 'M'} : Bytes{'I', 'I'})
    {
        Put(42, 2);
        Put(8, 4); // first directory right after the header
    }

    // Appends a directory and returns its offset; `next` links the following directory.
    std::uint32_t Directory(const std::vector<Field>& fields, std::uint32_t next = 0)
    {
        const std::uint32_t start = Size();
        const std::uint32_t data = start + 6 + 12 * static_cast<std::uint32_t>(fields.size());
        Put(static_cast<std::uint32_t>(fields.size()), 2);
        Bytes tail;
        for (const Field& f : fields) {
            Put(f.tag, 2);
            Put(f.format, 2);
            Put(f.count, 4);
            Bytes value = Ordered(f);
            if (value.size() <= 4) {
                value.resize(4, 0);
                m_bytes.insert(m_bytes.end(), value.begin(), value.end());
            } else {
                Put(data + static_cast<std::uint32_t>(tail.size()), 4);
                tail.insert(tail.end(), value.begin(), value.end());
            }
        }
        Put(next, 4);
        m_bytes.insert(m_bytes.end(), tail.begin(), tail.end());
        return start;
    }

    std::uint32_t Size() const { return static_cast<std::uint32_t>(m_bytes.size()); }
    void Patch32(std::uint32_t offset, std::uint32_t v) // in the block's byte order
    {
        for (int i = 0; i < 4; ++i)
            m_bytes[offset + i] = static_cast<std::uint8_t>(m_motorola ? v >> (24 - 8 * i) : v >> (8 * i));
    }
    // Offset of entry `index`'s value field in the directory at `dir`.
    static std::uint32_t ValueField(std::uint32_t dir, std::uint32_t index) { return dir + 2 + 12 * index + 8; }
    Bytes& Raw() { return m_bytes; }

    // The APP1 section: FF E1, length, "Exif" 0 0, the block.
    Bytes App1() const { return Section(0xE1, Joined({'E', 'x', 'i', 'f', 0, 0}, m_bytes)); }

private:
    void Put(std::uint32_t v, int size)
    {
        for (int i = 0; i < size; ++i)
            m_bytes.push_back(static_cast<std::uint8_t>(m_motorola ? v >> (8 * (size - 1 - i)) : v >> (8 * i)));
    }
    Bytes Ordered(const Field& f) const
    {
        static const int kSizes[13] = {1, 1, 1, 2, 4, 4, 1, 1, 2, 4, 4, 4, 8}; // rationals: two 32-bit halves
        const std::size_t unit = static_cast<std::size_t>(f.format <= 12 ? kSizes[f.format] : 1);
        Bytes out = f.value;
        for (std::size_t i = 0; m_motorola && i + unit <= out.size(); i += unit)
            std::reverse(out.begin() + static_cast<long>(i), out.begin() + static_cast<long>(i + unit));
        return out;
    }

    bool m_motorola;
    Bytes m_bytes;
};

// The JPEG with an APP1 "Exif" section after SOI: the main picture's directory (IFD0) linked
// to the thumbnail's (IFD1).
inline Bytes WithMainAndThumbnailExif(const Bytes& jpeg, const std::vector<Field>& main,
                                      const std::vector<Field>& thumbnail)
{
    Tiff tiff(false);
    const std::uint32_t first = tiff.Directory(main);
    tiff.Patch32(first + 2 + 12 * static_cast<std::uint32_t>(main.size()), tiff.Directory(thumbnail));
    return Joined(Joined({0xFF, 0xD8}, tiff.App1()), Bytes(jpeg.begin() + 2, jpeg.end()));
}

} // namespace vx::test
