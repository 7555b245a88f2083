// The x86 branch-call-jump filter (BCJ): the 32-bit relative targets of CALL (E8) and JMP
// (E9) become absolute, so that calls to one function repeat byte for byte and the LZMA2
// encoder finds them as matches. It is the transform of liblzma's x86 filter, done here on
// one file's bytes because liblzma cannot end that filter at every file's end as the solid
// stream needs. One transform for both sides: Pack.dll encodes, the package readers decode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

/// Whether the bytes start a program of x86 or x86-64 code, the files the filter helps: a
/// PE image (the MZ header, the PE signature where it points, and the machine) or a
/// little-endian ELF file of that machine.
bool IsX86Image(const uint8_t* data, size_t size);

class TX86Filter {
  public:
    enum TDirection { Encode, Decode };
    explicit TX86Filter(TDirection direction) : Encoding(direction == Encode) {}

    /// Converts the next bytes of one file; appends those that are final to out and keeps
    /// back the last few, which depend on what follows.
    void Convert(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
    /// Appends the bytes kept back at the file's end (they stay as they are).
    void Finish(std::vector<uint8_t>& out);

  private:
    /// Converts what it can of buffer in place; returns how many leading bytes are final.
    size_t ConvertInPlace(uint8_t* buffer, size_t size);

    bool Encoding;
    std::vector<uint8_t> Pending;
    uint32_t Position = 0;  // file offset of Pending's first byte
    uint32_t PrevMask = 0;
    uint32_t PrevPos = uint32_t(0) - 5;
};
