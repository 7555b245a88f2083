// Random access to the bytes of a file or a memory block, so that the parser can be run on
// files and on in-memory data (tests, fuzzing) alike.
#pragma once

#include <cstddef>
#include <cstdint>

class TByteSource {
  public:
    virtual ~TByteSource() = default;
    virtual uint64_t Size() const = 0;
    /// Reads exactly n bytes at offset; false when they are not all there.
    virtual bool ReadAt(uint64_t offset, void* buf, size_t n) = 0;
};

class TMemorySource : public TByteSource {
  public:
    TMemorySource(const void* data, size_t size)
        : Data(static_cast<const unsigned char*>(data)), Length(size) {}
    uint64_t Size() const override { return Length; }
    bool ReadAt(uint64_t offset, void* buf, size_t n) override;

  private:
    const unsigned char* Data;
    size_t Length;
};

/// Little-endian integers from a byte buffer.
uint32_t GetLe32(const unsigned char* p);
uint16_t GetLe16(const unsigned char* p);
uint64_t GetLe64(const unsigned char* p);
