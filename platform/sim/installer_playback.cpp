#include "platform/sim/installer_playback.h"

#include <cstdio>

#include "platform/numbers.h"

namespace corvane::platform::sim {
namespace {

const char* const kKindNames[] = {
    "fatal",      "error",        "warning",      "user",        "info",
    "files-in-use", "resolve-source", "disk-space", "action-start", "action-data",
    "progress",   "common-data",  "initialize",   "terminate",   "show-dialog",
};
constexpr size_t kKinds = sizeof kKindNames / sizeof kKindNames[0];

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A quoted text with its escapes; false when it is not one quoted text.
bool ParseQuoted(const std::string& s, std::string* out) {
  out->clear();
  if (s.empty()) return true;
  if (s.front() != '"') return false;
  size_t i = 1;
  for (; i < s.size() && s[i] != '"'; ++i) {
    char ch = s[i];
    if (ch == '\\') {
      if (++i == s.size()) return false;
      switch (s[i]) {
        case 'n': ch = '\n'; break;
        case 'r': ch = '\r'; break;
        case 't': ch = '\t'; break;
        case '"': case '\\': ch = s[i]; break;
        default: return false;
      }
    }
    out->push_back(ch);
  }
  return i < s.size() && Trim(s.substr(i + 1)).empty();
}

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    switch (ch) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default: out.push_back(ch);
    }
  }
  return out + "\"";
}

bool ParseNumber(const std::string& s, uint32_t* value) {
  auto v = ParseScriptInteger(s);
  if (!v) return false;
  *value = static_cast<uint32_t>(*v);
  return true;
}

}  // namespace

bool ParseMessageType(const std::string& token, uint32_t* type) {
  const size_t plus = token.find('+');
  const std::string kind = token.substr(0, plus);
  uint32_t value = 0;
  bool found = false;
  for (size_t i = 0; i < kKinds; ++i) {
    if (kind == kKindNames[i]) {
      value = static_cast<uint32_t>(i) << 24;
      found = true;
    }
  }
  if (!found && !(kind.size() > 2 && kind[0] == '0' && ParseNumber(kind, &value))) return false;
  if (plus != std::string::npos) {
    uint32_t flags = 0;
    if (!ParseNumber(token.substr(plus + 1), &flags) || flags > 0x00FFFFFF) return false;
    value |= flags;
  }
  *type = value;
  return true;
}

PlaybackTake TakeFirstCall(const std::string& text, PlaybackCall* call, std::string* rest,
                           std::string* error) {
  *call = PlaybackCall();
  const std::vector<std::string> lines = SplitLines(text);
  size_t first = lines.size();
  auto bad = [&](size_t line, const std::string& why) {
    *error = "installer.txt line " + std::to_string(line + 1) + ": " + why;
    return PlaybackTake::kMalformed;
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string t = Trim(lines[i]);
    if (t.empty() || t[0] == '#') continue;
    if (t != "call") return bad(i, "expected 'call'");
    first = i;
    break;
  }
  if (first == lines.size()) return PlaybackTake::kNone;
  size_t last = first + 1;
  for (;; ++last) {
    if (last == lines.size()) return bad(first, "'call' without 'end'");
    const std::string t = Trim(lines[last]);
    if (t.empty() || t[0] == '#') continue;
    if (t == "end") break;
    const size_t space = t.find_first_of(" \t");
    const std::string word = t.substr(0, space);
    const std::string arg = space == std::string::npos ? std::string() : Trim(t.substr(space));
    if (word == "message") {
      const size_t gap = arg.find_first_of(" \t");
      PlaybackMessage m;
      if (!ParseMessageType(arg.substr(0, gap), &m.type)) {
        return bad(last, "unknown message kind '" + arg.substr(0, gap) + "'");
      }
      if (!ParseQuoted(gap == std::string::npos ? std::string() : Trim(arg.substr(gap)),
                       &m.text)) {
        return bad(last, "the message text is not one quoted text");
      }
      call->messages.push_back(std::move(m));
    } else if (word == "result") {
      if (!ParseNumber(arg, &call->result)) return bad(last, "bad result '" + arg + "'");
    } else if (t == "keep-going-on-cancel") {
      call->keep_going_on_cancel = true;
    } else {
      return bad(last, "unknown line '" + t + "'");
    }
  }
  rest->clear();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i < first || i > last) *rest += lines[i] + "\n";
  }
  return PlaybackTake::kTaken;
}

std::string FormatPlaybackCall(const PlaybackCall& call) {
  std::string out = "call\n";
  for (const PlaybackMessage& m : call.messages) {
    const uint32_t kind = m.type >> 24;
    std::string token;
    char buf[16];
    if (kind < kKinds) {
      token = kKindNames[kind];
    } else {
      std::snprintf(buf, sizeof buf, "0x%08X", m.type & 0xFF000000u);
      token = buf;
    }
    if (m.type & 0x00FFFFFF) {
      std::snprintf(buf, sizeof buf, "+0x%X", m.type & 0x00FFFFFFu);
      token += buf;
    }
    out += "  message " + token + " " + Quoted(m.text) + "\n";
  }
  out += "  result " + std::to_string(call.result) + "\n";
  if (call.keep_going_on_cancel) out += "  keep-going-on-cancel\n";
  return out + "end\n";
}

}  // namespace corvane::platform::sim
