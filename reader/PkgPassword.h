// Password protection as the build applies it: the check hash in Kest.ini, the key, and
// the per-file chain of the cipher that decrypts the data files' blocks.
#pragma once

#include <cstdint>
#include <string>

#include "Gost.h"

/// Config / PswCheckHash of a Kest.ini text; empty when there is none.
std::string FindCheckHash(const std::string& iniText);

/// The check hash of a password: upper-case hex of the digest of "zvq" + password + "zvq".
std::string PasswordCheckHash(const std::string& password);

/// True for the presetup files ("Presetup\..."), which are never encrypted; in a protected
/// package every other file is (the build switches protection on after the presetup files).
bool IsPresetupName(const std::string& storedName);

/// True when the name is the run-time settings file "Presetup\Kest.ini".
bool IsKestIniName(const std::string& storedName);

/// Decrypts one file's blocks: the chain restarts for every file and runs on from block
/// to block, with the block boundaries the package recorded.
class TFileDecryptor {
  public:
    /// The key is the digest of the bare password.
    explicit TFileDecryptor(const std::string& password);
    ~TFileDecryptor();
    TFileDecryptor(const TFileDecryptor&) = delete;
    TFileDecryptor& operator=(const TFileDecryptor&) = delete;

    void StartFile();
    void DecryptBlock(unsigned char* block, size_t size);

  private:
    uint8_t Key[32];
    TGostContext Context;
};
