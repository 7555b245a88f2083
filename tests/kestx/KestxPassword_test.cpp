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
    // Notepad's byte-order mark before the first section, as the installer reads it too.
    EXPECT_EQ(FindCheckHash("\xEF\xBB\xBF[Config]\r\nPswCheckHash=" + h + "\r\n"), h);
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

// A build without a password keeps the check hash that the project's Kest.ini holds: the
// data decides. Stored and compressed data, and an empty first data file that cannot tell.
TEST(KestxStaleCheckHash, PlainDataIsReadWithoutPassword) {
    struct TCase {
        int32_t Level;
        bool EmptyFirst;
    } const cases[] = {{7, false}, {0, false}, {7, true}, {0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.Level) + (c.EmptyFirst ? ", empty first" : ""));
        TestUtil::TempDir tmp;
        std::vector<TTreeFile> files = {{"Presetup\\ENU.lng", MakeData(3000, 5)}};
        if (c.EmptyFirst) files.push_back({"Data\\0.txt", ""});
        files.push_back({"Data\\a.txt", MakeData(40000, 6)});
        TBuildOptions options;
        options.Password = "stale";
        options.Level = c.Level;
        options.Encrypt = false;
        const TBuilt built = BuildPackage(tmp.Path() + "b", files, options);
        for (const TTreeFile& f : built.Files) {
            if (IsKestIniName(f.Stored)) {
                EXPECT_EQ(FindCheckHash(f.Bytes), PasswordCheckHash("stale"));
            }
        }

        const TRunResult v = RunKestx({"verify", built.Exe});
        EXPECT_EQ(v.Code, 0) << v.Error;
        const TRunResult e = RunKestx({"extract", built.Exe, tmp.Path() + "out"});
        ASSERT_EQ(e.Code, 0) << e.Error;
        EXPECT_EQ(ReadBytes(tmp.Path() + "out/Data/a.txt"), files.back().Bytes);
        const TRunResult l = RunKestx({"list", built.Exe});
        EXPECT_NE(l.Out.find("not protected"), std::string::npos) << l.Out;
        const TRunResult withPassword = RunKestx({"verify", built.Exe, "--password", "stale"});
        EXPECT_EQ(withPassword.Code, 0) << withPassword.Error;
        EXPECT_NE(withPassword.Err.find("not protected"), std::string::npos);
    }
}

// Encrypted data, stored or compressed, still asks for its password; list says so.
TEST(KestxProtectedData, IsToldFromTheData) {
    for (int32_t level : {0, 7}) {
        SCOPED_TRACE("level " + std::to_string(level));
        TestUtil::TempDir tmp;
        TBuildOptions options;
        options.Password = "sealed";
        options.Level = level;
        const TBuilt built = BuildPackage(
            tmp.Path() + "b", {{"Data\\0.txt", ""}, {"Data\\a.txt", MakeData(20000, 7)}}, options);
        const TRunResult l = RunKestx({"list", built.Exe});
        EXPECT_EQ(l.Code, 0) << l.Error;
        EXPECT_NE(l.Out.find("protected by a password"), std::string::npos) << l.Out;
        const TRunResult v = RunKestx({"verify", built.Exe});
        EXPECT_EQ(v.Code, 2);
        EXPECT_NE(v.Error.find("protected by a password"), std::string::npos) << v.Error;
        EXPECT_EQ(RunKestx({"verify", built.Exe, "--password", "sealed"}).Code, 0);
    }
    TestUtil::TempDir tmp;
    const TBuilt plain = BuildPackage(tmp.Path() + "p", {{"Data\\a.txt", "abc"}}, {});
    EXPECT_NE(RunKestx({"list", plain.Exe}).Out.find("not protected"), std::string::npos);
}

// The password off the command line: from a file's first line or from KESTX_PASSWORD; the
// command line wins over the variable.
TEST_F(KestxProtected, PasswordFromAFileOrTheEnvironment) {
    const std::string file = tmp.Path() + "pw.txt";
    struct TCase {
        const char* What;
        std::string FileText;  // written to pw.txt when args name it
        std::vector<std::string> Args;
        const char* Environment;
        int Code;
        const char* Error;
    } const cases[] = {
        {"file, CR LF", "right\r\nsecond line\r\n", {"--password-file", file}, nullptr, 0, ""},
        {"file, no line end", "right", {"--password-file=" + file}, nullptr, 0, ""},
        {"file, wrong", "wrong\n", {"--password-file", file}, nullptr, 2, "wrong password"},
        {"variable", "", {}, "right", 0, ""},
        {"variable, wrong", "", {}, "wrong", 2, "wrong password"},
        {"variable, empty", "", {}, "", 2, "protected by a password"},
        {"argument over variable", "", {"--password", "right"}, "wrong", 0, ""},
        {"file over variable", "right\n", {"--password-file", file}, "wrong", 0, ""},
        {"missing file",
         "",
         {"--password-file", tmp.Path() + "none"},
         nullptr,
         2,
         "cannot read the password file"},
        {"file and argument",
         "right",
         {"--password-file", file, "--password", "right"},
         nullptr,
         1,
         "give the password once"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        WriteBytes(file, c.FileText);
        std::vector<std::string> args = {"verify", built.Exe};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const TRunResult r = RunKestx(args, c.Environment);
        EXPECT_EQ(r.Code, c.Code) << r.Error;
        EXPECT_NE(r.Error.find(c.Error), std::string::npos) << r.Error;
    }
    EXPECT_EQ(RunKestx({"list", built.Exe, "--password-file", file}).Code, 1);
    EXPECT_EQ(RunKestx({"list", built.Exe}, "wrong").Code, 0) << "list needs no password";
}

}  // namespace
