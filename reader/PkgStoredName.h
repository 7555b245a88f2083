// Stored names that may be written: a plain relative path that stays below the target, and,
// where Windows rules apply, a name Windows can create. Checked before anything is written.
#pragma once

#include <string>
#include <vector>

/// Splits a stored name ("Data\Sub\A.txt"; "\" and "/" both separate) into its components.
/// Returns an empty string when the name is a plain relative path that stays below the
/// target, otherwise the reason why it is refused. windowsRules adds what Windows file
/// systems treat specially (":", reserved device names, trailing dots and spaces, <>"|?*).
std::string CheckStoredName(const std::string& stored, std::vector<std::string>& parts,
                            bool windowsRules);
