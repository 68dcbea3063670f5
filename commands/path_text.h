// Path texts cut the way the script commands cut them: the folder part ends at the last backslash
// or colon, the extension starts at the last dot of the file name.
#pragma once

#include <string>
#include <string_view>

namespace corvane::commands {

std::string ExtractFilePath(std::string_view path);   // up to and including the last \ or :
std::string ExtractFileName(std::string_view path);   // after the last \ or :
// The folder and file mask of a search pattern. The system reads "/" as "\" in a path, so it
// ends the folder part here too: a mask never holds a separator (the system would otherwise
// list another folder than the one the search joins the names to).
std::string SearchFolderPart(std::string_view pattern);  // up to and including the last \ / :
std::string SearchMaskPart(std::string_view pattern);    // after it
std::string ExtractFileExt(std::string_view path);    // the last dot of the name and what follows
std::string ExtractFileDrive(std::string_view path);  // "C:" or "\\server\share", or empty
std::string IncludeTrailingBackslash(std::string_view path);  // empty stays empty
std::string ExcludeTrailingBackslash(std::string_view path);
// Every doubled backslash made single, pairs from the left (a leading pair included).
std::string CollapseAllBackslashes(std::string_view path);

// Extract Path: modes 0-6 (file name, name without extension, extension without dot, folder,
// parent folder, drive, collapsed backslashes); any other mode gives the path unchanged.
std::string ExtractPathPart(std::string_view path, int mode);

}  // namespace corvane::commands
