#include "PackFile.h"

bool TPackFile::OpenToRead(const std::string& name) {
    Close();
    Handle = Plat::OpenFile(name, Plat::GenericRead, Plat::ShareRead | Plat::ShareWrite,
                            Plat::OpenExisting, Plat::AttrNormal);
    return IsOpen();
}

bool TPackFile::Create(const std::string& name) {
    Close();
    // Made fresh, never opened: whatever had the name goes first (a link itself, not what
    // it points to), so that nothing planted there is written through.
    const uint32_t attributes = Plat::GetAttributes(name);
    if (Plat::EntryExists(name) &&
        (attributes == Plat::InvalidAttributes || !(attributes & Plat::AttrDirectory) ||
         (attributes & Plat::AttrReparsePoint)) &&
        !Plat::DeleteFile(name))
        return false;
    Handle = Plat::OpenFile(name, Plat::GenericWrite, Plat::ShareRead, Plat::CreateNew,
                            Plat::AttrNormal);
    return IsOpen();
}

bool TPackFile::Read(void* data, uint32_t size, uint32_t& got) {
    got = 0;
    return IsOpen() && Plat::ReadFile(Handle, data, size, got);
}

bool TPackFile::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const uint32_t part = size > (1u << 30) ? (1u << 30) : uint32_t(size);
        uint32_t written = 0;
        if (!IsOpen() || !Plat::WriteFile(Handle, bytes, part, written) || written != part)
            return false;
        bytes += part;
        size -= part;
    }
    return true;
}

int64_t TPackFile::Size() {
    return IsOpen() ? Plat::FileSize(Handle) : -1;
}

bool TPackFile::Close() {
    if (!IsOpen()) return true;
    const bool closed = Plat::CloseFile(Handle);
    Handle = Plat::InvalidHandle;
    return closed;
}

std::string LastSystemReason() {
    const uint32_t code = Plat::LastError();
    const std::string text = Plat::ErrorText(code);
    return text.empty() ? "system error " + std::to_string(code) : text;
}

void TellRefusal(const std::string& what, const std::string& name, const std::string& reason) {
    Plat::WriteStderr("Pack.dll: " + what + " \"" + name + "\": " + reason + "\n");
}
