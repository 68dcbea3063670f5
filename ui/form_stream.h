// The form file: a resource header followed by the binary component stream.
//
// Every reader here checks lengths against the bytes that remain, limits nesting, and reports a
// damaged stream by throwing image::ScriptFailure with "Invalid stream format" (bad structure)
// or "Stream read error" (a read past the end); nothing is allocated beyond the input's size.
#pragma once

#include <string>
#include <string_view>

#include "ui/form_value.h"

namespace corvane::ui {

inline constexpr char kInvalidStreamFormat[] = "Invalid stream format";
inline constexpr char kStreamReadError[] = "Stream read error";

// Checks the resource header of a form file and returns the component stream that follows it.
// A first byte other than 0xFF, a resource type other than 10 or a resource name of more than
// 75 characters fails with "Invalid stream format".
std::string_view SkipResourceHeader(std::string_view file);

// Builds a form file: the resource header (name, flags 0x1030, data size) and the stream.
std::string WithResourceHeader(std::string_view resource_name, std::string_view stream);

// Reads the binary component stream ("TPF0" and the root object record). Bytes after the root
// object are ignored.
FormObject ReadBinaryStream(std::string_view stream);

// Writes the binary component stream of an object tree. A tree that would not read back as
// written (an empty property name or set member, a Null list item, an empty class name or one
// of 240 characters or more, a name over 255 characters, a child position beyond 32 bits)
// fails with "Invalid stream format".
std::string WriteBinaryStream(const FormObject& root);

}  // namespace corvane::ui
