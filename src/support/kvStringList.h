// The shared string list: ordered strings, each optionally carrying an object reference,
// with case-insensitive look-ups and an optional sorted mode with binary search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TStringList {
  public:
    virtual ~TStringList() = default;

    int Count() const { return static_cast<int>(Items.size()); }
    const std::string& operator[](int i) const { return Items[i].Str; }
    const std::string& Strings(int i) const { return Items[i].Str; }
    void* Objects(int i) const { return Items[i].Object; }
    void SetString(int i, const std::string& s) {
        Items[i].Str = s;
        ++Changes;
    }
    void SetObject(int i, void* o) { Items[i].Object = o; }

    /// Appends (or, in sorted mode, inserts at the sorted position); the new index.
    int Add(const std::string& s, void* object = nullptr);
    void Insert(int index, const std::string& s, void* object = nullptr);
    void Delete(int index);
    void Clear();

    /// First entry equal to s ignoring case (binary search in sorted mode); -1 if none.
    virtual int IndexOf(const std::string& s);
    /// First entry whose name part (before its first "=") equals name ignoring case;
    /// entries without "=" never match.
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
    std::vector<Item> Items;
    bool IsSorted = false;
    uint64_t Changes = 0;
};
