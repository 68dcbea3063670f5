#include "platform/sim/sim_paths.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <set>
#include <utility>

#include "platform/text.h"

namespace corvane::platform::sim {
namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::vector<std::string> SplitComponents(std::string_view s) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : s) {
    if (IsSep(c)) {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

// Resolves "." and ".." in components below a root.
std::vector<std::string> Resolve(const std::vector<std::string>& parts) {
  std::vector<std::string> out;
  for (const std::string& p : parts) {
    if (p == ".") continue;
    if (p == "..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    out.push_back(p);
  }
  return out;
}

std::string Join(const std::string& root, const std::vector<std::string>& parts, bool trailing) {
  std::string out = root;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out.push_back('\\');
    out += parts[i];
  }
  if (trailing && !parts.empty()) out.push_back('\\');
  return out;
}

bool MatchAt(std::string_view name, size_t ni, std::string_view pat, size_t pi) {
  while (pi < pat.size()) {
    char p = pat[pi];
    if (p == '*') {
      while (pi < pat.size() && pat[pi] == '*') ++pi;
      if (pi == pat.size()) return true;
      for (size_t k = ni; k <= name.size(); ++k) {
        if (MatchAt(name, k, pat, pi)) return true;
      }
      return false;
    }
    if (p == '?') {
      // At the end of the name or before its dot, "?" may match nothing.
      if (ni == name.size() || name[ni] == '.') {
        if (MatchAt(name, ni, pat, pi + 1)) return true;
        if (ni == name.size()) return false;
      }
      ++ni;
      ++pi;
      continue;
    }
    if (ni == name.size() || UpperChar1252(name[ni]) != UpperChar1252(p)) return false;
    ++ni;
    ++pi;
  }
  return ni == name.size();
}

// Characters that a short name may not hold; they become "_" in a generated one.
bool IsShortNameChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u <= 0x20 || u >= 0x7F) return false;
  return std::string_view("\"*+,/:;<=>?[\\]|.").find(c) == std::string_view::npos;
}

// The "BASE" and "EXT" of a generated short name, before the number.
std::pair<std::string, std::string> ShortBasis(std::string_view name) {
  size_t dot = name.rfind('.');
  std::string_view base = name.substr(0, dot);
  std::string_view ext =
      dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
  if (dot == 0) base = name;
  auto clean = [](std::string_view s, size_t max) {
    std::string out;
    for (char c : s) {
      if (out.size() == max) break;
      if (c == ' ' || c == '.') continue;
      out += IsShortNameChar(c) ? UpperChar1252(c) : '_';
    }
    return out;
  };
  return {clean(base, 6), clean(ext, 3)};
}

}  // namespace

std::string DeviceName(std::string_view c) {
  while (!c.empty() && c.back() == ':') c.remove_suffix(1);
  std::string_view base = c.substr(0, c.find('.'));
  if (base.size() < c.size() && !base.empty() && base.back() == ':') base.remove_suffix(1);
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  if (base.size() == 3) {
    for (const char* device : {"NUL", "CON", "PRN", "AUX"}) {
      if (SameText(base, device)) return std::string(base);
    }
  } else if (base.size() == 4 && base[3] >= '1' && base[3] <= '9' &&
             (SameText(base.substr(0, 3), "COM") || SameText(base.substr(0, 3), "LPT"))) {
    return std::string(base);
  }
  return std::string();
}

namespace {

// FullPath without the look at device names (the caller made it, or the path is taken literally).
std::string PathOf(std::string_view path, std::string_view current);

}  // namespace

std::string FullPath(std::string_view path, std::string_view current) {
  // A device name as the last component names the device, in whatever folder it stands. Paths
  // with a "\\?\" or "\\.\" prefix and UNC paths are taken as they are written.
  if (!path.empty() && !IsSep(path.back()) && !(path.size() >= 2 && IsSep(path[0]) && IsSep(path[1]))) {
    size_t cut = path.find_last_of("\\/");
    std::string_view last = cut == std::string_view::npos ? path : path.substr(cut + 1);
    if (cut == std::string_view::npos && last.size() >= 2 && IsDriveLetter(last[0]) &&
        last[1] == ':') {
      last.remove_prefix(2);  // "D:nul"
    }
    std::string device = DeviceName(last);
    if (!device.empty()) return "\\\\.\\" + device;
  }
  return PathOf(path, current);
}

