#include "PkgX86Filter.h"

namespace {

// An E8/E9 can start a converted operand only when the bytes before it did not hold
// another candidate in these positions (prev mask), and the operand's high byte is 00 or
// FF (a near target). Encoded operands keep a 00 or FF high byte, so the decoder sees the
// same candidates and takes the same decisions.
constexpr bool MaskAllowed[8] = {true, true, true, false, true, false, false, false};
constexpr uint32_t MaskBit[8] = {0, 1, 2, 2, 3, 3, 3, 3};
constexpr size_t Operand = 5;  // opcode plus 32-bit offset

bool NearByte(uint8_t b) {
    return b == 0 || b == 0xFF;
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

bool IsX86Image(const uint8_t* data, size_t size) {
    constexpr uint16_t MachineI386 = 0x014C, MachineAmd64 = 0x8664;  // PE
    constexpr uint16_t Elf386 = 3, ElfX86_64 = 62;                   // ELF
    if (size >= 20 && data[0] == 0x7F && data[1] == 'E' && data[2] == 'L' && data[3] == 'F') {
        // Little-endian only; e_machine follows e_ident (16 bytes) and e_type.
        const uint16_t machine = uint16_t(data[18] | data[19] << 8);
        return data[5] == 1 && (machine == Elf386 || machine == ElfX86_64);
    }
    constexpr size_t PeOffsetField = 0x3C;
    if (size < PeOffsetField + 4 || data[0] != 'M' || data[1] != 'Z') return false;
    const uint32_t pe = Le32(data + PeOffsetField);
    if (pe > size - 6 || data[pe] != 'P' || data[pe + 1] != 'E' || data[pe + 2] || data[pe + 3])
        return false;
    const uint16_t machine = uint16_t(data[pe + 4] | data[pe + 5] << 8);
    return machine == MachineI386 || machine == MachineAmd64;
}

size_t TX86Filter::ConvertInPlace(uint8_t* buffer, size_t size) {
    if (size < Operand) return 0;
    if (Position - PrevPos > Operand) PrevPos = Position - Operand;
    const size_t limit = size - Operand;
    size_t i = 0;
    while (i <= limit) {
        uint8_t b = buffer[i];
        if (b != 0xE8 && b != 0xE9) {
            ++i;
            continue;
        }
        const uint32_t offset = Position + uint32_t(i) - PrevPos;
        PrevPos = Position + uint32_t(i);
        if (offset > Operand)
            PrevMask = 0;
        else
            for (uint32_t k = 0; k < offset; ++k) PrevMask = (PrevMask & 0x77) << 1;
        b = buffer[i + 4];
        if (NearByte(b) && MaskAllowed[(PrevMask >> 1) & 7] && (PrevMask >> 1) < 0x10) {
            const uint32_t next = Position + uint32_t(i) + uint32_t(Operand);
            uint32_t src = Le32(buffer + i + 1);
            uint32_t dest = 0;
            for (;;) {
                dest = Encoding ? src + next : src - next;
                if (PrevMask == 0) break;
                const uint32_t bit = MaskBit[PrevMask >> 1];
                if (!NearByte(uint8_t(dest >> (24 - bit * 8)))) break;
                src = dest ^ ((1u << (32 - bit * 8)) - 1);
            }
            buffer[i + 4] = uint8_t(~(((dest >> 24) & 1) - 1));
            buffer[i + 3] = uint8_t(dest >> 16);
            buffer[i + 2] = uint8_t(dest >> 8);
            buffer[i + 1] = uint8_t(dest);
            i += Operand;
            PrevMask = 0;
        } else {
            ++i;
            PrevMask |= 1;
            if (NearByte(b)) PrevMask |= 0x10;
        }
    }
    return i;
}

void TX86Filter::Convert(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    // Converted where they land in out, so each byte is copied once; the few that are not
    // final go back to Pending.
    const size_t start = out.size();
    out.insert(out.end(), Pending.begin(), Pending.end());
    out.insert(out.end(), data, data + size);
    const size_t done = ConvertInPlace(out.data() + start, out.size() - start);
    Pending.assign(out.begin() + ptrdiff_t(start + done), out.end());
    out.resize(start + done);
    Position += uint32_t(done);
}

void TX86Filter::Finish(std::vector<uint8_t>& out) {
    out.insert(out.end(), Pending.begin(), Pending.end());
    Position += uint32_t(Pending.size());
    Pending.clear();
}
