#include "platform/sim/reg_tree.h"

#include <cstdio>

#include "platform/text.h"

namespace corvane::platform::sim {

RegKeyNode* RegKeyNode::Child(std::string_view name) const {
  auto it = children.find(UpperCase(name));
  return it == children.end() ? nullptr : it->second.get();
}

RegKeyNode* RegKeyNode::AddChild(std::string_view name) {
  auto& slot = children[UpperCase(name)];
  if (!slot) {
    slot = std::make_unique<RegKeyNode>();
    slot->name = std::string(name);
  }
  return slot.get();
}

const RegValue* RegKeyNode::Value(std::string_view name) const {
  for (const auto& [n, v] : values) {
    if (SameText(n, name)) return &v;
  }
  return nullptr;
}

void RegKeyNode::SetValue(std::string_view name, const RegValue& value) {
  for (auto& [n, v] : values) {
    if (SameText(n, name)) {
      v = value;
      return;
    }
  }
  values.emplace_back(std::string(name), value);
}

bool RegKeyNode::RemoveValue(std::string_view name) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (SameText(it->first, name)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

RegKeyNode* RegTree::Root(RegRoot root) {
  switch (root) {
    case RegRoot::kLocalMachine: return &local_machine;
    case RegRoot::kCurrentUser: return &current_user;
    case RegRoot::kUsers: return &users;
    case RegRoot::kCurrentConfig: return &current_config;
    case RegRoot::kClassesRoot: return nullptr;
  }
  return nullptr;
}

RegKeyNode* RegTree::Walk(RegRoot root, const std::vector<std::string>& components, bool create) {
  RegKeyNode* node = Root(root);
  for (const std::string& c : components) {
    if (!node) return nullptr;
    RegKeyNode* next = node->Child(c);
    if (!next && create) next = node->AddChild(c);
    node = next;
  }
  return node;
}

bool RegTree::Remove(RegRoot root, const std::vector<std::string>& components) {
  if (components.empty()) return false;
  std::vector<std::string> parent_path(components.begin(), components.end() - 1);
  RegKeyNode* parent = Walk(root, parent_path, false);
  if (!parent) return false;
  return parent->children.erase(UpperCase(components.back())) > 0;
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

// ---- Writing -------------------------------------------------------------------------------

namespace {

constexpr const char* kHeader5 = "Windows Registry Editor Version 5.00";
constexpr const char* kHeader4 = "REGEDIT4";
constexpr const char* kEol = "\r\n";

std::string Quote(std::string_view text1252) {
  std::string out = "\"";
  for (char c : Utf8From1252(text1252)) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string Utf16Bytes(std::string_view text1252) {
  std::string bytes;
  for (char16_t u : Utf16From1252(text1252)) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

// "hex(N):" and the bytes, wrapped as a registry editor wraps them.
std::string HexData(const std::string& prefix, std::string_view bytes) {
  std::string out = prefix;
  size_t line = prefix.size();
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof(buf), "%02x", static_cast<unsigned char>(bytes[i]));
    std::string item = buf;
    if (i + 1 < bytes.size()) item.push_back(',');
    if (line + item.size() > 77 && i > 0) {
      out += "\\";
      out += kEol;
      out += "  ";
      line = 2;
    }
    out += item;
    line += item.size();
  }
  return out;
}

std::string ValueLine(const std::string& name, const RegValue& v) {
  std::string head = name.empty() ? "@=" : Quote(name) + "=";
  char buf[32];
  switch (v.type) {
    case RegType::kString:
      if (v.data.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos) {
        return head + Quote(v.data);
      }
      return HexData(head + "hex(1):", Utf16Bytes(v.data) + std::string(2, '\0'));
    case RegType::kExpandString:
      return HexData(head + "hex(2):", Utf16Bytes(v.data) + std::string(2, '\0'));
    case RegType::kMultiString: {
      std::string bytes = Utf16Bytes(v.data);
      if (!v.data.empty()) bytes += std::string(2, '\0');
      return HexData(head + "hex(7):", bytes + std::string(2, '\0'));
    }
    case RegType::kDword:
      if (v.data.size() == 4) {
        std::snprintf(buf, sizeof(buf), "dword:%08x", static_cast<unsigned>(v.AsNumber()));
        return head + buf;
      }
      break;
    case RegType::kBinary:
      return HexData(head + "hex:", v.data);
    default:
      break;
  }
  std::snprintf(buf, sizeof(buf), "hex(%x):", static_cast<unsigned>(v.type));
  return HexData(head + buf, v.data);
}

void WriteKey(const RegKeyNode& node, const std::string& path, bool is_root, std::string* out) {
  if (!is_root || !node.values.empty()) {
    out->push_back('[');
    out->append(Utf8From1252(path));
    out->push_back(']');
    out->append(kEol);
    for (const auto& [name, value] : node.values) {
      out->append(ValueLine(name, value));
      out->append(kEol);
    }
    out->append(kEol);
  }
  for (const auto& [key, child] : node.children) {
    WriteKey(*child, path + "\\" + child->name, false, out);
  }
}

}  // namespace

std::string WriteRegText(const RegTree& tree) {
  std::string out = std::string(kHeader5) + kEol + kEol;
  for (const RegKeyNode* root :
       {&tree.local_machine, &tree.current_user, &tree.users, &tree.current_config}) {
    WriteKey(*root, root->name, true, &out);
  }
  return out;
}

// ---- Reading -------------------------------------------------------------------------------

namespace {

std::string TrimLeft(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b));
}

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
  return s;
}

std::string From16(std::string_view bytes) {
  std::u16string u;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    u.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return Cp1252FromUtf16(u);
}

// Reads a quoted text at s[*pos] (the opening quote); *pos moves past the closing quote.
bool ReadQuoted(const std::string& s, size_t* pos, std::string* out) {
  if (*pos >= s.size() || s[*pos] != '"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      out->push_back(s[++i]);
    } else if (c == '"') {
      *pos = i + 1;
      return true;
    } else {
      out->push_back(c);
    }
  }
  return false;
}

