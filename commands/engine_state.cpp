#include "commands/engine_state.h"

#include <map>
#include <mutex>

#include "interp/session.h"

namespace corvane::commands {

void TextReader::Close() {
  file.reset();
  buffer.clear();
  pos = 0;
  eof = false;
}

bool TextReader::Fill() {
  if (eof || !file) return false;
  if (pos > 0) {
    buffer.erase(0, pos);
    pos = 0;
  }
  char chunk[16384];
  size_t n = 0;
  if (file->Read(chunk, sizeof chunk, &n) != platform::Status::kOk || n == 0) {
    eof = true;
    return false;
  }
  buffer.append(chunk, n);
  return true;
}

bool TextReader::AtEnd() {
  while (pos >= buffer.size()) {
    if (!Fill()) return true;
  }
  return false;
}

std::string TextReader::ReadLine() {
  std::string line;
  while (true) {
    if (pos >= buffer.size() && !Fill()) return line;
    size_t end = buffer.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      line.append(buffer, pos, std::string::npos);
      pos = buffer.size();
      continue;
    }
    line.append(buffer, pos, end - pos);
    char c = buffer[end];
    pos = end + 1;
    if (c == '\r') {
      // A CR LF pair may straddle two reads.
      if (pos >= buffer.size()) Fill();
      if (pos < buffer.size() && buffer[pos] == '\n') ++pos;
    }
    return line;
  }
}

namespace {

std::mutex states_mutex;
std::map<const interp::Session*, std::weak_ptr<CommandsState>>& States() {
  static auto* states = new std::map<const interp::Session*, std::weak_ptr<CommandsState>>();
  return *states;
}

}  // namespace

CommandsState& StateOf(interp::Session& session) {
  std::lock_guard<std::mutex> lock(states_mutex);
  auto& states = States();
  auto it = states.find(&session);
  if (it != states.end()) {
    if (auto alive = it->second.lock()) return *alive;
  }
  // A session that ended (or a new one at the same address) starts afresh.
  for (auto i = states.begin(); i != states.end();) {
    i = i->second.expired() ? states.erase(i) : std::next(i);
  }
  auto state = std::make_shared<CommandsState>();
  states[&session] = state;
  // The clean-up owns the state: the exit clean-up runs it (closing the reader) and drops it, and
  // so does the destruction of a session that never reached its clean-up.
  session.exit_cleanups.push_back([state]() { state->reader.Close(); });
  return *state;
}

}  // namespace corvane::commands
