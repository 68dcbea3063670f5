#include "ui/engine_dialogs.h"

#include "interp/session.h"
#include "ui/dialog_display.h"

namespace corvane::ui {

namespace {

// A text as the form text writes it: printable characters in quotes, the others as #n.
std::string Quoted(const std::string& text) {
  std::string out;
  bool open = false;
  for (unsigned char c : text) {
    if (c >= 32 && c < 127 && c != '\'') {
      if (!open) out += '\'';
      open = true;
      out += static_cast<char>(c);
    } else {
      if (open) out += '\'';
      open = false;
      out += '#' + std::to_string(c);
    }
  }
  if (open) out += '\'';
  return out.empty() ? "''" : out;
}

std::string Header(const std::string& name, const std::string& caption, int width, int height) {
  return "object " + name + ": T" + name +
         "\n  BorderStyle = bsDialog\n  Caption = " + Quoted(caption) +
         "\n  ClientHeight = " + std::to_string(height) +
         "\n  ClientWidth = " + std::to_string(width) +
         "\n  Color = clBtnFace\n  Font.Charset = DEFAULT_CHARSET\n  Font.Color = clWindowText\n"
         "  Font.Height = -11\n  Font.Name = 'MS Sans Serif'\n  Font.Style = []\n"
         "  PixelsPerInch = 96\n  TextHeight = 13\n";
}

std::string Label(const std::string& name, int left, int top, int width, int height,
                  const std::string& caption) {
  return "  object " + name + ": TLabel\n    Left = " + std::to_string(left) +
         "\n    Top = " + std::to_string(top) + "\n    Width = " + std::to_string(width) +
         "\n    Height = " + std::to_string(height) +
         "\n    AutoSize = False\n    Caption = " + Quoted(caption) +
         "\n    WordWrap = True\n  end\n";
}

std::string Radio(const std::string& name, int left, int top, int width, const std::string& caption,
                  bool checked, int tab) {
  return "  object " + name + ": TRzRadioButton\n    Left = " + std::to_string(left) +
         "\n    Top = " + std::to_string(top) + "\n    Width = " + std::to_string(width) +
         "\n    Height = 17\n    Caption = " + Quoted(caption) +
         (checked ? "\n    Checked = True" : "") + "\n    TabOrder = " + std::to_string(tab) +
         "\n  end\n";
}

std::string Edit(const std::string& name, int left, int top, int width, int tab, bool password) {
  return "  object " + name + ": TEdit\n    Left = " + std::to_string(left) +
         "\n    Top = " + std::to_string(top) + "\n    Width = " + std::to_string(width) +
         "\n    Height = 21\n" + (password ? "    PasswordChar = '*'\n" : "") +
         "    TabOrder = " + std::to_string(tab) + "\n  end\n";
}

// Buttons give their name as the dialog's result (Tag 5): the engine reads which one it was.
std::string Button(const std::string& name, int left, int top, const std::string& caption,
                   bool is_default, bool is_cancel, int tab) {
  return "  object " + name + ": TButton\n    Left = " + std::to_string(left) +
         "\n    Top = " + std::to_string(top) + "\n    Width = 75\n    Height = 25\n" +
         (is_cancel ? "    Cancel = True\n" : "") + "    Caption = " + Quoted(caption) + "\n" +
         (is_default ? "    Default = True\n" : "") + "    TabOrder = " + std::to_string(tab) +
         "\n    Tag = 5\n  end\n";
}

// A control's text form one level deeper (a child of the control before it).
std::string Indented(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    out += "  " + text.substr(at, end - at + 1);
    at = end + 1;
  }
  return out;
}

constexpr const char* kRetryDownload = "Retry Download?";
constexpr const char* kRetryExtraction = "Retry Extraction?";

std::string ProxyExText() {
  return Header("zelProxyEx", kRetryDownload, 420, 226) +
         Label("MessageLabel", 16, 16, 388, 28,
               "Downloading of installation data from the web has failed. Please make sure you "
               "are connected to the Internet.") +
         Label("ChoiceLabel", 16, 52, 388, 13, "Would you like to:") +
         Radio("ResumeRadio", 32, 72, 372, "Try to &resume the broken download?", true, 0) +
         Radio("NewCopyRadio", 32, 96, 372, "Download a &new copy of the data instead?", false, 1) +
         Label("NoteLabel", 16, 128, 388, 42,
               "If you choose Cancel, setup will exit. However, you will be able to resume your "
               "download from where it left off when you re-run setup.") +
         Button("ButtonOK", 248, 186, "OK", true, false, 2) +
         Button("ButtonCancel", 330, 186, "Cancel", false, true, 3) + "end\n";
}

std::string ProxyText() {
  std::string t = Header("zelProxy", kRetryDownload, 420, 282) +
                  Label("MessageLabel", 16, 16, 388, 28,
                        "Downloading of installation data from the web has failed. Would you like "
                        "to try again?");
  // The fields lie inside the group (its children, placed relative to it).
  t += "  object ProxyGroup: TGroupBox\n    Left = 16\n    Top = 52\n    Width = 388\n"
       "    Height = 132\n    Caption = ' Proxy Information (optional) '\n    TabOrder = 0\n";
  const char* labels[] = {"Proxy &Server:", "Proxy &Port:", "Proxy &User:", "Proxy Pass&word:"};
  const char* edits[] = {"ServerEdit", "PortEdit", "UserEdit", "PasswordEdit"};
  for (int i = 0; i < 4; ++i) {
    const int top = 22 + i * 26;
    t += Indented(Label(std::string(edits[i]) + "Label", 16, top + 4, 100, 13, labels[i]));
    t += Indented(Edit(edits[i], 120, top, 252, i, i == 3));
  }
  t += "  end\n";
  t += Label("NoteLabel", 16, 196, 388, 42,
             "If you choose No, setup will exit. However, you will be able to resume your "
             "download from where it left off when you re-run setup.");
  t += Button("ButtonYes", 248, 246, "&Yes", true, false, 1);
  t += Button("ButtonNo", 330, 246, "&No", false, true, 2);
  return t + "end\n";
}

std::string ExtractText() {
  return Header("zelExtract", kRetryExtraction, 420, 210) +
         Label("MessageLabel", 16, 16, 388, 28,
               "Extraction of installation data downloaded from the web has failed. What would "
               "you like to do?") +
         Radio("DownloadRadio", 32, 56, 372, "&Download a fresh copy of the installation data.",
               true, 0) +
         Radio("ExtractRadio", 32, 80, 372, "Try to &extract the existing download data again.",
               false, 1) +
         Label("NoteLabel", 16, 112, 388, 42,
               "If you choose Cancel, setup will exit. Your existing download data will be "
               "preserved.") +
         Button("ButtonOK", 248, 170, "OK", true, false, 2) +
         Button("ButtonCancel", 330, 170, "Cancel", false, true, 3) + "end\n";
}

// Fills the form from the run as every dialog is filled, with the engine's own caption (the
// script's dialogs get the engine window's name after theirs; a question of the engine is its
// own window).
void PrepareQuestion(DialogRuntime& dialog, const char* caption) {
  dialog.Prepare();
  dialog.form_state().text = caption;
}

DialogDisplay* DisplayOf(interp::Session& session) {
  if (session.variables.silent()) return nullptr;
  return session.Find<DialogDisplay>();
}

void SetChecked(DialogRuntime& dialog, const char* name, bool checked) {
  if (ControlState* s = dialog.Find(name)) s->checked = checked;
}

bool IsChecked(DialogRuntime& dialog, const char* name) {
  ControlState* s = dialog.Find(name);
  return s != nullptr && s->checked;
}

std::string TextOf(DialogRuntime& dialog, const char* name) {
  ControlState* s = dialog.Find(name);
  return s != nullptr ? s->text : std::string();
}

void SetTextOf(DialogRuntime& dialog, const char* name, const std::string& text) {
  if (ControlState* s = dialog.Find(name)) s->text = text;
}

// The runtime's button result: the name of the button clicked.
bool Chose(DialogRuntime& dialog, const char* button) {
  return dialog.result_code() == result::kNamed && platform::SameText(dialog.result_text(), button);
}

}  // namespace

