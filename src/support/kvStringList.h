// The shared string list: ordered strings, each optionally carrying an object reference,
// with case-insensitive look-ups and an optional sorted mode with binary search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TStringList {
  public:
    virtual ~TStringList() = default;

    int Count() const { return static_cast<int>(Items.size()); }
    const std::string& operator[](int i) const { return Items[i].Str; }
    const std::string& Strings(int i) const { return Items[i].Str; }
    void* Objects(int i) const { return Items[i].Object; }
    void SetString(int i, const std::string& s);
    void SetObject(int i, void* o) { Items[i].Object = o; }

    /// Appends (or, in sorted mode, inserts at the sorted position); the new index.
    int Add(const std::string& s, void* object = nullptr);
    void Insert(int index, const std::string& s, void* object = nullptr);
    void Delete(int index);
    void Clear();

    /// First entry equal to s ignoring case (binary search in sorted mode); -1 if none.
    virtual int IndexOf(const std::string& s);
    /// First entry whose name part (before its first "=") equals name ignoring case;
    /// entries without "=" never match. A long list answers from a name index that is
    /// built on first use and kept current by every change, so a look-up costs O(1) on
    /// average and appending after a look-up stays O(1); an insertion or deletion in the
    /// middle adjusts the index in one pass, as it moves the entries in one.
    int IndexOfName(const std::string& name) const;
    std::string Names(int i) const;
    std::string ValueFromIndex(int i) const;

    /// Sorted mode: entries kept in case-insensitive order; Find is a binary search.
    void SetSorted(bool sorted);
    bool Sorted() const { return IsSorted; }
    /// Binary search (sorted mode): true and the index when found, else false and the
    /// insertion index.
    bool Find(const std::string& s, int& index) const;

    /// Changes whenever an entry's string, position or presence changes, so that derived
    /// lists can tell whether an index they keep over the strings is still current.
    uint64_t ChangeStamp() const { return Changes; }

  private:
    struct Item {
        std::string Str;
        void* Object;
    };
    // Names hashed and compared with ASCII letters folded, looked up without a copy.
    struct FoldedHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const;
    };
    struct FoldedEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    std::vector<Item> Items;
    bool IsSorted = false;
    uint64_t Changes = 0;

    // The name index. NameHeads maps every name whose equality ASCII folding decides to
    // the first entry holding it; OtherNames lists, ascending, the entries whose names the
    // platform's comparison has to judge. Lines without "=" are in neither.
    mutable bool NamesIndexed = false;
    mutable std::unordered_map<std::string, int, FoldedHash, FoldedEqual> NameHeads;
    mutable std::vector<int> OtherNames;

    void IndexNames() const;
    void DropNameIndex();
    void IndexEntry(int i) const;
    void UnindexEntry(int i) const;
    void ShiftIndexed(int from, int delta) const;
    int ScanNames(const std::string& name) const;
    int IndexedName(const std::string& name) const;
};
