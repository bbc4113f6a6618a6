// The byte streams codecs read and write: an abstract VxStream with stdio-like calls
// (item counts, 32-bit signed positions, origins 0 start / 1 current / 2 end),
// VxFileStream over a stdio FILE handle and VxMemStream over a growable heap block.
// No operation throws or produces text: failure is told by the result alone.
#pragma once

#include <cstdint>
#include <cstdio>

class VxStream {
public:
    virtual ~VxStream() = default;
    virtual bool Close() = 0;
    virtual std::uint32_t Read(void* buffer, std::size_t size, std::size_t count) = 0;
    virtual std::uint32_t Write(const void* buffer, std::size_t size, std::size_t count) = 0;
    virtual bool Seek(std::int32_t offset, int origin) = 0;
    virtual std::int32_t Tell() = 0;
    virtual std::int32_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual int Error() = 0;
    virtual bool PutC(std::uint8_t byte);
    virtual int GetC() = 0;
    virtual char* GetS(char* buffer, int capacity) = 0;
    virtual int Scanf(const char* format, void* output) = 0;
};

class VxFileStream : public VxStream {
public:
    // A stream over a caller's handle never closes it; with a null handle it owns nothing.
    explicit VxFileStream(std::FILE* file = nullptr);
    ~VxFileStream() override;
    VxFileStream(const VxFileStream&) = delete;
    VxFileStream& operator=(const VxFileStream&) = delete;

    bool Close() override;
    std::uint32_t Read(void* buffer, std::size_t size, std::size_t count) override;
    std::uint32_t Write(const void* buffer, std::size_t size, std::size_t count) override;
    bool Seek(std::int32_t offset, int origin) override;
    std::int32_t Tell() override;
    std::int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int Error() override;
    bool PutC(std::uint8_t byte) override;
    int GetC() override;
    char* GetS(char* buffer, int capacity) override;
    int Scanf(const char* format, void* output) override;

private:
    std::FILE* m_file;
    bool m_ownsHandle;
};

class VxMemStream : public VxStream {
public:
    // Over a caller's block of `size` bytes, or (buffer null) an owned block grown on demand.
    VxMemStream(std::uint8_t* buffer = nullptr, std::int32_t size = 0);
    ~VxMemStream() override;
    VxMemStream(const VxMemStream&) = delete;
    VxMemStream& operator=(const VxMemStream&) = delete;

    bool Open();
    std::uint8_t* GetBuffer(bool detach);
    bool Alloc(std::int32_t newLength);
    std::int32_t Capacity() const { return m_capacity; }

    bool Close() override;
    std::uint32_t Read(void* buffer, std::size_t size, std::size_t count) override;
    std::uint32_t Write(const void* buffer, std::size_t size, std::size_t count) override;
    bool Seek(std::int32_t offset, int origin) override;
    std::int32_t Tell() override;
    std::int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int Error() override;
    bool PutC(std::uint8_t byte) override;
    int GetC() override;
    char* GetS(char* buffer, int capacity) override;
    int Scanf(const char* format, void* output) override;

private:
    // Grows the block so byteCount bytes fit at the position; false when they cannot.
    bool MakeRoom(std::uint64_t byteCount);

    std::uint8_t* m_buffer;
    std::int32_t m_size;     // one past the highest byte ever written (or the size given)
    bool m_ownsBuffer;
    std::int32_t m_position;
    std::int32_t m_capacity; // bytes allocated
};
