#include "PkgPassword.h"

#include <cstring>

#include "Haval.h"
#include "PkgIni.h"

namespace {

bool StartsWithIgnoreCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

void Digest(const std::string& text, uint8_t* out) {
    THavalContext ctx;
    HavalInit(ctx);
    HavalUpdate(ctx, text.data(), static_cast<int32_t>(text.size()));
    HavalFinal(ctx, out);
}

}  // namespace

std::string FindCheckHash(const std::string& iniText) {
    return TIniText(iniText).Get("Config", "PswCheckHash");
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
    return SameText(storedName, "Presetup\\Kest.ini");
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
