// The finished executable: the stub Kest.sfx, the package's volume 1 and an 8-byte trailer
// (the presetup files' total size, then the offset of the trailer itself).
#pragma once

/// Joins the stub and the package into ExeFile and deletes the package file on every
/// path. False (with no ExeFile left) after Esc at the disk-space prompt or when the stub
/// cannot be read or the executable cannot be written; the latter two show an error box.
bool ConvertToSfx();
/// Appends the trailer to ExeFile. False (ExeFile deleted, error box shown) when the
/// executable cannot be written or has grown beyond what the trailer can address.
bool AppendTrailer();
