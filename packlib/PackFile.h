// The library's files: opened through the platform layer, so that a name finds its file as
// everywhere else in the system (a project made on Windows spells letter case freely), and
// every refusal told on standard error with the file and the system's reason, since the
// calling interface can only answer "no".
#pragma once

#include <cstdint>
#include <string>

#include "Platform.h"

class TPackFile {
  public:
    TPackFile() = default;
    ~TPackFile() { Close(); }
    TPackFile(const TPackFile&) = delete;
    TPackFile& operator=(const TPackFile&) = delete;

    /// A source to read, other readers and writers allowed; false when it cannot be opened.
    bool OpenToRead(const std::string& name);
    /// A new, empty volume in place of whatever had the name; false when it cannot be made.
    bool Create(const std::string& name);
    bool IsOpen() const { return Handle != Plat::InvalidHandle; }
    /// Reads up to size bytes; false on a read error.
    bool Read(void* data, uint32_t size, uint32_t& got);
    /// Writes all bytes; false when any could not be written.
    bool Write(const void* data, size_t size);
    /// The size in bytes, or -1.
    int64_t Size();
    /// Closes the file; false when the close failed (data may not have reached it).
    bool Close();

  private:
    Plat::Handle Handle = Plat::InvalidHandle;
};

/// The system's text for the last failed platform call (its code when it has none).
std::string LastSystemReason();
/// One line on standard error: "Pack.dll: <what> "<name>": <reason>".
void TellRefusal(const std::string& what, const std::string& name, const std::string& reason);
