#include "kvIniFile.h"

#include <algorithm>
#include <functional>

#include "kvErrors.h"
#include "kvFileUtils.h"
#include "kvStrUtils.h"
#include "kvUtils.h"

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return Plat::AnsiCompareIgnoreCase(a, b) == 0;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Everything with a code of 32 or less counts as blank at the ends of a line, the
// end-of-file mark 26 included.
std::string TrimControls(const std::string& line) {
    auto isText = [](char c) { return static_cast<unsigned char>(c) > 32; };
    auto first = std::find_if(line.begin(), line.end(), isText);
    if (first == line.end()) return std::string();
    auto last = std::find_if(line.rbegin(), line.rend(), isText).base();
    return std::string(first, last);
}

// Notepad and PowerShell start UTF-8 files with a byte-order mark; left in place it would
// hide the first section header.
void SkipByteOrderMark(std::string& line) {
    static const std::string Bom = "\xEF\xBB\xBF";
    if (line.compare(0, Bom.size(), Bom) == 0) line.erase(0, Bom.size());
}

// A file saved as UTF-8 (as Linux editors and recent Notepad save it) is read as such: its
// text becomes the ANSI code page that names are kept in, so that its names find their
// files. Any other file is taken as ANSI text already.
void ReadUtf8AsAnsi(std::vector<std::string>& lines, const std::string& fileName) {
    for (const std::string& line : lines)
        if (!Plat::IsUtf8(line)) return;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string ansi;
        if (!Plat::Utf8ToAnsi(lines[i], ansi))
            throw EInOutError("File " + fileName + ": line " + std::to_string(i + 1) +
                              " has characters that the code page " +
                              std::to_string(Plat::AnsiCodePage()) + " cannot hold");
        lines[i] = std::move(ansi);
    }
}

bool IsHeader(const std::string& line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// Blanks before the first "=" go; blanks after it go too unless the line starts with it.
void TrimAroundEquals(std::string& line) {
    size_t p = line.find('=');
    if (p == std::string::npos) return;
    size_t start = p;
    while (start > 0 && IsBlank(line[start - 1])) --start;
    line.erase(start, p - start);
    p = start;
    if (p == 0) return;
    size_t end = p + 1;
    while (end < line.size() && IsBlank(line[end])) ++end;
    line.erase(p + 1, end - p - 1);
}

// One pair of equal quotes around the value goes; nothing inside is touched.
void StripValueQuotes(std::string& line) {
    size_t p = line.find('=');
    if (p == std::string::npos || p == 0 || line.size() - p - 1 < 2) return;
    char q = line.back();
    if ((q != '"' && q != '\'') || line[p + 1] != q) return;
    line.pop_back();
    line.erase(p + 1, 1);
}

// Name resolution: a bare name lives in the Windows directory.
std::string ResolveName(const std::string& name) {
    if (Plat::LastDelimiter(name) != std::string::npos) return name;
    return AddBackslash(GetWindowsDir()) + name;
}

std::string DirectoryOf(const std::string& name) {
    auto pos = Plat::LastDelimiter(name);
    return pos == std::string::npos ? std::string() : name.substr(0, pos + 1);
}

}  // namespace

// --- TSectionList -------------------------------------------------------------------------

TStringList* TSectionList::SectionLines(int index) const {
    return static_cast<TStringList*>(Objects(index));
}

int TSectionList::IndexOf(const std::string& s) {
    int index = FindFrom(s, LastIndex);
    if (index >= 0) LastIndex = index;
    return index;
}

void TSectionList::RebuildNameOrder() {
    NameOrder.resize(static_cast<size_t>(Count()));
    for (int i = 0; i < Count(); ++i) NameOrder[static_cast<size_t>(i)] = i;
    std::stable_sort(NameOrder.begin(), NameOrder.end(), [this](int a, int b) {
        return Plat::AnsiCompareIgnoreCase(Strings(a), Strings(b)) < 0;
    });
    NameOrderStamp = ChangeStamp();
}

