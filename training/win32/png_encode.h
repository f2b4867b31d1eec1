#pragma once
// A minimal PNG writer for kt4r_remote's screenshots: 8-bit RGB, no filtering, and a zlib stream
// of stored (uncompressed) deflate blocks. Larger than a compressed file, but small enough for a
// window or two, and needs no library.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::training {

inline uint32_t Crc32(std::string_view data, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (const char byte : data)
        crc = table[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

inline uint32_t Adler32(std::string_view data) {
    constexpr uint32_t kBase = 65521;
    uint32_t a = 1, b = 0;
    for (const char byte : data) {
        a = (a + static_cast<uint8_t>(byte)) % kBase;
        b = (b + a) % kBase;
    }
    return (b << 16) | a;
}

namespace png_detail {

inline void PutBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

inline void PutChunk(std::string& out, std::string_view type, std::string_view data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    std::string typed(type);
    typed += data;
    out += typed;
    PutBigEndian(out, Crc32(typed));
}

}  // namespace png_detail

// rgb: height rows of width * 3 bytes, top row first.
inline std::string EncodePng(uint32_t width, uint32_t height, std::string_view rgb) {
    using namespace png_detail;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    // Each row is preceded by its filter type, 0: none.
    std::string raw;
    raw.reserve((rowBytes + 1) * height);
    for (uint32_t y = 0; y < height; ++y) {
        raw += '\0';
        raw += rgb.substr(y * rowBytes, rowBytes);
    }

    std::string zlib = {'\x78', '\x01'};  // deflate, 32 KiB window, no dictionary
    constexpr size_t kMaxStored = 65535;
    size_t at = 0;
    do {
        const size_t length = std::min(kMaxStored, raw.size() - at);
        const bool last = at + length == raw.size();
        zlib += static_cast<char>(last ? 1 : 0);  // BFINAL, and BTYPE 00: stored
        zlib += static_cast<char>(length & 0xFF);
        zlib += static_cast<char>(length >> 8);
        zlib += static_cast<char>(~length & 0xFF);
        zlib += static_cast<char>((~length >> 8) & 0xFF);
        zlib.append(raw, at, length);
        at += length;
    } while (at < raw.size());
    PutBigEndian(zlib, Adler32(raw));

    std::string header;
    PutBigEndian(header, width);
    PutBigEndian(header, height);
    header += {'\x08', '\x02', '\0', '\0', '\0'};  // 8 bits, RGB, deflate, no filter, no interlace

    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

}  // namespace ostrel::training
