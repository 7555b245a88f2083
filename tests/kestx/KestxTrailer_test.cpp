#include <gtest/gtest.h>

#include "KestxErrors.h"
#include "KestxTestKit.h"
#include "PkgTrailer.h"

namespace {

using namespace KestxTestKit;

// stub | package stand-in | trailer: the layout of a built executable.
std::string Executable(bool plus, uint32_t presetup, std::string* packageOut = nullptr) {
    std::string exe = MakePeStub(plus, 2048);
    std::string package(777, 'p');
    exe += package;
    if (packageOut) *packageOut = package;
    exe += TrailerBytes(presetup, static_cast<uint32_t>(exe.size()));
    return exe;
}

TTrailer Locate(const std::string& bytes) {
    TMemorySource src(bytes.data(), bytes.size());
    return LocateTrailer(src);
}

TEST(KestxTrailer, FoundAtTheEndOfAnUnsignedExecutable) {
    const std::string exe = Executable(false, 4242);
    const TTrailer t = Locate(exe);
    EXPECT_EQ(t.Offset, exe.size() - 8);
    EXPECT_EQ(t.PresetupSize, 4242u);
}

TEST(KestxTrailer, FoundBeforeTheCertificateTableOfASignedExecutable) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        const std::string exe = Executable(plus, 17);
        const std::string signedExe = SignImage(exe);
        ASSERT_GT(signedExe.size(), exe.size() + 1500);
        TMemorySource src(signedExe.data(), signedExe.size());
        TPeCertificateTable cert;
        ASSERT_TRUE(FindCertificateTable(src, cert));
        EXPECT_EQ(uint64_t(cert.Offset) + cert.Size, signedExe.size());
        const TTrailer t = Locate(signedExe);
        EXPECT_EQ(t.Offset, exe.size() - 8);
        EXPECT_EQ(t.PresetupSize, 17u);
    }
}

TEST(KestxTrailer, SigningPaddingBeforeTheTableIsSkipped) {
    // A length that is not a multiple of 8 makes the signing tool pad with zero bytes.
    std::string exe = MakePeStub(false, 1001);
    exe += TrailerBytes(3, static_cast<uint32_t>(exe.size()));
    ASSERT_NE(exe.size() % 8, 0u);
    const TTrailer t = Locate(SignImage(exe));
    EXPECT_EQ(t.Offset, exe.size() - 8);
    EXPECT_EQ(t.PresetupSize, 3u);
}

TEST(KestxTrailer, PaddingLeftByRemovingTheSignatureIsSkipped) {
    // Removing a signature cuts the table but can leave its alignment padding behind.
    const std::string exe = Executable(false, 9);
    for (size_t pad = 1; pad <= 7; ++pad) {
        SCOPED_TRACE(pad);
        const TTrailer t = Locate(exe + std::string(pad, '\0'));
        EXPECT_EQ(t.Offset, exe.size() - 8);
        EXPECT_EQ(t.PresetupSize, 9u);
    }
    EXPECT_THROW(Locate(exe + std::string(8, '\0')), EKestxData);
    EXPECT_THROW(Locate(exe + std::string(2, '\0') + "x"), EKestxData);
}

TEST(KestxTrailer, FilesWithoutOurTrailerAreRefused) {
    const std::string exe = Executable(false, 1);
    std::string shortened = exe.substr(0, exe.size() - 3);
    std::string wrongOffset = exe;
    wrongOffset[wrongOffset.size() - 4] ^= 1;
    // A table that does not end the file does not move the search.
    std::string signedThenAppended = SignImage(exe) + "tail";
    std::string notPe = SignImage(exe);
    notPe[0] = 'X';
    const std::string cases[] = {
        "", "1234567", shortened, wrongOffset, signedThenAppended, notPe, std::string(64, '\0')};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size());
        EXPECT_THROW(Locate(c), EKestxData);
    }
}

TEST(KestxTrailer, DamagedPeHeadersNeverReadOutOfBounds) {
    std::string signedExe = SignImage(Executable(false, 1));
    TMemorySource probe(signedExe.data(), signedExe.size());
    TPeCertificateTable cert;
    ASSERT_TRUE(FindCertificateTable(probe, cert));
    // e_lfanew far beyond the file, a table past the end, and too few data directories.
    std::string farPe = signedExe;
    farPe[0x3F] = '\x7F';
    std::string tableBeyond = signedExe;
    tableBeyond[0x80 + 24 + 96 + 32 + 5] = '\x7F';
    std::string fewDirs = signedExe;
    fewDirs[0x80 + 24 + 92] = 4;
    for (const std::string& c : {farPe, tableBeyond, fewDirs}) {
        TMemorySource src(c.data(), c.size());
        EXPECT_FALSE(FindCertificateTable(src, cert));
        EXPECT_THROW(Locate(c), EKestxData);
    }
}

}  // namespace
