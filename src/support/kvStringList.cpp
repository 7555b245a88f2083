#include "kvStringList.h"

#include <algorithm>

#include "Platform.h"

namespace {

// Below this many entries a walk over the names is cheaper than keeping an index.
constexpr int MinIndexedCount = 64;

char FoldAsciiLetter(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool FoldedSame(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i])) return false;
    return true;
}

bool NamePart(const std::string& line, std::string_view& name) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    name = std::string_view(line).substr(0, eq);
    return true;
}

// True when the platform's comparison is ASCII case folding of single bytes, as on POSIX.
// A comparison that equates any other pair of bytes (accented letters under a Windows
// code page) or passes over a byte (characters a locale ignores) fails the probe.
bool PlatformFoldsAsciiOnly() {
    static const bool asciiOnly = [] {
        std::string a(1, '\0'), b(1, '\0'), withA = "A?";
        for (int x = 0; x < 256; ++x) {
            a[0] = withA[1] = static_cast<char>(x);
            if (Plat::AnsiCompareIgnoreCase(withA, "A") == 0) return false;
            for (int y = x + 1; y < 256; ++y) {
                b[0] = static_cast<char>(y);
                const bool same = Plat::AnsiCompareIgnoreCase(a, b) == 0;
                if (same != (FoldAsciiLetter(a[0]) == FoldAsciiLetter(b[0]))) return false;
            }
        }
        return true;
    }();
    return asciiOnly;
}

// Whether ASCII folding alone decides this name's equality with any other. Printable
// ASCII is compared that way by every locale; other bytes only where the probe says so.
bool FoldingDecides(std::string_view name) {
    return PlatformFoldsAsciiOnly() ||
           std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

// The platform's comparison of a name part with a name; scratch saves an allocation per
// line.
bool PlatformSame(std::string_view part, const std::string& name, std::string& scratch) {
    scratch.assign(part);
    return Plat::AnsiCompareIgnoreCase(scratch, name) == 0;
}

}  // namespace

size_t TStringList::FoldedHash::operator()(std::string_view s) const {
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (char c : s) h = (h ^ static_cast<unsigned char>(FoldAsciiLetter(c))) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 32));
}

bool TStringList::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
    return FoldedSame(a, b);
}

int TStringList::Add(const std::string& s, void* object) {
    if (IsSorted) {
        int index;
        Find(s, index);
        Insert(index, s, object);
        return index;
    }
    Items.push_back({s, object});
    ++Changes;
    if (NamesIndexed) IndexEntry(Count() - 1);
    return Count() - 1;
}

void TStringList::Insert(int index, const std::string& s, void* object) {
    Items.insert(Items.begin() + index, Item{s, object});
    ++Changes;
    if (NamesIndexed) {
        ShiftIndexed(index, 1);
        IndexEntry(index);
    }
}

void TStringList::Delete(int index) {
    if (NamesIndexed) UnindexEntry(index);
    Items.erase(Items.begin() + index);
    ++Changes;
    if (NamesIndexed) ShiftIndexed(index + 1, -1);
}

void TStringList::Clear() {
    Items.clear();
    ++Changes;
    DropNameIndex();
}

void TStringList::SetString(int i, const std::string& s) {
    std::string_view before, after;
    const bool hadName = NamePart(Items[i].Str, before);
    const bool moved =
        NamesIndexed && (hadName != NamePart(s, after) || (hadName && !FoldedSame(before, after)));
    if (moved) UnindexEntry(i);
    Items[i].Str = s;
    ++Changes;
    if (moved) IndexEntry(i);
}

int TStringList::IndexOf(const std::string& s) {
    if (IsSorted) {
        int index;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (Plat::AnsiCompareIgnoreCase(Items[i].Str, s) == 0) return i;
    return -1;
}

int TStringList::IndexOfName(const std::string& name) const {
    if (!NamesIndexed) {
        if (Count() < MinIndexedCount) return ScanNames(name);
        IndexNames();
    }
    return FoldingDecides(name) ? IndexedName(name) : ScanNames(name);
}

int TStringList::ScanNames(const std::string& name) const {
    const bool folding = FoldingDecides(name);
    std::string scratch;
    for (int i = 0; i < Count(); ++i) {
        std::string_view part;
        if (!NamePart(Items[i].Str, part)) continue;
        if ((folding && FoldingDecides(part)) ? FoldedSame(part, name)
                                              : PlatformSame(part, name, scratch))
            return i;
    }
    return -1;
}

// The index's first holder of the name, unless a name only the platform can judge comes
// earlier and equals it.
int TStringList::IndexedName(const std::string& name) const {
    const auto head = NameHeads.find(std::string_view(name));
    const int first = head == NameHeads.end() ? -1 : head->second;
    std::string scratch;
    for (int i : OtherNames) {
        if (first >= 0 && i > first) break;
        std::string_view part;
        NamePart(Items[i].Str, part);
        if (PlatformSame(part, name, scratch)) return i;
    }
    return first;
}

void TStringList::IndexNames() const {
    NameHeads.clear();
    OtherNames.clear();
    NameHeads.reserve(Items.size());
    NamesIndexed = true;
    for (int i = 0; i < Count(); ++i) IndexEntry(i);
}

void TStringList::DropNameIndex() {
    NamesIndexed = false;
    NameHeads.clear();
    OtherNames.clear();
}

// Records entry i, which the index does not hold yet, with every other position current.
void TStringList::IndexEntry(int i) const {
    std::string_view name;
    if (!NamePart(Items[i].Str, name)) return;
    if (!FoldingDecides(name)) {
        OtherNames.insert(std::lower_bound(OtherNames.begin(), OtherNames.end(), i), i);
        return;
    }
    const auto head = NameHeads.find(name);
    if (head == NameHeads.end())
        NameHeads.emplace(std::string(name), i);
    else if (i < head->second)
        head->second = i;
}

// Forgets entry i before it goes or changes its name: a name it held first passes to its
// next holder.
void TStringList::UnindexEntry(int i) const {
    std::string_view name;
    if (!NamePart(Items[i].Str, name)) return;
    if (!FoldingDecides(name)) {
        OtherNames.erase(std::lower_bound(OtherNames.begin(), OtherNames.end(), i));
        return;
    }
    const auto head = NameHeads.find(name);
    if (head == NameHeads.end() || head->second != i) return;
    for (int j = i + 1; j < Count(); ++j) {
        std::string_view later;
        if (NamePart(Items[j].Str, later) && FoldedSame(later, name)) {
            head->second = j;
            return;
        }
    }
    NameHeads.erase(head);
}

void TStringList::ShiftIndexed(int from, int delta) const {
    for (auto& head : NameHeads)
        if (head.second >= from) head.second += delta;
    for (int& i : OtherNames)
        if (i >= from) i += delta;
}

std::string TStringList::Names(int i) const {
    auto eq = Items[i].Str.find('=');
    return eq == std::string::npos ? std::string() : Items[i].Str.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int i) const {
    auto eq = Items[i].Str.find('=');
    return eq == std::string::npos ? std::string() : Items[i].Str.substr(eq + 1);
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !IsSorted)
        std::stable_sort(Items.begin(), Items.end(), [](const Item& a, const Item& b) {
            return Plat::AnsiCompareIgnoreCase(a.Str, b.Str) < 0;
        });
    if (sorted && !IsSorted) DropNameIndex();
    IsSorted = sorted;
    ++Changes;
}

bool TStringList::Find(const std::string& s, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = Plat::AnsiCompareIgnoreCase(Items[mid].Str, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) found = true;
        }
    }
    index = lo;
    return found;
}