std::vector<int>::iterator TSectionList::FirstNotBelow(const std::string& s) {
    return std::lower_bound(NameOrder.begin(), NameOrder.end(), s,
                            [this](int entry, const std::string& name) {
                                return Plat::AnsiCompareIgnoreCase(Strings(entry), name) < 0;
                            });
}

int TSectionList::FindFrom(const std::string& s, int start) {
    if (Count() == 0) return -1;
    if (start < 0 || start >= Count()) start = 0;
    if (SameName(Strings(start), s)) return start;
    if (!NameOrderCurrent()) RebuildNameOrder();
    // The run of equal names is in file order: the first at or after start wins, else
    // the first of all, as a wrapping walk from start would find.
    int first = -1;
    for (auto it = FirstNotBelow(s); it != NameOrder.end() && SameName(Strings(*it), s); ++it) {
        if (*it >= start) return *it;
        if (first < 0) first = *it;
    }
    return first;
}

int TSectionList::AddSection(const std::string& name, TStringList* lines) {
    bool current = NameOrderCurrent();
    int index = Add(name, lines);
    if (current) {
        auto pos = std::upper_bound(NameOrder.begin(), NameOrder.end(), name,
                                    [this](const std::string& n, int entry) {
                                        return Plat::AnsiCompareIgnoreCase(n, Strings(entry)) < 0;
                                    });
        NameOrder.insert(pos, index);
        NameOrderStamp = ChangeStamp();
    }
    return index;
}

bool TSectionList::RemoveDuplicates() {
    if (Count() < 2) return false;
    RebuildNameOrder();
    std::vector<bool> keep(static_cast<size_t>(Count()), true);
    bool dropped = false;
    size_t runStart = 0;
    for (size_t k = 1; k < NameOrder.size(); ++k) {
        if (SameName(Strings(NameOrder[k]), Strings(NameOrder[runStart]))) {
            keep[static_cast<size_t>(NameOrder[k])] = false;
            dropped = true;
        } else {
            runStart = k;
        }
    }
    if (!dropped) return false;

    // Rebuild in one pass rather than deleting entry by entry.
    std::vector<std::pair<std::string, TStringList*>> survivors;
    std::vector<int> newIndex(keep.size(), -1);
    for (int i = 0; i < Count(); ++i) {
        if (keep[static_cast<size_t>(i)]) {
            newIndex[static_cast<size_t>(i)] = static_cast<int>(survivors.size());
            survivors.emplace_back(Strings(i), SectionLines(i));
        } else {
            delete SectionLines(i);
        }
    }
    std::vector<int> order;
    order.reserve(survivors.size());
    for (int entry : NameOrder)
        if (keep[static_cast<size_t>(entry)]) order.push_back(newIndex[static_cast<size_t>(entry)]);
    Clear();
    for (auto& s : survivors) Add(s.first, s.second);
    NameOrder.swap(order);
    NameOrderStamp = ChangeStamp();
    return true;
}

// --- TkvIniFile: life cycle ---------------------------------------------------------------

TkvIniFile::TkvIniFile(const std::string& fileName, bool readOnly, bool skipComments,
                       bool requireEquals, bool trimEquals, bool stripQuotes)
    : ReadOnly(readOnly),
      SkipComments(skipComments),
      RequireEquals(requireEquals),
      TrimEquals(trimEquals),
      StripQuotes(stripQuotes) {
    try {
        SetFileName(fileName);
    } catch (...) {
        // No object results: release what loading built, write nothing.
        CloseFile();
        ClearSections();
        throw;
    }
}

TkvIniFile::~TkvIniFile() {
    try {
        UpdateFile();
    } catch (const EInOutError&) {
        // Nobody is left to tell; callers that must know flush before.
    }
    CloseFile();
    ClearSections();
}

void TkvIniFile::CloseFile() {
    if (HandleState == THandleState::Open) CloseFileHandle(FileHandle);
    FileHandle = Plat::InvalidHandle;
    HandleState = THandleState::None;
}

