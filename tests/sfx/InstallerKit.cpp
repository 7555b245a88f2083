#include "InstallerKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "ProgramRun.h"
#include "TestUtil.h"

namespace fs = std::filesystem;

namespace InstallerKit {

namespace {

bool Runs32Bit() {
    static const int runs = std::system("/usr/lib/wine/wine --version >/dev/null 2>&1") == 0;
    return runs;
}

std::string Top() {
    return TestUtil::Env("KEST_SOURCE_DIR");
}

std::string WineBinary() {
    return Runs32Bit() ? "/usr/lib/wine/wine" : "/usr/lib/wine/wine64";
}

std::string Prefix() {
    return Top() + (Runs32Bit() ? "/out/wineprefix" : "/out/wineprefix64");
}

// kestbuild with its companions, the stub and uninstaller being the ones Wine runs here; a
// folder of this process's own, since the installer and the wizard tests run side by side.
std::string ToolDir() {
    static std::string dir;
    if (!dir.empty()) return dir;
    static const TestUtil::TempDir tools;
    const std::string bin = TestUtil::Env("KEST_BIN_DIR");
    const std::string stubs = Runs32Bit() ? bin : TestUtil::Env("KEST_SFX64_DIR");
    dir = tools.Path() + "installer-tools";
    fs::create_directories(dir);
    for (const char* name : {"kestbuild", "Pack.dll"}) fs::copy(bin + "/" + name, dir + "/" + name);
    fs::copy(bin + "/Presetup", dir + "/Presetup", fs::copy_options::recursive);
    fs::copy(stubs + "/Kest.sfx", dir + "/Kest.sfx");
    fs::copy(stubs + "/UnKest.exe", dir + "/Presetup/UnKest.exe",
             fs::copy_options::overwrite_existing);
    return dir;
}

TEnvList WineEnv() {
    return {{"WINEPREFIX", Prefix()},
            {"WINEDEBUG", "-all"},
            {"WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d"},
            {"DISPLAY", ""}};
}

// scripts/wine-run.sh in the mode that keeps $DISPLAY, with a prefix of its own.
TEnvList GuiWineEnv() {
    return {{"KEST_WINE_GUI", "1"}, {"KEST_WINE_TIMEOUT", "110"}};
}

void Write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

std::string WinPath(const std::string& path) {
    std::string out = "Z:" + fs::absolute(path).string();
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

TBuilt Build(const std::string& dir, const TProject& project) {
    fs::create_directories(dir);
    for (const TFile& f : project.Data) Write(dir + "/Image/Data/" + f.Name, f.Bytes);
    for (const TFile& f : project.Presetup) Write(dir + "/Image/Presetup/" + f.Name, f.Bytes);
    std::string ini = "[Config]\r\nTitle=" + project.Title +
                      "\r\nDefaultDir=C:\\KestTest\r\nLanguages=" + project.Languages +
                      "\r\nUninstall=" + (project.Uninstall ? "1" : "0") + "\r\n" +
                      project.KestIniExtra;
    Write(dir + "/Image/Presetup/Kest.ini", ini);
    std::string kst = "[Config]\r\nImagePath=Image\r\nExeName=Setup.exe\r\nCompressionLevel=7\r\n";
    if (!project.Password.empty()) kst += "Password=" + project.Password + "\r\n";
    Write(dir + "/Project.kst", kst);
    TEnvList env = {{"KEST_NO_WAIT", "1"}, {"CI", "1"}};
    if (!project.VolumeSize.empty()) env.push_back({"KEST_VOLUME_SIZE", project.VolumeSize});
    const TRunResult r = RunProgram(dir, ToolDir() + "/kestbuild", {"Project"}, env);
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_NE(r.Out.find("Package building is completed."), std::string::npos) << r.Out;
    return {dir, dir + "/Setup.exe"};
}

TRun RunWine(const std::string& exe, const std::vector<std::string>& args) {
    static bool booted = false;
    if (!booted && !fs::exists(Prefix() + "/system.reg")) {
        fs::create_directories(Prefix());
        RunProgram(Top(), "/usr/bin/timeout", {"300", WineBinary(), "wineboot", "-i"}, WineEnv());
    }
    booted = true;
    std::vector<std::string> full = {"-k", "10", "300", WineBinary(), exe};
    full.insert(full.end(), args.begin(), args.end());
    const TRunResult r =
        RunProgram(fs::path(exe).parent_path().string(), "/usr/bin/timeout", full, WineEnv());
    return {r.ExitCode, r.Out, r.Err};
}

TRun RunWizard(const std::string& steps, const std::string& exe,
               const std::vector<std::string>& switches, const std::string& locale) {
    // Each wait of the driver ends well before the run's own time limit; the steps it did
    // go to standard error, for the message of a failed test.
    const std::string driver = TestUtil::Env("KEST_SFX64_DIR") + "/WizardDriver.exe";
    std::vector<std::string> args = {driver, "-v", "-t", "30", "-x", "60"};
    args.insert(args.end(), {"-f", WinPath(steps), "--", WinPath(exe)});
    args.insert(args.end(), switches.begin(), switches.end());
    TEnvList env = GuiWineEnv();
    env.insert(env.end(), {{"LANG", locale}, {"LC_ALL", locale}});
    const TRunResult r =
        RunProgram(fs::path(exe).parent_path().string(), Top() + "/scripts/wine-run.sh", args, env);
    return {r.ExitCode, r.Out, r.Err};
}

void EndWizardWine() {
    RunProgram(Top(), Top() + "/scripts/wine-run.sh", {"--stop", "64"}, GuiWineEnv());
}

std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    if (!fs::exists(dir)) return files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string rel = fs::relative(e.path(), dir).generic_string();
        if (e.is_directory())
            files[rel + "/"] = "";
        else
            files[rel] = TestUtil::ReadFile(e.path().string());
    }
    return files;
}

std::vector<std::string> LeftoverTempDirs() {
    std::vector<std::string> found;
    const fs::path users = Prefix() + "/drive_c/users";
    if (!fs::exists(users)) return found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(
             users, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink()) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string name = it->path().filename().string();
        if (it->is_directory() && name.rfind("Kest", 0) == 0 && name.size() > 4 &&
            name.find(".tmp") != std::string::npos)
            found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string RegistryValue(const std::string& title, const std::string& value) {
    const std::string key = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + title;
    for (const char* root : {"HKLM", "HKCU"}) {
        const TRunResult r =
            RunProgram(Top(), "/usr/bin/timeout",
                       {"120", WineBinary(), "reg", "query", root + key, "/v", value}, WineEnv());
        if (r.ExitCode != 0) continue;
        const size_t at = r.Out.find("REG_");
        if (at == std::string::npos) continue;
        size_t start = r.Out.find_first_not_of(" \t", r.Out.find_first_of(" \t", at));
        size_t end = r.Out.find('\n', start);
        return r.Out.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    return "";
}

void DeleteRegistration(const std::string& title) {
    const std::string key = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + title;
    for (const char* root : {"HKLM", "HKCU"})
        RunProgram(Top(), "/usr/bin/timeout",
                   {"120", WineBinary(), "reg", "delete", root + key, "/f"}, WineEnv());
}

std::string Bytes(size_t size, unsigned seed) {
    std::string s(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        const size_t zone = (i / 4096 + seed) % 3;
        s[i] = zone == 0   ? static_cast<char>(x >> 16)
               : zone == 1 ? 'a' + (i % 7)
                           : static_cast<char>(i);
    }
    return s;
}

}  // namespace InstallerKit
