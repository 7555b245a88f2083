// fuzz-sources: src/support/kvIniFile.cpp src/support/kvStrUtils.cpp src/support/kvStringList.cpp
// fuzz-sources: src/support/kvFileUtils.cpp src/support/kvFileFind.cpp src/support/kvUtils.cpp
// fuzz-sources: src/platform/Platform-posix.cpp src/platform/Wildcards.cpp
// fuzz-sources: src/platform/PeImage.cpp src/platform/CodePage.cpp
// The INI reader on arbitrary bytes as a file. Input: one byte of parse options, then the
// file. Besides not crashing or hanging, every read must agree with the loaded model, and
// a write-back read again must give the same model where the format is stable under it.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "Platform.h"
#include "kvErrors.h"
#include "kvIniFile.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

std::string ScratchName(const char* what) {
    return "ini_fuzz_" + std::to_string(getpid()) + "_" + what + ".ini";
}

void WriteBytes(const std::string& name, const uint8_t* data, size_t size) {
    std::ofstream f(name, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// A file written in the ANSI code page whose bytes also form UTF-8 with more than ASCII
// is read back as UTF-8: its model then differs by design.
bool ReadsAsUtf8(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    return Plat::IsUtf8(text) && std::any_of(text.begin(), text.end(), [](char c) {
               return static_cast<unsigned char>(c) >= 0x80;
           });
}

std::string Joined(TkvIniFile& ini) {
    TStringList lines;
    ini.SaveToStrings(lines);
    std::string out;
    for (int i = 0; i < lines.Count(); ++i) out += lines[i] + '\n';
    return out;
}

void ExerciseReads(TkvIniFile& ini) {
    TStringList names;
    ini.ReadSectionNames(names);
    for (int s = 0; s < names.Count(); ++s) {
        // Loading leaves no two sections of one name, so every name finds its own entry.
        Check(ini.Sections.IndexOf(names[s]) == s);
        TStringList keys, values;
        ini.ReadSectionKeys(names[s], keys);
        ini.ReadSectionValues(names[s], values);
        const TStringList* lines = ini.Sections.SectionLines(s);
        Check(keys.Count() == lines->Count());
        Check(values.Count() <= lines->Count());
        for (int k = 0; k < keys.Count(); ++k) {
            std::string value = ini.ReadString(names[s], keys[k], "\x01");
            if (lines->Strings(k).find('=') != std::string::npos && value != "\x01")
                ini.ReadInteger(names[s], keys[k], 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t options = data[0];
    const bool skip = options & 1, require = options & 2, trim = options & 4, strip = options & 8;
    const std::string name = "./" + ScratchName("in");
    WriteBytes(name, data + 1, size - 1);

    std::string model;
    try {
        TkvIniFile ini(name, true, skip, require, trim, strip);
        ExerciseReads(ini);
        model = Joined(ini);
    } catch (const EInOutError&) {
        // Refused by name: UTF-8 text that the ANSI code page cannot hold.
        unlink(name.c_str());
        return 0;
    }
    // Removing quotes twice changes values, so only the other options promise a stable
    // round trip.
    if (!strip) {
        const std::string copy = "./" + ScratchName("copy");
        unlink(copy.c_str());
        {
            TkvIniFile writer(name, true, skip, require, trim, strip);
            writer.ReadOnly = false;
            writer.FileName = copy;
            writer.Modified = true;
            writer.UpdateFile();
            writer.ReadOnly = true;
        }
        if (!ReadsAsUtf8(copy)) {
            TkvIniFile again(copy, true, skip, require, trim, strip);
            Check(Joined(again) == model);
        }
        unlink(copy.c_str());
    }
    unlink(name.c_str());
    return 0;
}
