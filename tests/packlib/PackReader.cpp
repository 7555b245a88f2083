#include "PackReader.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "TestUtil.h"

namespace PackReader {
namespace {

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what);
}

uint64_t Get(const std::string& s, size_t pos, size_t bytes) {
    Check(pos + bytes <= s.size(), "truncated at " + std::to_string(pos));
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= uint64_t(uint8_t(s[pos + i])) << (8 * i);
    return v;
}

uint64_t Crc64(const std::string& s) {
    return lzma_crc64(reinterpret_cast<const uint8_t*>(s.data()), s.size(), 0);
}

/// Checks one volume and returns its slice; last is set from the trailer's flag.
std::string Slice(const std::string& v, uint32_t number, const std::string& before, bool& last) {
    Check(v.size() >= 56, "volume too short");
    Check(v.compare(0, 8, std::string("KESTPKG\x1A", 8)) == 0, "bad volume signature");
    Check(Get(v, 8, 2) == 3 && Get(v, 10, 2) == 32, "bad version or header size");
    Check(Get(v, 12, 4) == number, "wrong volume number");
    Check(Get(v, 16, 8) == before.size(), "wrong stream offset");
    Check(Get(v, 24, 8) == Crc64(before), "wrong link");
    const size_t t = v.size() - 24;
    Check(v.compare(t, 8, "KESTVEND") == 0, "missing volume trailer");
    Check(Get(v, t + 8, 8) == v.size(), "trailer length mismatch");
    Check(Get(v, t + 16, 4) == number, "trailer volume number mismatch");
    const uint64_t flags = Get(v, t + 20, 4);
    Check((flags & ~1ull) == 0, "unknown trailer flags");
    last = flags == 1;
    return v.substr(32, v.size() - 56);
}

class TDecoder {
  public:
    ~TDecoder() { lzma_end(&Stream); }
    void InitRaw(uint32_t dictSize) {
        lzma_options_lzma options{};
        options.dict_size = dictSize;
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        Check(lzma_raw_decoder(&Stream, filters) == LZMA_OK, "raw decoder init");
    }
    /// liblzma's x86 decoder, which runs only in a chain ending in LZMA2.
    void InitX86() {
        lzma_options_lzma options{};
        options.dict_size = LZMA_DICT_SIZE_MIN;
        lzma_filter filters[3] = {
            {LZMA_FILTER_X86, nullptr}, {LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        Check(lzma_raw_decoder(&Stream, filters) == LZMA_OK, "x86 decoder init");
    }
    void InitXz() {
        Check(lzma_stream_decoder(&Stream, UINT64_MAX, 0) == LZMA_OK, "xz decoder init");
    }
    /// Decodes input and returns the output it yields; finish expects the stream end.
    std::string Decode(const std::string& in, bool finish) {
        std::string out;
        Stream.next_in = reinterpret_cast<const uint8_t*>(in.data());
        Stream.avail_in = in.size();
        uint8_t buf[65536];
        for (;;) {
            Stream.next_out = buf;
            Stream.avail_out = sizeof buf;
            const lzma_ret ret = lzma_code(&Stream, finish ? LZMA_FINISH : LZMA_RUN);
            out.append(reinterpret_cast<char*>(buf), sizeof buf - Stream.avail_out);
            if (ret == LZMA_STREAM_END) return out;
            Check(ret == LZMA_OK || (ret == LZMA_BUF_ERROR && !finish), "corrupt payload");
            if (Stream.avail_in == 0 && Stream.avail_out != 0 && !finish) return out;
            Check(ret == LZMA_OK, "xz stream does not end");
        }
    }

  private:
    lzma_stream Stream = LZMA_STREAM_INIT;
};

class TParser {
  public:
    TParser(const std::string& stream, const TBlockFilter& filter) : S(stream), Filter(filter) {}

    TPackage Parse() {
        TPackage p;
        Check(Byte() == 0x50, "stream does not start with the package start record");
        p.Level = Byte();
        p.DictSize = uint32_t(Int(4));
        if (p.Level != 0) {
            Solid.InitRaw(p.DictSize);
            Group.InitRaw(p.DictSize);
        }
        for (;;) {
            const size_t at = Pos;
            const uint8_t type = Byte();
            if (type == 0x5A) {
                Check(Int(4) == p.Files.size(), "file count mismatch");
                Check(Int(8) == Crc64(S.substr(0, at)), "stream checksum mismatch");
                Check(Pos == S.size(), "bytes after the package end record");
                return p;
            }
            if (type == 0x47) {
                Check(p.Level != 0, "a group piece in a stored package");
                Piece(p);
                ++p.Pieces;
                continue;
            }
            p.Files.push_back(File(type));
        }
    }

  private:
    uint8_t Byte() { return uint8_t(Int(1)); }
    uint64_t Int(size_t n) {
        const uint64_t v = Get(S, Pos, n);
        Pos += n;
        return v;
    }

    uint64_t Varint() {
        uint64_t v = 0;
        for (unsigned shift = 0;; shift += 7) {
            Check(shift < 64, "varint too long");
            const uint8_t b = Byte();
            v |= uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80)) return v;
        }
    }

