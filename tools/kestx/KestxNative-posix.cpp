#include <unistd.h>

#include <iostream>
#include <streambuf>

#include "KestxNative.h"
#include "Platform.h"

namespace {

// Passes text on to another buffer as UTF-8. The code page is single-byte, so each byte
// converts on its own and no state is kept between writes.
class TUtf8Buffer : public std::streambuf {
  public:
    explicit TUtf8Buffer(std::streambuf* target) : Target(target) {}

  protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        const std::string utf8 = Plat::AnsiToUtf8(std::string(text, size_t(count)));
        const auto size = std::streamsize(utf8.size());
        return Target->sputn(utf8.data(), size) == size ? count : 0;
    }
    int sync() override { return Target->pubsync(); }

  private:
    std::streambuf* Target;
};

}  // namespace

std::filesystem::path NativePath(const std::string& ansi) {
    return std::filesystem::path(Plat::AnsiToUtf8(ansi));
}

std::string AnsiName(const std::filesystem::path& path) {
    std::string ansi;
    Plat::Utf8ToAnsi(path.string(), ansi);
    return ansi;
}

std::vector<std::string> AnsiArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Plat::CommandLineText(argv[i]));
    return args;
}

// Never freed: the streams are flushed once more after every static object is gone.
void ShowAnsiOnConsole() {
    static TUtf8Buffer* const out = new TUtf8Buffer(std::cout.rdbuf());
    static TUtf8Buffer* const err = new TUtf8Buffer(std::cerr.rdbuf());
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

bool FileSystemIsWindows() {
    return false;
}
