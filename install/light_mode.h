// Run Light Mode Setup: a setup file that holds only a script image runs as a setup of its own
// once a copy of the running engine's executable image stands in front of it and the archive
// library lies beside it. Afterwards the file and its folder are put back as they were.
//
// Nothing of what lay there before is lost: the file's own content waits under a name that was
// free ("F.nox", else "F.nox.1", ...), and so does an archive library that lay beside it. While
// the child setup may still run (it was not waited for, or the wait was cancelled) nothing is
// removed; that waits for the end of the run, and is left as it is when the child still runs then.
#pragma once

#include <string>

#include "platform/files.h"

namespace corvane::install {

// What was changed beside a light-mode setup file, for RestoreLightModeSetup.
struct LightModeFiles {
  std::string file;            // F
  std::string original;        // F's own content moved aside ("" when F was runnable already)
  std::string library;         // the archive library's copy beside F ("" when none was made)
  std::string library_backup;  // an archive library that lay beside F before, moved aside
};

// A name beside `base` that nothing has: base itself, else base + ".1", ".2", ... (up to 999);
// "" when all are taken.
std::string FreeName(platform::FileSystem& files, const std::string& base);

// Makes F runnable: the first bytes of the engine's file up to the end of its executable image,
// then F's content, go into a new file beside F; F moves aside and the new file takes its name. A
// file that is a runnable setup already (an executable image with data behind it) is left as it
// is. False when a file cannot be read or written or a rename fails: F is then as it was.
bool MakeLightModeSetup(platform::FileSystem& files, const std::string& engine,
                        const std::string& file, LightModeFiles* made);

// Copies the archive library from the engine's folder beside F. One that lies there already is
// moved aside first (false when that fails); nothing is done when F lies in the engine's folder.
// A copy that fails is not a failure (the child setup then runs without the library).
bool PlaceArchiveLibrary(platform::FileSystem& files, const std::string& engine_folder,
                         LightModeFiles* made);

// Undoes both: the runnable F and the library copy go, and what was moved aside comes back. A
// file that cannot go (a child that still runs holds it) keeps what was moved aside where it is.
void RestoreLightModeSetup(platform::FileSystem& files, const LightModeFiles& made);

}  // namespace corvane::install