void TkvIniFile::SetFileName(const std::string& fileName) {
    UpdateFile();
    CloseFile();
    ClearSections();
    FileName = ResolveName(fileName);
    if (!fileName.empty()) LoadFile(FileName);
    Modified = false;
}

void TkvIniFile::ClearSections() {
    for (int i = 0; i < Sections.Count(); ++i) delete Sections.SectionLines(i);
    Sections.Clear();
    SectionCursor = 0;
    Sections.LastIndex = 0;
}

// --- TkvIniFile: loading --------------------------------------------------------------------

void TkvIniFile::LoadFile(const std::string& fileName) {
    SectionCursor = 0;
    CloseFile();
    if (!Plat::FileExists(fileName)) return;
    FileHandle =
        ReadOnly ? OpenFileHandle(fileName, Plat::GenericRead, Plat::ShareRead | Plat::ShareWrite,
                                  Plat::OpenExisting, Plat::AttrNormal)
                 : OpenFileHandle(fileName, Plat::GenericRead | Plat::GenericWrite, Plat::ShareRead,
                                  Plat::OpenAlways, Plat::AttrNormal);
    if (FileHandle == Plat::InvalidHandle) throw EInOutError("Cannot open file " + FileName);
    HandleState = THandleState::Open;

    std::vector<std::string> lines;
    std::string line;
    int32_t position = FilePosition(FileHandle);
    const int32_t start = position;
    while (!AtEndOfFile(FileHandle)) {
        ReadTextLine(FileHandle, line);
        if (position == start) SkipByteOrderMark(line);
        // A failed read leaves the position where it was: keep what was read and stop,
        // rather than asking for the same bytes forever.
        const int32_t next = FilePosition(FileHandle);
        if (next == position) break;
        position = next;
        lines.push_back(std::move(line));
    }
    ReadUtf8AsAnsi(lines, FileName);
    TStringList* current = nullptr;
    for (std::string& l : lines) ParseLine(std::move(l), current);
    Sections.RemoveDuplicates();
    if (ReadOnly) CloseFile();
}

void TkvIniFile::ParseLine(std::string line, TStringList*& current) {
    line = TrimControls(line);
    if (line.empty() || (SkipComments && line[0] == ';')) return;
    if (IsHeader(line)) {
        current = new TStringList;
        // Plain Add: duplicates are sorted out once the whole file is read.
        Sections.Add(line.substr(1, line.size() - 2), current);
        return;
    }
    if (TrimEquals) TrimAroundEquals(line);
    if (StripQuotes) StripValueQuotes(line);
    if (RequireEquals && line.find('=') == std::string::npos) return;
    if (current) current->Add(line);
}

// --- TkvIniFile: look-up and reading ----------------------------------------------------------

int TkvIniFile::FindKey(const std::string& section, const std::string& key, bool create,
                        TStringList*& lines) {
    lines = nullptr;
    const int count = Sections.Count();
    if (count > 0) {
        const int start = SectionCursor >= 0 && SectionCursor < count ? SectionCursor : 0;
        const int found = Sections.FindFrom(section, start);
        if (found >= 0) {
            SectionCursor = found;
            lines = Sections.SectionLines(found);
            return lines->IndexOfName(key);
        }
        // A full pass ends on the entry before the start.
        SectionCursor = (start + count - 1) % count;
    }
    if (!create) return -1;
    lines = new TStringList;
    SectionCursor = Sections.AddSection(section, lines);
    return -1;
}

std::string TkvIniFile::ReadString(const std::string& section, const std::string& key,
                                   const std::string& def) {
    TStringList* lines;
    int index = FindKey(section, key, false, lines);
    return index < 0 ? def : ValueOf(lines->Strings(index));
}

int32_t TkvIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) {
    std::string text = ReadString(section, key, "");
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    int32_t value;
    return TryStrToInt32(text, value) ? value : def;
}

