// The language dialog of the session start (TSetLanguage): a fixed dialog made in code on the
// shared dialog runtime, so that both renderers show it and the transcript records it like any
// dialog of the setup.
//
//   caption        "Select Setup Language" (engine message 89)
//   LanguageLabel  "Please select the language to use during the installation:" (90), wrapped
//   LanguageList   a drop-down list of the language names, one preselected
//   ButtonOK       "&OK" (38), the default button: closes with the chosen language
//   ButtonCancel   "&Cancel" (39), the cancel button: closes without one
//   PictureNew / PictureOld   a globe; the first on Windows XP and later, the second before
//
// Centred on the screen, in Tahoma.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"
#include "ui/dialog_runtime.h"
#include "ui/form_model.h"
#include "ui/form_value.h"

namespace corvane::ui {

inline constexpr char kLanguageDialogName[] = "SetLanguage";

// The definition of the dialog, with its texts from the message set (through `hooks`), the
// names in its list and the pictures for `version`.
FormObject LanguageDialogDefinition(const std::vector<std::string>& names, DialogHooks& hooks,
                                    const platform::OsVersion& version);

// The form made from that definition.
std::unique_ptr<PoolTemplate> MakeLanguageDialog(const std::vector<std::string>& names,
                                                 DialogHooks& hooks,
                                                 const platform::OsVersion& version);

}  // namespace corvane::ui
