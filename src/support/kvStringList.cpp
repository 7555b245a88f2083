#include "kvStringList.h"

#include <algorithm>

#include "Platform.h"

int TStringList::Add(const std::string& s, void* object) {
    if (IsSorted) {
        int index;
        Find(s, index);
        Insert(index, s, object);
        return index;
    }
    Items.push_back({s, object});
    ++Changes;
    return Count() - 1;
}

void TStringList::Insert(int index, const std::string& s, void* object) {
    Items.insert(Items.begin() + index, Item{s, object});
    ++Changes;
}

void TStringList::Delete(int index) {
    Items.erase(Items.begin() + index);
    ++Changes;
}

void TStringList::Clear() {
    Items.clear();
    ++Changes;
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
    for (int i = 0; i < Count(); ++i) {
        auto eq = Items[i].Str.find('=');
        if (eq != std::string::npos &&
            Plat::AnsiCompareIgnoreCase(Items[i].Str.substr(0, eq), name) == 0)
            return i;
    }
    return -1;
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
