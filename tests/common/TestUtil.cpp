#include "TestUtil.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace TestUtil {

char Sep() { return static_cast<char>(fs::path::preferred_separator); }

std::string Env(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    fs::path base = Env("KEST_TEST_TMP", fs::temp_directory_path().string());
    std::random_device rd;
    for (;;) {
        std::ostringstream name;
        name << "t" << std::hex << rd() << "_" << counter++;
        fs::path p = base / name.str();
        fs::create_directories(base);
        if (fs::create_directory(p)) {
            Dir = p.string() + Sep();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only entries would stop remove_all on Windows.
    for (auto it = fs::recursive_directory_iterator(Dir, ec); !ec && it != fs::end(it);
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(Dir, ec);
}

std::string TempDir::operator/(const std::string& name) const { return Dir + name; }

void WriteFile(const std::string& path, const std::string& bytes) {
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    if (!f) throw std::runtime_error("cannot write " + path);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(fs::path(path), std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}

}  // namespace TestUtil
