// The system's own INI reader and writer: the whole file is loaded into a list of
// sections, reads and writes work on that model, and a flush regenerates the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Platform.h"
#include "kvStringList.h"

/// The sections of an INI model: each entry's string is a section name as it stood
/// between the brackets, its object that section's line list (a TStringList*).
/// The lists are owned by the INI object; only RemoveDuplicates releases any.
class TSectionList : public TStringList {
  public:
    /// Index of the entry found by the last successful IndexOf.
    int32_t LastIndex = 0;

    /// First entry named s (ignoring case), searching from LastIndex to the end and then
    /// from the start; remembers a match in LastIndex. -1 when there is none.
    int IndexOf(const std::string& s) override;
    TStringList* SectionLines(int index) const;
    /// Keeps the earliest of every group of equally named sections and drops the others
    /// with their lines. True when something was dropped.
    bool RemoveDuplicates();

    /// The wrapping search of IndexOf from a given start, without touching LastIndex.
    /// One comparison when the start entry matches; otherwise a binary search over a
    /// sorted index of the names, so a miss does not cost a pass over every section.
    int FindFrom(const std::string& s, int start);
    /// Appends a section and keeps the name index current without a rebuild.
    int AddSection(const std::string& name, TStringList* lines);

  private:
    std::vector<int> NameOrder;  // entry indices by name, equal names by position
    uint64_t NameOrderStamp = ~uint64_t(0);

    bool NameOrderCurrent() const { return NameOrderStamp == ChangeStamp(); }
    void RebuildNameOrder();
    std::vector<int>::iterator FirstNotBelow(const std::string& s);
};

class TkvIniFile {
  public:
    enum class THandleState { None, Open, Failed };

    std::string FileName;
    Plat::Handle FileHandle = Plat::InvalidHandle;
    /// None, an open file, or Failed after a create at write-back did not succeed (which
    /// is then never tried again by this object).
    THandleState HandleState = THandleState::None;
    bool Modified = false;
    TSectionList Sections;
    int32_t SectionCursor = 0;
    bool ReadOnly;
    bool SkipComments;
    bool RequireEquals;
    bool TrimEquals;
    bool StripQuotes;

    /// Loads the file. Raises EInOutError "Cannot open file %s" when it exists but cannot
    /// be opened (for a writable object: opened for writing, other writers kept out).
    TkvIniFile(const std::string& fileName, bool readOnly, bool skipComments, bool requireEquals,
               bool trimEquals, bool stripQuotes);
    TkvIniFile(const TkvIniFile&) = delete;
    TkvIniFile& operator=(const TkvIniFile&) = delete;
    /// Writes pending changes back, then closes the file.
    virtual ~TkvIniFile();

    virtual std::string ReadString(const std::string& section, const std::string& key,
                                   const std::string& def);
    /// Changes the model only; an empty key erases the section, or with an empty section
    /// and value too writes the file at once.
    virtual void WriteString(const std::string& section, const std::string& key,
                             const std::string& value);
    virtual int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def);
    virtual void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    virtual bool ReadBool(const std::string& section, const std::string& key, bool def);
    virtual void WriteBool(const std::string& section, const std::string& key, bool value);
    /// Appends the section's keys to target (untouched when the section is missing).
    virtual void ReadSectionKeys(const std::string& section, TStringList& target);
    /// Replaces target's content by the section names, each carrying its line list.
    virtual void ReadSectionNames(TStringList& target);
    /// Merges the section's lines into target by name.
    virtual void ReadSectionValues(const std::string& section, TStringList& target);
    virtual void WriteSectionValues(const std::string& section, const TStringList& source);
    virtual void EraseSection(const std::string& section);
    virtual void DeleteKey(const std::string& section, const std::string& key);
    /// Appends the lines that UpdateFile would write (without line ends).
    virtual void SaveToStrings(TStringList& target);
    /// Regenerates the file from the model when it is modified; raises EInOutError ("Cannot
    /// write file %s") when the file could not take all of it.
    virtual void UpdateFile();

    void SetFileName(const std::string& fileName);
    void ClearSections();
    void LoadFile(const std::string& fileName);
    /// Index of the key's first line in the section (or -1) and the section's lines (or
    /// nullptr); with create, a missing section is appended empty.
    int FindKey(const std::string& section, const std::string& key, bool create,
                TStringList*& lines);

  private:
    void CloseFile();
    void ParseLine(std::string line, TStringList*& current);
    bool OpenForWriteBack();
    bool WriteModel();
    /// The lines of the file as written: sections with lines, each closed by an empty line.
    void EmitLines(const std::function<void(const std::string&)>& emit) const;
};
