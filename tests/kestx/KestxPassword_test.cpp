// Protected packages: the password is checked against Kest.ini's check hash before
// anything is decrypted.
#include <gtest/gtest.h>

#include <filesystem>

#include "Gost.h"
#include "HPacker.h"
#include "KestxNative.h"
#include "KestxTestKit.h"
#include "PkgPassword.h"
#include "TestUtil.h"

namespace fs = std::filesystem;

namespace {

using namespace KestxTestKit;

TEST(KestxPassword, CheckHashIsTheDigestOfTheWrappedPassword) {
    for (const std::string pw : {"", "a", "s3cret pass", "\xE9t\xE9"}) {
        const std::string hash = PasswordCheckHash(pw);
        EXPECT_EQ(hash, TPacker::HashStringHex("zvq" + pw + "zvq"));
        EXPECT_NE(hash, TPacker::HashStringHex(pw));
    }
}

TEST(KestxPassword, CheckHashIsFoundInTheConfigSectionOnly) {
    const std::string h(64, 'A');
    EXPECT_EQ(FindCheckHash("[Config]\r\nLanguages=ENU\r\nPswCheckHash=" + h + "\r\n"), h);
    EXPECT_EQ(FindCheckHash("[config]\npswcheckhash = " + h + " \n"), h);
    EXPECT_EQ(FindCheckHash("[Other]\r\nPswCheckHash=" + h + "\r\n[Config]\r\nX=1\r\n"), "");
    EXPECT_EQ(FindCheckHash("PswCheckHash=" + h), "");
    EXPECT_EQ(FindCheckHash(""), "");
}

TEST(KestxPassword, PresetupAndKestIniNamesAreRecognisedInAnyCase) {
    EXPECT_TRUE(IsPresetupName("Presetup\\Lang\\ENU.lng"));
    EXPECT_TRUE(IsPresetupName("presetup\\UnKest.exe"));
    EXPECT_FALSE(IsPresetupName("Data\\Presetup\\a.txt"));
    EXPECT_FALSE(IsPresetupName("PresetupX\\a.txt"));
    EXPECT_TRUE(IsKestIniName("Presetup\\Kest.ini"));
    EXPECT_TRUE(IsKestIniName("PRESETUP\\KEST.INI"));
    EXPECT_FALSE(IsKestIniName("Presetup\\Sub\\Kest.ini"));
}

// Blocks of any sizes, partial tails mid-file included, decrypt to what the packer's
// chaining mode encrypted, with the chain restarting at every file.
TEST(KestxPassword, DecryptorUndoesTheChainBlockByBlock) {
    const std::string password = "block by block";
    uint8_t key[32];
    TPacker::HashString(password, key);
    const std::vector<std::vector<size_t>> files = {{13, 8, 5, 21}, {0, 7, 16, 1}, {64}};
    TFileDecryptor decryptor(password);
    for (const auto& sizes : files) {
        TGostContext enc;
        GostInit(enc, key, 256, nullptr);
        decryptor.StartFile();
        uint32_t seed = 1;
        for (size_t size : sizes) {
            std::string plain(size, '\0');
            for (char& c : plain) c = static_cast<char>(seed = seed * 1103515245u + 12345u);
            std::string block = plain;
            GostEncryptCBC(enc, reinterpret_cast<const uint8_t*>(block.data()),
                           reinterpret_cast<uint8_t*>(block.data()), static_cast<int32_t>(size));
            if (size) {
                EXPECT_NE(block, plain);
            }
            decryptor.DecryptBlock(reinterpret_cast<unsigned char*>(block.data()), block.size());
            EXPECT_EQ(block, plain) << "block of " << size;
        }
    }
}

class KestxProtected : public ::testing::Test {
  protected:
    void SetUp() override {
        files = {{"Presetup\\Lang\\ENU.lng", MakeData(2000, 1)},
                 {"Data\\a.txt", MakeData(30000, 2)},
                 {"Data\\b.txt", MakeData(9, 3)}};
        TBuildOptions options;
        options.Password = "right";
        built = BuildPackage(tmp.Path() + "build", files, options);
    }
    TestUtil::TempDir tmp;
    std::vector<TTreeFile> files;
    TBuilt built;
};

TEST_F(KestxProtected, WrongOrMissingPasswordIsRejectedBeforeAnyDataFile) {
    struct TCase {
        std::vector<std::string> Password;
        std::string Message;
    };
    const TCase cases[] = {{{"--password", "wrong"}, "wrong password"},
                           {{"--password", ""}, "wrong password"},
                           {{"--password", "Right"}, "wrong password"},
                           {{}, "protected by a password"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Message);
        std::vector<std::string> verify = {"verify", built.Exe};
        verify.insert(verify.end(), c.Password.begin(), c.Password.end());
        const TRunResult v = RunKestx(verify);
        EXPECT_EQ(v.Code, 2);
        EXPECT_NE(v.Error.find(c.Message), std::string::npos) << v.Error;

        const std::string out = tmp.Path() + "out";
        std::vector<std::string> extract = {"extract", built.Exe, out};
        extract.insert(extract.end(), c.Password.begin(), c.Password.end());
        const TRunResult e = RunKestx(extract);
        EXPECT_EQ(e.Code, 2);
        EXPECT_NE(e.Error.find(c.Message), std::string::npos) << e.Error;
        EXPECT_FALSE(fs::exists(NativePath(out) / "Data"));
        fs::remove_all(NativePath(out));
    }
    EXPECT_EQ(RunKestx({"verify", built.Exe, "--password", "right"}).Code, 0);
}

TEST(KestxProtectedBigIni, CheckHashAfterMegabytesOfFileInfoIsFound) {
    TestUtil::TempDir tmp;
    TBuildOptions options;
    options.Password = "pw";
    std::string fileInfo = "[FileInfo]\r\n";
    for (int i = 0; fileInfo.size() < (3u << 20); ++i)
        fileInfo += "Dir\\File" + std::to_string(i) + ".txt=12345,1.2.3.4\r\n";
    options.IniHead = fileInfo;
    const TBuilt built = BuildPackage(tmp.Path() + "build", {{"Data\\a.txt", "abc"}}, options);
    const TRunResult right = RunKestx({"verify", built.Exe, "--password", "pw"});
    EXPECT_EQ(right.Code, 0) << right.Error;
    const TRunResult wrong = RunKestx({"verify", built.Exe, "--password", "px"});
    EXPECT_EQ(wrong.Code, 2);
    EXPECT_NE(wrong.Error.find("wrong password"), std::string::npos) << wrong.Error;
}

TEST_F(KestxProtected, ListingNeedsNoPassword) {
    const TRunResult r = RunKestx({"list", built.Exe});
    EXPECT_EQ(r.Code, 0) << r.Error;
    EXPECT_NE(r.Out.find("Data\\a.txt"), std::string::npos);
}

TEST(KestxUnprotected, PasswordIsNotNeededAndSaysSo) {
    TestUtil::TempDir tmp;
    const TBuilt built = BuildPackage(tmp.Path() + "b", {{"Data\\a.txt", "abc"}}, {});
    const TRunResult r = RunKestx({"verify", built.Exe, "--password", "any"});
    EXPECT_EQ(r.Code, 0) << r.Error;
    EXPECT_NE(r.Err.find("not protected"), std::string::npos);
}

TEST(KestxUnprotected, EncryptedDataWithoutCheckHashFailsItsChecksum) {
    // Without Kest.ini nothing says the data is encrypted: the checksums catch it.
    TestUtil::TempDir tmp;
    TBuildOptions options;
    options.Password = "hidden";
    options.WithKestIni = false;
    const TBuilt built =
        BuildPackage(tmp.Path() + "b", {{"Data\\a.txt", MakeData(5000, 4)}}, options);
    const TRunResult r = RunKestx({"verify", built.Exe});
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Error.find("Data\\a.txt"), std::string::npos) << r.Error;
}

}  // namespace
