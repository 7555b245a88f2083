// Win32 search-mask matching and NTFS listing order, shared by both backends so that a
// search gives the same names in the same order everywhere.
#include <vector>

#include "Platform.h"

namespace Plat {

namespace {

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// '?' also matches nothing before a dot or at the end; '*' before a dot stops at the
// name's last dot; a dot before a wildcard or at the end also matches the end of the name.
// So "*.*" matches every name and "*." the names without a dot.
enum class Tok { Char, Star, DosStar, DosQm, DosDot };
struct Token {
    Tok kind;
    char c;
};

std::vector<Token> Tokenize(const std::string& mask) {
    std::vector<Token> out;
    for (size_t i = 0; i < mask.size(); ++i) {
        char c = mask[i], next = i + 1 < mask.size() ? mask[i + 1] : '\0';
        if (c == '?')
            out.push_back({Tok::DosQm, c});
        else if (c == '*')
            out.push_back({next == '.' ? Tok::DosStar : Tok::Star, c});
        else if (c == '.' && (next == '?' || next == '*' || next == '\0'))
            out.push_back({Tok::DosDot, c});
        else
            out.push_back({Tok::Char, FoldAscii(c)});
    }
    return out;
}

// Memoised over (token, name position), so masks with many stars stay polynomial.
class Matcher {
  public:
    Matcher(const std::vector<Token>& tokens, const std::string& name)
        : T(tokens), N(name), LastDot(name.rfind('.')), Seen((T.size() + 1) * (N.size() + 1)) {}

    bool From(size_t ti, size_t ni) {
        char& seen = Seen[ti * (N.size() + 1) + ni];
        if (seen) return false;  // explored before without success
        seen = 1;
        if (ti == T.size()) return ni == N.size();
        const Token& k = T[ti];
        switch (k.kind) {
            case Tok::Char:
                return ni < N.size() && FoldAscii(N[ni]) == k.c && From(ti + 1, ni + 1);
            case Tok::DosQm:
                return From(ti + 1, ni < N.size() && N[ni] != '.' ? ni + 1 : ni);
            case Tok::DosDot:
                if (ni == N.size()) return From(ti + 1, ni);
                return N[ni] == '.' && From(ti + 1, ni + 1);
            case Tok::Star:
            case Tok::DosStar:
                break;
        }
        size_t limit = N.size();
        if (k.kind == Tok::DosStar && LastDot != std::string::npos && LastDot >= ni)
            limit = LastDot;
        for (size_t j = ni; j <= limit; ++j)
            if (From(ti + 1, j)) return true;
        return false;
    }

  private:
    const std::vector<Token>& T;
    const std::string& N;
    size_t LastDot;
    std::vector<char> Seen;
};

int DotRank(const std::string& n) {
    return n == "." ? 0 : n == ".." ? 1 : 2;
}

}  // namespace

bool MatchesFindMask(const std::string& mask, const std::string& name) {
    if (mask == "*" || mask == "*.*") return true;
    std::vector<Token> tokens = Tokenize(mask);
    return Matcher(tokens, name).From(0, 0);
}

bool FindOrderLess(const std::string& a, const std::string& b) {
    int ra = DotRank(a), rb = DotRank(b);
    if (ra != rb) return ra < rb;
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
        auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;  // names that differ only in case keep a fixed order
}

}  // namespace Plat