namespace {

std::string PathOf(std::string_view path, std::string_view current) {
  if (path.empty()) return std::string();
  bool trailing = IsSep(path.back());
  std::string root;
  std::vector<std::string> parts;

  if (path.size() >= 2 && IsSep(path[0]) && IsSep(path[1])) {
    // "\\?\C:\..." and "\\.\C:\..." name the path after the prefix.
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && IsSep(path[3])) {
      std::string_view rest = path.substr(4);
      if (path[2] == '.' && !rest.empty() && DeviceName(rest) == rest) return std::string(path);
      return PathOf(rest, current);
    }
    std::vector<std::string> all = SplitComponents(path);
    root = "\\\\";
    size_t fixed = all.size() < 2 ? all.size() : 2;
    for (size_t i = 0; i < fixed; ++i) {
      root += all[i];
      root.push_back('\\');
    }
    parts.assign(all.begin() + static_cast<std::ptrdiff_t>(fixed), all.end());
    parts = Resolve(parts);
    if (parts.empty() && !trailing && fixed == 2) root.pop_back();
  } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    root = std::string(1, UpperAscii(path[0])) + ":\\";
    std::string_view rest = path.substr(2);
    if (rest.empty() || !IsSep(rest[0])) {
      // Drive-relative: against the current folder when it is on that drive.
      if (current.size() >= 2 && UpperAscii(current[0]) == root[0] && current[1] == ':') {
        parts = SplitComponents(current.substr(2));
      }
    }
    for (std::string& p : SplitComponents(rest)) parts.push_back(std::move(p));
    parts = Resolve(parts);
  } else {
    if (current.size() < 2) return std::string();
    std::string cur_full = PathOf(current, "C:\\");
    if (IsSep(path[0])) {
      // Rooted on the current drive (or share).
      if (cur_full.size() >= 2 && cur_full[1] == ':') {
        root = cur_full.substr(0, 2) + "\\";
      } else {
        std::vector<std::string> all = SplitComponents(cur_full);
        root = "\\\\" + (all.size() > 0 ? all[0] : "") + "\\" + (all.size() > 1 ? all[1] : "") +
               "\\";
      }
      parts = Resolve(SplitComponents(path));
    } else {
      std::string joined = cur_full;
      if (!joined.empty() && !IsSep(joined.back())) joined.push_back('\\');
      joined.append(path);
      return PathOf(joined, current);
    }
  }
  if (!trailing && !parts.empty()) {
    // Trailing dots and blanks of the last component go, as Windows drops them.
    std::string& last = parts.back();
    while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
    if (last.empty()) parts.pop_back();
  }
  return Join(root, parts, trailing);
}

}  // namespace

bool SplitDrivePath(std::string_view full, char* drive, std::vector<std::string>* components,
                    bool* trailing_separator) {
  if (full.size() < 3 || !IsDriveLetter(full[0]) || full[1] != ':' || !IsSep(full[2])) {
    return false;
  }
  *drive = UpperAscii(full[0]);
  *components = SplitComponents(full.substr(3));
  if (trailing_separator) *trailing_separator = full.size() > 3 && IsSep(full.back());
  return true;
}

bool IsValidComponent(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32) return false;
    switch (c) {
      case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
        return false;
      default: break;
    }
  }
  return true;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (pattern.size() > 1 && pattern.back() == '.') {
    // "*." and "name.": names without an extension.
    std::string_view base = pattern.substr(0, pattern.size() - 1);
    if (base.find('.') == std::string_view::npos && name.find('.') != std::string_view::npos) {
      return false;
    }
    return MatchAt(name, 0, base, 0);
  }
  return MatchAt(name, 0, pattern, 0);
}

bool IsShortName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return true;
  size_t dot = name.find('.');
  std::string_view base = name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  return std::all_of(base.begin(), base.end(), IsShortNameChar) &&
         std::all_of(ext.begin(), ext.end(), IsShortNameChar);
}

std::vector<std::string> ShortNames(const std::vector<std::string>& names) {
  std::vector<std::string> upper(names.size());
  std::set<std::string> taken;  // upper case
  for (size_t i = 0; i < names.size(); ++i) {
    upper[i] = UpperCase(names[i]);
    if (IsShortName(names[i])) taken.insert(upper[i]);
  }
  std::vector<size_t> order(names.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return upper[a] < upper[b]; });
  std::vector<std::string> out(names.size());
  std::map<std::pair<std::string, std::string>, int> last;  // by basis
  for (size_t i : order) {
    if (IsShortName(names[i])) {
      out[i] = names[i];
      continue;
    }
    auto basis = ShortBasis(names[i]);
    int& n = last[basis];
    std::string alias;
    do {
      std::string tail = "~" + std::to_string(++n);
      // A longer number takes characters from the base, which keeps eight at most.
      alias = basis.first.substr(0, 8 - std::min<size_t>(tail.size(), 8)) + tail +
              (basis.second.empty() ? "" : "." + basis.second);
    } while (!taken.insert(alias).second);
    out[i] = alias;
  }
  return out;
}

}  // namespace corvane::platform::sim
