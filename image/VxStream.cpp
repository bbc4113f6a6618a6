// VxFileStream forwards to stdio on a FILE handle it may or may not own; VxMemStream keeps
// a heap block that grows in 64 KiB steps. Positions and sizes are signed 32-bit; anything
// that would not fit fails instead of wrapping. No operation throws or writes text.
#include "image/VxStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::int64_t kMaxPosition = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kGrowthStep = 65536;

// size x count in bytes, saturated so that an absurd request cannot wrap to a small one.
std::uint64_t ByteCount(std::size_t size, std::size_t count)
{
    if (size != 0 && count > std::numeric_limits<std::uint64_t>::max() / size)
        return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(size) * count;
}

} // namespace

bool VxStream::PutC(std::uint8_t byte)
{
    return Write(&byte, 1, 1) == 1;
}

// ---- VxFileStream ---------------------------------------------------------------------------

VxFileStream::VxFileStream(std::FILE* file) : m_file(file), m_ownsHandle(file == nullptr)
{
}

VxFileStream::~VxFileStream()
{
    Close();
}

bool VxFileStream::Close()
{
    if (!m_file || !m_ownsHandle)
        return true;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return closed;
}

std::uint32_t VxFileStream::Read(void* buffer, std::size_t size, std::size_t count)
{
    if (!m_file || !buffer)
        return 0;
    return static_cast<std::uint32_t>(std::fread(buffer, size, count, m_file));
}

std::uint32_t VxFileStream::Write(const void* buffer, std::size_t size, std::size_t count)
{
    if (!m_file || !buffer)
        return 0;
    return static_cast<std::uint32_t>(std::fwrite(buffer, size, count, m_file));
}

bool VxFileStream::Seek(std::int32_t offset, int origin)
{
    return m_file && std::fseek(m_file, offset, origin) == 0;
}

std::int32_t VxFileStream::Tell()
{
    if (!m_file)
        return 0;
    const long position = std::ftell(m_file);
    // Beyond 2 GiB the position cannot be told in 32 bits: report an error, not a wrapped value.
    return position > kMaxPosition ? -1 : static_cast<std::int32_t>(position);
}

std::int32_t VxFileStream::Size()
{
    if (!m_file)
        return -1;
    const long position = std::ftell(m_file);
    if (position < 0 || std::fseek(m_file, 0, SEEK_END) != 0)
        return -1;
    const long size = std::ftell(m_file);
    std::fseek(m_file, position, SEEK_SET);
    return size > kMaxPosition ? -1 : static_cast<std::int32_t>(size);
}

bool VxFileStream::Flush()
{
    return m_file && std::fflush(m_file) == 0;
}

bool VxFileStream::Eof()
{
    return !m_file || std::feof(m_file) != 0;
}

int VxFileStream::Error()
{
    return m_file ? std::ferror(m_file) : -1;
}

bool VxFileStream::PutC(std::uint8_t byte)
{
    return m_file && std::fputc(byte, m_file) == byte;
}

int VxFileStream::GetC()
{
    return m_file ? std::getc(m_file) : -1;
}

char* VxFileStream::GetS(char* buffer, int capacity)
{
    if (!m_file || !buffer || capacity <= 0)
        return nullptr;
    return std::fgets(buffer, capacity, m_file);
}

int VxFileStream::Scanf(const char* format, void* output)
{
    if (!m_file || !format)
        return -1;
    return std::fscanf(m_file, format, output);
}

// ---- VxMemStream ----------------------------------------------------------------------------

VxMemStream::VxMemStream(std::uint8_t* buffer, std::int32_t size)
    : m_buffer(buffer), m_size(std::max(size, 0)), m_ownsBuffer(buffer == nullptr), m_position(0),
      m_capacity(std::max(size, 0))
{
}

VxMemStream::~VxMemStream()
{
    Close();
}

bool VxMemStream::Open()
{
    if (m_buffer)
        return false;
    m_position = 0;
    m_size = 0;
    m_capacity = 0;
    m_buffer = static_cast<std::uint8_t*>(std::malloc(1));
    m_ownsBuffer = true;
    return m_buffer != nullptr;
}

std::uint8_t* VxMemStream::GetBuffer(bool detach)
{
    if (detach)
        m_ownsBuffer = false;
    return m_buffer;
}

