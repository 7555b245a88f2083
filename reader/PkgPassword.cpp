#include "PkgPassword.h"

#include <cstring>
#include <vector>

#include "Haval.h"

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

bool StartsWithIgnoreCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && EqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\r' || c == '\n')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    return lines;
}

void Digest(const std::string& text, uint8_t* out) {
    THavalContext ctx;
    HavalInit(ctx);
    HavalUpdate(ctx, text.data(), static_cast<int32_t>(text.size()));
    HavalFinal(ctx, out);
}

}  // namespace

std::string FindCheckHash(const std::string& iniText) {
    bool inConfig = false;
    for (const std::string& raw : Lines(iniText)) {
        const std::string line = Trim(raw);
        if (!line.empty() && line[0] == '[') {
            const size_t close = line.find(']');
            inConfig = close != std::string::npos &&
                       EqualsIgnoreCase(Trim(line.substr(1, close - 1)), "Config");
            continue;
        }
        const size_t eq = line.find('=');
        if (inConfig && eq != std::string::npos &&
            EqualsIgnoreCase(Trim(line.substr(0, eq)), "PswCheckHash"))
            return Trim(line.substr(eq + 1));
    }
    return {};
}

std::string PasswordCheckHash(const std::string& password) {
    uint8_t digest[32];
    Digest("zvq" + password + "zvq", digest);
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

bool IsPresetupName(const std::string& storedName) {
    return StartsWithIgnoreCase(storedName, "Presetup\\");
}

bool IsKestIniName(const std::string& storedName) {
    return EqualsIgnoreCase(storedName, "Presetup\\Kest.ini");
}

TFileDecryptor::TFileDecryptor(const std::string& password) {
    Digest(password, Key);
    std::memset(&Context, 0xFF, sizeof Context);
}

TFileDecryptor::~TFileDecryptor() {
    GostBurn(Context);
    std::memset(Key, 0, sizeof Key);
}

void TFileDecryptor::StartFile() {
    GostInit(Context, Key, 256, nullptr);
}

void TFileDecryptor::DecryptBlock(unsigned char* block, size_t size) {
    if (size) GostDecryptCBC(Context, block, block, static_cast<int32_t>(size));
}