bool TkvIniFile::ReadBool(const std::string& section, const std::string& key, bool def) {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TkvIniFile::ReadSectionKeys(const std::string& section, TStringList& target) {
    int index = Sections.IndexOf(section);
    if (index < 0) return;
    TStringList* lines = Sections.SectionLines(index);
    for (int i = 0; i < lines->Count(); ++i) target.Add(lines->Names(i));
}

void TkvIniFile::ReadSectionNames(TStringList& target) {
    target.Clear();
    for (int i = 0; i < Sections.Count(); ++i)
        target.Add(Sections.Strings(i), Sections.SectionLines(i));
}

void TkvIniFile::ReadSectionValues(const std::string& section, TStringList& target) {
    int index = Sections.IndexOf(section);
    if (index < 0) return;
    TStringList* lines = Sections.SectionLines(index);
    for (int i = 0; i < lines->Count(); ++i)
        SetNameValue(target, NameOf(lines->Strings(i)), ValueOf(lines->Strings(i)));
}

void TkvIniFile::SaveToStrings(TStringList& target) {
    EmitLines([&target](const std::string& line) { target.Add(line); });
}

void TkvIniFile::EmitLines(const std::function<void(const std::string&)>& emit) const {
    for (int s = 0; s < Sections.Count(); ++s) {
        TStringList* lines = Sections.SectionLines(s);
        if (lines->Count() == 0) continue;
        emit("[" + Sections.Strings(s) + "]");
        for (int i = 0; i < lines->Count(); ++i) emit(lines->Strings(i));
        emit("");
    }
}

// --- TkvIniFile: writing ------------------------------------------------------------------------

void TkvIniFile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value) {
    if (key.empty()) {
        if (section.empty() && value.empty())
            UpdateFile();
        else
            EraseSection(section);
        return;
    }
    const std::string line = key + "=" + value;
    TStringList* lines;
    int index = FindKey(section, key, true, lines);
    if (index < 0) {
        lines->Add(line);
        Modified = true;
    } else if (lines->Strings(index) != line) {
        lines->SetString(index, line);
        Modified = true;
    }
}

void TkvIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TkvIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TkvIniFile::WriteSectionValues(const std::string& section, const TStringList& source) {
    for (int i = 0; i < source.Count(); ++i)
        WriteString(section, NameOf(source.Strings(i)), ValueOf(source.Strings(i)));
}

void TkvIniFile::EraseSection(const std::string& section) {
    int index = Sections.IndexOf(section);
    if (index < 0) return;
    delete Sections.SectionLines(index);
    Sections.Delete(index);
    Sections.LastIndex = 0;
    SectionCursor = 0;
    Modified = true;
}

void TkvIniFile::DeleteKey(const std::string& section, const std::string& key) {
    TStringList* lines;
    int index = FindKey(section, key, true, lines);
    if (index < 0) return;
    lines->Delete(index);
    Modified = true;
}

bool TkvIniFile::OpenForWriteBack() {
    if (HandleState == THandleState::None) {
        ForceDirs(DirectoryOf(FileName));
        FileHandle = OpenFileHandle(FileName, Plat::GenericWrite, Plat::ShareRead, Plat::OpenAlways,
                                    Plat::AttrNormal);
        HandleState = FileHandle == Plat::InvalidHandle ? THandleState::Failed : THandleState::Open;
    }
    return HandleState == THandleState::Open;
}

// One write per line, straight to the handle, then the rest of an older, longer file is cut.
// False when any of it failed: the file on disk is then not what the model holds.
bool TkvIniFile::WriteModel() {
    bool written = Plat::Seek(FileHandle, 0, 0) == 0;
    EmitLines([&](const std::string& line) {
        if (written) written = WriteTextLine(FileHandle, line);
    });
    return Plat::Truncate(FileHandle) && written;
}

void TkvIniFile::UpdateFile() {
    if (!Modified) return;
    Modified = false;
    // A cut file (a full disk) would pass for a complete one.
    if (!FileName.empty() && !ReadOnly && OpenForWriteBack() && !WriteModel())
        throw EInOutError("Cannot write file " + FileName);
}