bool VxMemStream::Alloc(std::int32_t newLength)
{
    if (m_capacity >= newLength)
        return m_buffer != nullptr;
    const std::int64_t capacity = newLength / kGrowthStep * kGrowthStep + kGrowthStep;
    if (capacity > kMaxPosition)
        return false;

    std::uint8_t* grown;
    if (m_ownsBuffer) {
        grown = static_cast<std::uint8_t*>(std::realloc(m_buffer, static_cast<std::size_t>(capacity)));
    } else {
        // A caller's block may not come from malloc: move the contents to a block of our own.
        grown = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(capacity)));
        if (grown && m_buffer)
            std::memcpy(grown, m_buffer, static_cast<std::size_t>(m_capacity));
    }
    // On failure the old block and its contents stay as they were.
    if (!grown)
        return false;
    m_buffer = grown;
    m_capacity = static_cast<std::int32_t>(capacity);
    m_ownsBuffer = true;
    return true;
}

bool VxMemStream::Close()
{
    if (m_buffer && m_ownsBuffer) {
        std::free(m_buffer);
        m_buffer = nullptr;
        m_size = 0;
        m_capacity = 0;
        m_position = 0;
    }
    return true;
}

std::uint32_t VxMemStream::Read(void* buffer, std::size_t size, std::size_t count)
{
    const std::uint64_t wanted = ByteCount(size, count);
    if (!buffer || !m_buffer || m_position >= m_size || wanted == 0)
        return 0;
    const auto copied = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, m_size - m_position));
    std::memcpy(buffer, m_buffer + m_position, copied);
    m_position += static_cast<std::int32_t>(copied);
    return static_cast<std::uint32_t>(copied / size);
}

bool VxMemStream::MakeRoom(std::uint64_t byteCount)
{
    const std::int64_t end = static_cast<std::int64_t>(m_position) + static_cast<std::int64_t>(
                                 std::min<std::uint64_t>(byteCount, kMaxPosition + 1));
    if (end > kMaxPosition || (end > m_capacity && !Alloc(static_cast<std::int32_t>(end))))
        return false;
    // Bytes skipped by a Seek past the end become zeros rather than stale heap contents.
    if (m_position > m_size)
        std::memset(m_buffer + m_size, 0, static_cast<std::size_t>(m_position - m_size));
    return true;
}

std::uint32_t VxMemStream::Write(const void* buffer, std::size_t size, std::size_t count)
{
    const std::uint64_t n = ByteCount(size, count);
    if (!m_buffer || !buffer || n == 0 || !MakeRoom(n))
        return 0;
    std::memcpy(m_buffer + m_position, buffer, static_cast<std::size_t>(n));
    m_position += static_cast<std::int32_t>(n);
    m_size = std::max(m_size, m_position);
    return static_cast<std::uint32_t>(count);
}

bool VxMemStream::Seek(std::int32_t offset, int origin)
{
    if (!m_buffer)
        return false;
    std::int64_t position;
    switch (origin) {
    case SEEK_SET: position = offset; break;
    case SEEK_CUR: position = static_cast<std::int64_t>(m_position) + offset; break;
    case SEEK_END: position = static_cast<std::int64_t>(m_size) + offset; break;
    default: return false;
    }
    if (position > kMaxPosition)
        return false;
    m_position = static_cast<std::int32_t>(std::max<std::int64_t>(position, 0));
    return true;
}

std::int32_t VxMemStream::Tell()
{
    return m_buffer ? m_position : -1;
}

std::int32_t VxMemStream::Size()
{
    return m_buffer ? m_size : -1;
}

bool VxMemStream::Flush()
{
    return m_buffer != nullptr;
}

bool VxMemStream::Eof()
{
    return !m_buffer || m_position >= m_size;
}

int VxMemStream::Error()
{
    if (!m_buffer)
        return -1;
    return m_position > m_size ? 1 : 0;
}

bool VxMemStream::PutC(std::uint8_t byte)
{
    if (!m_buffer || !MakeRoom(1))
        return false;
    m_buffer[m_position++] = byte;
    m_size = std::max(m_size, m_position);
    return true;
}

int VxMemStream::GetC()
{
    if (Eof())
        return -1;
    return m_buffer[m_position++];
}

char* VxMemStream::GetS(char* buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return nullptr;
    int length = 0;
    while (length < capacity - 1) {
        const int c = GetC();
        if (c < 0)
            return nullptr;
        buffer[length++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    buffer[length] = '\0';
    return buffer;
}

int VxMemStream::Scanf(const char*, void*)
{
    return 0;
}
