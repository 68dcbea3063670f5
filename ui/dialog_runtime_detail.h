// Helpers shared by the sources of the dialog runtime (not part of its interface).
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "interp/variables.h"
#include "ui/control_state.h"

namespace corvane::ui::runtime_detail {

inline constexpr char kCaptionSuffix[] = " - Corvane Wizard";
inline constexpr int kContextMenuKey = 93;
inline constexpr int32_t kLongText = 1048576;

// The folder part of a path, with its trailing backslash ("" when there is none).
inline std::string FolderPart(std::string_view path) {
  size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

inline bool IsButtonLike(ControlKind k) {
  switch (k) {
    case ControlKind::kLabel:
    case ControlKind::kButton:
    case ControlKind::kSpeedButton:
    case ControlKind::kBitButton:
    case ControlKind::kImage:
    case ControlKind::kShape:
      return true;
    default:
      return false;
  }
}

inline const char* ClickHandlerOf(ControlKind k) {
  switch (k) {
    case ControlKind::kLabel:
      return "Label1Click";
    case ControlKind::kButton:
      return "Button1Click";
    case ControlKind::kSpeedButton:
      return "SpeedButton1Click";
    case ControlKind::kBitButton:
      return "BitBtn1Click";
    case ControlKind::kImage:
      return "Image1Click";
    case ControlKind::kShape:
      return "Shape1MouseUp";
    default:
      return "";
  }
}

inline const char* FolderHandlerOf(ControlKind k) {
  switch (k) {
    case ControlKind::kDirectoryList:
      return "DirectoryListBox1Change";
    case ControlKind::kShellTree:
      return "PTShellTree1Change";
    case ControlKind::kShellCombo:
      return "PTShellCombo1Change";
    case ControlKind::kShellList:
      return "PTShellList1FolderChanged";
    default:
      return "";
  }
}

// The bound value as lines: line breaks, and "$NEWLINE$" tokens left where NEWLINE is not
// defined, both separate lines; empty lines are dropped.
inline std::vector<std::string> ValueLines(const std::string& value) {
  std::vector<std::string> lines;
  for (std::string& line : SplitTextLines(interp::TokenToNewlines(value))) {
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

inline std::string EachFollowedByNewline(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += t + "$NEWLINE$";
  return out;
}

// A progress number that a 32-bit control cannot show.
inline bool FitsControl(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

}  // namespace corvane::ui::runtime_detail
