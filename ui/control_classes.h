// The classes a dialog definition may contain: the 39 control classes that every dialog form
// registers, the auxiliary classes of the form library (image lists, menus, menu items, timers),
// and the form itself. Each class lists the properties it accepts, with their kinds and the
// values they have when the definition does not set them; a property a class does not list is
// unknown to it, and reading one from a definition skips it.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/text.h"

namespace corvane::ui {

enum class PropertyKind : uint8_t {
  kInteger,     // 32-bit signed; text: decimal
  kBoolean,     // text: "True" / "False"
  kEnum,        // one identifier of a fixed list; text: the identifier
  kSet,         // members of a fixed list; text: "[a,b]"
  kIdentOrInt,  // a named constant of a fixed list or any integer (colours, cursors, charsets)
  kString,      // text
  kChar,        // one character
  kStrings,     // a list of lines (X.Strings); text: the lines joined by CR LF
  kBinary,      // binary data (pictures, glyphs, tree nodes); text: hexadecimal
  kComponent,   // a reference to another component by name; text: the name
  kEvent,       // an event handler by name; text: the name
  kFloat,       // a floating value; text: decimal
  kCollection,  // a collection of items
  kList,        // a list of values
  kAny,         // whatever the definition holds (the form designer component)
};

struct PropertyDef {
  std::string name;
  PropertyKind kind = PropertyKind::kString;
  const std::vector<std::string>* idents = nullptr;  // kEnum, kSet, kIdentOrInt
  std::string default_text;                           // the value's text when not set
};

struct ControlClass {
  std::string name;      // "TButton"
  bool is_control = false;  // one of the 39 control classes
  bool accepts_any = false; // every property is accepted as it stands (form designer component)
  std::vector<PropertyDef> properties;
  std::unordered_map<std::string, size_t, platform::CaseInsensitiveHash,
                     platform::CaseInsensitiveEqual>
      index;

  // The property of that name (letter case ignored), or nullptr.
  const PropertyDef* FindProperty(std::string_view property) const;
};

// One of the 39 control classes or an auxiliary class, by name with letter case ignored; nullptr
// for any other class.
const ControlClass* FindControlClass(std::string_view class_name);

// The names of the 39 control classes, in their table order.
const std::vector<std::string>& ControlClassNames();

// The dialog form (TPoolTemplate), including its built-in design as property defaults.
const ControlClass& PoolTemplateClass();

// The class given to the authoring tool's form designer component ("cmpFormDesigner"), whatever
// class name it carries: it accepts every property and is never bound.
const ControlClass& FormDesignerClass();

inline constexpr char kFormDesignerName[] = "cmpFormDesigner";

}  // namespace corvane::ui
