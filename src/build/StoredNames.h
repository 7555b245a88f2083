// The names that a package can hold: every entry of the image's trees and every packed
// link's stored name must be one that Kest.ini can record and that Windows can create, so
// that no record is broken and no file is packed that no installer could place.
#pragma once

#include <string>

class TStringList;

/// Raises EInOutError naming fullName when name, one entry (file or folder) found in a tree
/// that is packed, cannot be stored: control characters, \ / : * ? " < > |, "=" (which
/// ends a key in Kest.ini), a trailing dot or space, or a device name.
void RequireStorableName(const std::string& name, const std::string& fullName);

/// Raises EInOutError naming the link when a packed link's stored name (one under Data\ or
/// Presetup\) cannot be stored: also ".." components, absolute paths and drive letters.
void RequireStorableLinkNames(const TStringList& links);
