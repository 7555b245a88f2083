// What the build writes (the executable and the package volumes) against what it reads:
// an output must never be one of the inputs or lie among them.
#pragma once

class TStringList;

/// Refuses an executable or package volume that is one of the build's inputs (project
/// file, program files, link sources) or lies inside the image or the program's presetup
/// tree: writing it would destroy the input before it is packed. Shows the error box
/// naming the file; false when refused.
bool CheckOutputs(const TStringList& links);
