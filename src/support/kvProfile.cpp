#include "kvProfile.h"

#include <exception>

#include "Platform.h"
#include "kvIniFile.h"
#include "kvStrUtils.h"

namespace {

// The layer's fixed settings: always the cache, always all four parse options.
constexpr bool UseIniCache = true;
constexpr bool IniSkipComments = true;
constexpr bool IniRequireEquals = true;
constexpr bool IniTrimEquals = true;
constexpr bool IniStripQuotes = true;
static_assert(UseIniCache, "only the cache mode is built");

// One object per upper-cased file name, sorted for binary search. Leaving the process
// flushes it, so pending changes reach the disk even without an explicit flush.
class TProfileCache {
  public:
    TProfileCache() { List.SetSorted(true); }
    TProfileCache(const TProfileCache&) = delete;
    TProfileCache& operator=(const TProfileCache&) = delete;
    ~TProfileCache() {
        try {
            Flush();
        } catch (const std::exception&) {
            // The process is ending; nobody is left to tell.
        }
    }

    TStringList List;

    TkvIniFile* Object(int index) const { return static_cast<TkvIniFile*>(List.Objects(index)); }

    void Drop(int index) {
        TkvIniFile* ini = Object(index);
        List.Delete(index);
        delete ini;
    }

    // Every file is written before any object goes, so that a failed write is raised
    // instead of being lost in a destructor; the first failure is raised at the end.
    void Flush() {
        std::exception_ptr failed;
        for (int i = 0; i < List.Count(); ++i) {
            try {
                Object(i)->UpdateFile();
            } catch (const std::exception&) {
                if (!failed) failed = std::current_exception();
            }
        }
        for (int i = 0; i < List.Count(); ++i) delete Object(i);
        List.Clear();
        if (failed) std::rethrow_exception(failed);
    }
};

TProfileCache& Cache() {
    static TProfileCache cache;
    return cache;
}

// The cache exists, empty, before main runs.
[[maybe_unused]] const bool CacheReady = (Cache(), true);

// Windows opens under the cache key; elsewhere an upper-cased path names another file.
std::string OpenName(const std::string& fileName, const std::string& key) {
    return Plat::CaseInsensitiveFileNames() ? key : fileName;
}

int32_t ToInt32Def(const std::string& text, int32_t def) {
    int32_t value;
    return TryStrToInt32(text, value) ? value : def;
}

}  // namespace

TkvIniFile* ProfileGetIni(const std::string& fileName, bool readOnly) {
    TProfileCache& cache = Cache();
    const std::string key = Plat::AnsiUpper(fileName);
    int index;
    if (cache.List.Find(key, index)) {
        if (readOnly || !cache.Object(index)->ReadOnly) return cache.Object(index);
        // A writer replaces a reader, loading the file again in writable mode.
        cache.Drop(index);
    }
    auto* ini = new TkvIniFile(OpenName(fileName, key), readOnly, IniSkipComments, IniRequireEquals,
                               IniTrimEquals, IniStripQuotes);
    cache.List.Insert(index, key, ini);
    return ini;
}

void ProfileDropIni(const std::string& fileName) {
    TProfileCache& cache = Cache();
    int index;
    if (cache.List.Find(Plat::AnsiUpper(fileName), index)) cache.Drop(index);
}

void ProfileFlushAll() {
    Cache().Flush();
}

std::string ProfileReadString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& def) {
    return ProfileGetIni(fileName, true)->ReadString(section, key, def);
}

int32_t ProfileReadInteger(const std::string& fileName, const std::string& section,
                           const std::string& key, int32_t def) {
    return ToInt32Def(ProfileReadString(fileName, section, key, std::to_string(def)), def);
}

bool ProfileReadBool(const std::string& fileName, const std::string& section,
                     const std::string& key, bool def) {
    return ProfileReadString(fileName, section, key, def ? "1" : "0") == "1";
}

void ProfileReadSectionKeys(const std::string& fileName, const std::string& section,
                            TStringList& target) {
    ProfileGetIni(fileName, true)->ReadSectionKeys(section, target);
}

void ProfileReadSectionValues(const std::string& fileName, const std::string& section,
                              TStringList& target) {
    ProfileGetIni(fileName, true)->ReadSectionValues(section, target);
}

bool ProfileWriteString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value) {
    ProfileGetIni(fileName, false)->WriteString(section, key, value);
    return true;
}