std::string EngineDialogText(const std::string& name) {
  if (name == "zelProxyEx") return ProxyExText();
  if (name == "zelProxy") return ProxyText();
  if (name == "zelExtract") return ExtractText();
  return "";
}

ResumeAnswer AskRetryDownloadResume(interp::Session& session) {
  ResumeAnswer answer;
  DialogDisplay* display = DisplayOf(session);
  if (!display) return answer;
  DialogRuntime& dialog = display->EngineForm("zelProxyEx", ProxyExText());
  PrepareQuestion(dialog, kRetryDownload);
  SetChecked(dialog, "ResumeRadio", true);
  SetChecked(dialog, "NewCopyRadio", false);
  display->ShowEngineDialog(dialog, kEngineQuestionTimeoutMs,
                            [](DialogRuntime& d) { d.Click("ButtonOK"); });
  answer.retry = Chose(dialog, "ButtonOK");
  answer.resume = IsChecked(dialog, "ResumeRadio");
  return answer;
}

ProxyAnswer AskRetryDownloadProxy(interp::Session& session, const ProxyAnswer& current) {
  ProxyAnswer answer = current;
  answer.retry = false;
  DialogDisplay* display = DisplayOf(session);
  if (!display) return answer;
  DialogRuntime& dialog = display->EngineForm("zelProxy", ProxyText());
  PrepareQuestion(dialog, kRetryDownload);
  SetTextOf(dialog, "ServerEdit", current.server);
  SetTextOf(dialog, "PortEdit", current.port);
  SetTextOf(dialog, "UserEdit", current.user);
  SetTextOf(dialog, "PasswordEdit", current.password);
  display->ShowEngineDialog(dialog, 0, nullptr);
  answer.retry = Chose(dialog, "ButtonYes");
  if (answer.retry) {
    answer.server = TextOf(dialog, "ServerEdit");
    answer.port = TextOf(dialog, "PortEdit");
    answer.user = TextOf(dialog, "UserEdit");
    answer.password = TextOf(dialog, "PasswordEdit");
  }
  // The password does not stay in the dialog's state for the rest of the run.
  if (ControlState* s = dialog.Find("PasswordEdit")) s->text.assign(s->text.size(), '\0');
  SetTextOf(dialog, "PasswordEdit", "");
  return answer;
}

ExtractAnswer AskRetryExtraction(interp::Session& session) {
  DialogDisplay* display = DisplayOf(session);
  if (!display) return ExtractAnswer::kCancel;
  DialogRuntime& dialog = display->EngineForm("zelExtract", ExtractText());
  PrepareQuestion(dialog, kRetryExtraction);
  SetChecked(dialog, "DownloadRadio", true);
  SetChecked(dialog, "ExtractRadio", false);
  display->ShowEngineDialog(dialog, kEngineQuestionTimeoutMs, [](DialogRuntime& d) {
    d.Check("DownloadRadio", true);
    d.Click("ButtonOK");
  });
  if (!Chose(dialog, "ButtonOK")) return ExtractAnswer::kCancel;
  return IsChecked(dialog, "ExtractRadio") ? ExtractAnswer::kExtractAgain
                                           : ExtractAnswer::kDownloadAgain;
}

}  // namespace corvane::ui