bool ParseHexBytes(std::string_view text, std::string* out) {
  out->clear();
  int digits = 0;
  unsigned value = 0;
  for (char c : text) {
    if (c == ',' || c == ' ' || c == '\t') {
      if (digits > 0) out->push_back(static_cast<char>(value));
      digits = 0;
      value = 0;
      continue;
    }
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    if (++digits > 2) return false;
    value = value * 16 + static_cast<unsigned>(d);
  }
  if (digits > 0) out->push_back(static_cast<char>(value));
  return true;
}

// A key path of a .reg line: root and components; HKEY_CLASSES_ROOT maps below HKLM.
bool ParseKeyPath(const std::string& path, RegRoot* root, std::vector<std::string>* components) {
  size_t cut = path.find('\\');
  std::string root_name = path.substr(0, cut);
  if (!ParseRegRoot(root_name, root)) return false;
  *components = SplitKeyPath(cut == std::string::npos ? std::string() : path.substr(cut + 1));
  if (*root == RegRoot::kClassesRoot) {
    *root = RegRoot::kLocalMachine;
    components->insert(components->begin(), {"SOFTWARE", "Classes"});
  }
  return true;
}

}  // namespace

bool ReadRegText(std::string_view raw, RegTree* tree, std::string* error) {
  std::string text;
  bool unicode = true;
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE) {
    text = From16(raw.substr(2));
  } else if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF") {
    text = Cp1252FromUtf8(raw.substr(3));
  } else if (raw.substr(0, 8) == kHeader4) {
    text = std::string(raw);
    unicode = false;
  } else {
    text = Cp1252FromUtf8(raw);
  }

  std::vector<std::string> lines;
  {
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      lines.push_back(TrimRight(text.substr(start, end - start)));
      start = end + 1;
    }
  }
  auto fail = [&](size_t line, const std::string& why) {
    if (error) *error = "line " + std::to_string(line + 1) + ": " + why;
    return false;
  };

  size_t i = 0;
  while (i < lines.size() && TrimLeft(lines[i]).empty()) ++i;
  if (i == lines.size()) return fail(0, "empty file");
  std::string header = TrimLeft(lines[i]);
  if (header == kHeader4) {
    unicode = false;
  } else if (header != kHeader5) {
    return fail(i, "not a registry file");
  }

  RegKeyNode* current = nullptr;
  for (++i; i < lines.size(); ++i) {
    std::string line = TrimLeft(lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.rfind(']');
      if (close == std::string::npos) return fail(i, "key line without ']'");
      std::string path = line.substr(1, close - 1);
      bool remove = !path.empty() && path[0] == '-';
      if (remove) path.erase(0, 1);
      RegRoot root;
      std::vector<std::string> components;
      if (!ParseKeyPath(path, &root, &components)) return fail(i, "unknown root key");
      if (remove) {
        tree->Remove(root, components);
        current = nullptr;
      } else {
        current = tree->Walk(root, components, true);
      }
      continue;
    }
    if (!current) return fail(i, "value outside a key");
    std::string name;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!ReadQuoted(line, &pos, &name)) {
      return fail(i, "malformed value name");
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return fail(i, "missing '='");
    std::string data = TrimLeft(std::string_view(line).substr(pos + 1));
    if (data == "-") {
      current->RemoveValue(name);
      continue;
    }
    RegValue value;
    if (!data.empty() && data[0] == '"') {
      size_t p = 0;
      if (!ReadQuoted(data, &p, &value.data)) return fail(i, "unterminated string");
      value.type = RegType::kString;
      // String data never keeps terminating nulls (as the registry reports it).
      while (!value.data.empty() && value.data.back() == '\0') value.data.pop_back();
    } else if (data.compare(0, 6, "dword:") == 0) {
      std::string digits = data.substr(6);
      unsigned v = 0;
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return fail(i, "malformed dword");
      }
      std::sscanf(digits.c_str(), "%x", &v);
      value = RegValue::Dword(v);
    } else if (data.compare(0, 3, "hex") == 0) {
      size_t colon = data.find(':');
      if (colon == std::string::npos) return fail(i, "malformed hex value");
      unsigned type = static_cast<unsigned>(RegType::kBinary);
      std::string kind = data.substr(3, colon - 3);
      if (!kind.empty()) {
        if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' ||
            std::sscanf(kind.c_str() + 1, "%x", &type) != 1) {
          return fail(i, "malformed hex type");
        }
      }
      std::string bytes_text = data.substr(colon + 1);
      // A trailing backslash continues the list on the next line.
      while (!bytes_text.empty() && bytes_text.back() == '\\') {
        bytes_text.pop_back();
        if (++i >= lines.size() || TrimLeft(lines[i]).empty()) {
          return fail(i - 1, "continued onto nothing");
        }
        bytes_text += TrimLeft(lines[i]);
      }
      if (!ParseHexBytes(bytes_text, &value.data)) return fail(i, "malformed hex bytes");
      value.type = static_cast<RegType>(type);
      if (value.type == RegType::kString || value.type == RegType::kExpandString ||
          value.type == RegType::kMultiString) {
        if (unicode) value.data = From16(value.data);
        while (!value.data.empty() && value.data.back() == '\0') value.data.pop_back();
      }
    } else {
      return fail(i, "unknown value form");
    }
    current->SetValue(name, value);
  }
  return true;
}

}  // namespace corvane::platform::sim
