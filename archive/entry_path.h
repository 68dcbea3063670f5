// What may be written where: entry names become folder and file names below the destination
// only when they cannot leave it or name something that is not a plain file or folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::archive {

// The name's components (separators '/' and '\'; "." components dropped). Throws
// kErrorIllegalPath for an empty name, an absolute name, a drive or UNC prefix, a ':' anywhere
// (drives, alternate data streams), a ".." component or one made only of dots and blanks,
// a control character, or a device name (CON, NUL, COM0 to COM9, LPT0 to LPT9, COM and LPT with
// a superscript digit, ...) as any component.
std::vector<std::u16string> SafeComponents(const std::u16string& name);

// The form under which Windows finds a component: trailing dots and blanks dropped (the file
// system never stores them), letters upper-cased. Two components with the same key name the
// same file.
std::u16string WindowsNameKey(const std::u16string& component);

// True when the attributes mark a link: a reparse point, or a symbolic link in the Unix mode
// kept in the high 16 bits.
bool IsLinkAttribute(uint32_t attrib);

}  // namespace corvane::archive
