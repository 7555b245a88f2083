// The installer's wizard: language, welcome, license, password and folder pages, then the
// progress of the installation and its outcome; plain Win32 dialogs from the resources.
#pragma once

#include "SfxUi.h"

/// Shows the wizard and runs work on a thread of its own behind it; returns work's exit
/// code once the wizard has closed.
int RunWizard(int (*work)(TUi& ui));
