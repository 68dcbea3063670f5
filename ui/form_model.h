// The in-memory dialog form: a TPoolTemplate with its own properties and the tree of components
// (controls and auxiliary components) read into it from a form file.
//
// Every component has a class, a name, an owner (the form, or an inline component for what is
// read inside one), a parent (the object whose record contains it) and typed property values.
// Property values can be read and written as text, which is what property rules do: integers in
// decimal, booleans "True"/"False", enumerations as identifiers, texts as themselves, sets as
// "[a,b]", lines joined by CR LF. A property the class knows but the definition did not set
// reads as its default.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ui/control_classes.h"
#include "ui/form_value.h"

namespace corvane::ui {

class Component {
 public:
  Component(const ControlClass& cls, std::string class_name, std::string name);
  virtual ~Component() = default;
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  const ControlClass& control_class() const { return *class_; }
  const std::string& class_name() const { return class_name_; }
  const std::string& name() const { return name_; }
  Component* owner() const { return owner_; }
  Component* parent() const { return parent_; }
  const std::vector<Component*>& children() const { return children_; }
  // Components this one owns, in creation order.
  const std::vector<Component*>& owned() const { return owned_; }
  // The directly owned component of that name (letter case ignored), or nullptr.
  Component* FindOwned(std::string_view name) const;
  // The authoring tool's form designer component: kept, never bound.
  bool is_form_designer() const;

  // Whether the class has the property (letter case ignored). "Items" and "Lines" also find
  // "Items.Strings" and "Lines.Strings".
  bool HasProperty(std::string_view property) const;
  // The property's value as text; nullopt when the class has no such property.
  std::optional<std::string> GetText(std::string_view property) const;
  // Assigns a value given as text; false when the class has no such property or the text is
  // not a value of its kind (the property then keeps its value).
  bool SetText(std::string_view property, std::string_view text);
  // Assigns a value as read from a stream; false when the property is unknown or the value is
  // not of its kind.
  bool SetValue(std::string_view property, const FormValue& value);
  // The value set for the property, or nullptr when it has its default.
  const FormValue* Value(std::string_view property) const;
  // Integer properties; the fallback when the property is unknown or not an integer.
  int32_t Integer(std::string_view property, int32_t fallback = 0) const;
  // The lines of a list property (Items, Lines); empty when unknown.
  std::vector<std::string> Strings(std::string_view property) const;

  // The properties that have been set, in the order they were first set.
  struct Setting {
    const PropertyDef* def;  // null only for classes that accept any property
    std::string name;
    FormValue value;
  };
  const std::vector<Setting>& settings() const { return settings_; }

  // Child position given in the definition, when there was one.
  std::optional<int64_t> child_position() const { return child_position_; }

 protected:
  friend class FormReader;
  const PropertyDef* Resolve(std::string_view property) const;

  const ControlClass* class_;
  std::string class_name_;
  std::string name_;
  Component* owner_ = nullptr;
  Component* parent_ = nullptr;
  std::vector<Component*> children_;
  std::vector<Component*> owned_;
  std::unordered_map<std::string, Component*, platform::CaseInsensitiveHash,
                     platform::CaseInsensitiveEqual>
      owned_by_name_;
  // Next number to try when renaming a clashing name, per class-name base.
  std::unordered_map<std::string, uint64_t> rename_next_;
  std::vector<Setting> settings_;
  std::optional<int64_t> child_position_;
};

struct FormTimer {
  uint32_t interval_ms = 1000;
  bool enabled = false;
  std::string handler;
};

// The run-time dialog form.
class PoolTemplate : public Component {
 public:
  PoolTemplate();

  // Reads a root object into this (empty) form: its properties become the form's, each child
  // creates a component. An unknown class fails with "Class <name> not found"; property errors
  // are skipped; clashing names are renamed.
  void ReadRoot(const FormObject& root);

  // Every component of the form, in creation order (including those owned by inline ones).
  const std::vector<std::unique_ptr<Component>>& all_components() const { return storage_; }
  // The component of the form with that name (letter case ignored), or nullptr.
  Component* FindComponent(std::string_view name) const { return FindOwned(name); }

  // The class name the definition gave its root ("TWelcome"); the form's class stays
  // TPoolTemplate.
  const std::string& design_class_name() const { return design_class_name_; }

  // The properties skipped while reading ("Button1.Captoin", "Welcome.Colour" for the form's
  // own), in stream order: unknown to their class or holding a value of the wrong kind.
  const std::vector<std::string>& skipped_properties() const { return skipped_; }

  // The rule lines read from the rule file, kept as they stand.
  std::vector<std::string>& rules() { return rules_; }
  const std::vector<std::string>& rules() const { return rules_; }

  FormTimer& timer() { return timer_; }
  FormTimer& meta_timer() { return meta_timer_; }

  // Display state used by the wizard.
  int result_code = 0;
  std::string result_text;
  uint32_t display_flags = 0;

 private:
  friend class FormReader;
  std::vector<std::unique_ptr<Component>> storage_;
  std::vector<std::string> skipped_;
  std::string design_class_name_;
  std::vector<std::string> rules_;
  FormTimer timer_{1000, true, "Timer1Timer"};
  FormTimer meta_timer_{1000, false, "MetaTimerTimer"};
};

// Text of a value of a property kind (what GetText returns for a set value).
std::string PropertyValueText(const PropertyDef* def, const FormValue& value);

}  // namespace corvane::ui
