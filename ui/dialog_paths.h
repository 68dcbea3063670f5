// Folder arithmetic of the destination controls: the deepest existing folder of a path, the
// destination snapshot taken when a dialog is shown, and the new destination after the user
// chose a folder.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace corvane::ui {

using FolderProbe = std::function<bool(const std::string&)>;

// The parent folder with a trailing backslash: "C:\A\B" and "C:\A\B\" give "C:\A\"; a root
// ("C:\", "\\srv\share\") and a text without a backslash give themselves.
std::string ParentFolder(std::string_view path);

// Starting from path, the parent is taken while the path is not an existing folder and the
// parent differs from it. The result may be a root that does not exist either.
std::string DeepestExistingFolder(std::string_view path, const FolderProbe& is_folder);

std::string WithTrailingBackslash(std::string_view path);

struct DestinationSnapshot {
  std::string text;  // TARGETDIR, expanded and path-collapsed
  std::string tail;  // what follows its deepest existing folder
};

DestinationSnapshot TakeDestinationSnapshot(std::string_view destination,
                                            const FolderProbe& is_folder);

// Whether path is folder itself or lies below it, compared on folder boundaries and ignoring
// letter case: C:\Program Files\Maker lies below C:\Program Files but not below C:\Prog.
bool IsSameOrBelow(std::string_view path, std::string_view folder);

// The destination after the user chose folder F: empty for an empty F; the snapshot text when it
// already lies in F; otherwise F, a backslash where F has none at its end, and the tail.
std::string UpdatedDestination(const DestinationSnapshot& snapshot, std::string_view chosen);

// The drive part of a path: "C:\" for "C:\x", "\\srv\share\" for "\\srv\share\x"; empty when the
// path names no drive.
std::string DrivePart(std::string_view path);

}  // namespace corvane::ui