    TFile File(uint8_t codec) {
        TFile f;
        f.Codec = codec;
        Check(f.Codec <= 3, "unexpected record type " + std::to_string(codec));
        const size_t shared = size_t(Varint());
        Check(shared <= Previous.size(), "name shares more than the previous name has");
        const size_t rest = size_t(Varint());
        Check(Pos + rest <= S.size(), "truncated name");
        f.Name = Previous.substr(0, shared) + S.substr(Pos, rest);
        Pos += rest;
        Previous = f.Name;
        f.Size = Varint();
        std::string payload;
        for (uint64_t code = Varint(); code != 0; code = Varint()) {
            const size_t length = size_t(code - 1);
            Check(Pos + length <= S.size(), "truncated block");
            f.Blocks.push_back(S.substr(Pos, length));
            Pos += length;
            payload += Filter ? Filter(f, f.Blocks.size() - 1, f.Blocks.back()) : f.Blocks.back();
        }
        Check(!f.Blocks.empty(), "file without data block");
        f.Crc = Int(8);
        f.Data = Decode(f.Codec, payload);
        Check(f.Data.size() == f.Size, "decoded size mismatch for " + f.Name);
        Check(Crc64(f.Data) == f.Crc, "checksum mismatch for " + f.Name);
        return f;
    }

    // A piece's blocks continue the group stream; what they decode to is whole entries:
    // a file record's header (codec 1 or 3), the file's bytes (filtered for 3), CRC-32.
    void Piece(TPackage& p) {
        std::string payload;
        size_t blocks = 0;
        for (uint64_t code = Varint(); code != 0; code = Varint(), ++blocks) {
            const size_t length = size_t(code - 1);
            Check(length > 0, "an empty block in a group piece");
            Check(Pos + length <= S.size(), "truncated block");
            payload += S.substr(Pos, length);
            p.PieceBlocks.push_back(S.substr(Pos, length));
            Pos += length;
        }
        Check(blocks > 0, "a group piece without blocks");
        const std::string d = Group.Decode(payload, false);
        size_t at = 0;
        auto need = [&](size_t n) { Check(at + n <= d.size(), "a piece ends inside an entry"); };
        auto varint = [&]() {
            uint64_t v = 0;
            for (unsigned shift = 0;; shift += 7) {
                need(1);
                const uint8_t b = uint8_t(d[at++]);
                v |= uint64_t(b & 0x7F) << shift;
                if (!(b & 0x80)) return v;
            }
        };
        Check(!d.empty(), "a group piece without entries");
        while (at < d.size()) {
            TFile f;
            f.Grouped = true;
            f.Codec = uint8_t(d[at++]);
            Check(f.Codec == 1 || f.Codec == 3, "entry codec " + std::to_string(f.Codec));
            const size_t shared = size_t(varint());
            Check(shared <= Previous.size(), "name shares more than the previous name has");
            const size_t rest = size_t(varint());
            need(rest);
            f.Name = Previous.substr(0, shared) + d.substr(at, rest);
            at += rest;
            Previous = f.Name;
            f.Size = varint();
            need(f.Size + 4);
            f.Data = d.substr(at, f.Size);
            at += f.Size;
            if (f.Codec == 3) f.Data = Unfilter(f.Data);
            f.Crc = Get(d, at, 4);
            at += 4;
            Check(f.Crc == lzma_crc32(reinterpret_cast<const uint8_t*>(f.Data.data()),
                                      f.Data.size(), 0),
                  "CRC-32 mismatch for " + f.Name);
            p.Files.push_back(std::move(f));
        }
    }

    std::string Decode(uint8_t codec, const std::string& payload) {
        if (codec == 0) return payload;
        if (codec == 1) return Solid.Decode(payload, false);
        if (codec == 3) return Unfilter(Solid.Decode(payload, false));
        TDecoder xz;
        xz.InitXz();
        return xz.Decode(payload, true);
    }

    // The solid stream's output of a codec-3 file, as LZMA2 chunks holding it uncompressed
    // (control 1, then 2; at most 64 KiB each) and the end marker, through the x86 decoder.
    static std::string Unfilter(const std::string& filtered) {
        std::string chunks;
        for (size_t at = 0; at < filtered.size(); at += 65536) {
            const size_t n = std::min<size_t>(65536, filtered.size() - at);
            chunks += char(at == 0 ? 1 : 2);
            chunks += char((n - 1) >> 8);
            chunks += char((n - 1) & 0xFF);
            chunks += filtered.substr(at, n);
        }
        TDecoder x86;
        x86.InitX86();
        return x86.Decode(chunks + '\0', true);
    }

    const std::string& S;
    const TBlockFilter& Filter;
    size_t Pos = 0;
    std::string Previous;
    TDecoder Solid;
    TDecoder Group;
};

}  // namespace

TPackage Read(const std::function<std::string(uint32_t)>& volumeName, const TBlockFilter& filter) {
    std::string stream;
    bool last = false;
    uint32_t number = 0;
    while (!last) {
        ++number;
        const std::string name = volumeName(number);
        Check(TestUtil::Exists(name), "missing volume " + std::to_string(number));
        stream += Slice(TestUtil::ReadFile(name), number, stream, last);
    }
    TPackage p = TParser(stream, filter).Parse();
    p.VolumeCount = number;
    return p;
}

}  // namespace PackReader
