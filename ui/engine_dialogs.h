// The engine's own questions after a failed download or extraction of web media:
//
//   zelProxyEx  "Retry Download?" with the choice to resume (the system's downloader)
//   zelProxy    "Retry Download?" with the proxy fields (our own HTTP client)
//   zelExtract  "Retry Extraction?" with the choice to download a fresh copy
//
// They are forms of the dialog runtime that the engine makes itself, shown modally through the
// run's dialog display on top of the dialog on screen, so both renderers show them (and the
// simulation answers them from its answers file, as "dialog zelProxy"). The two with a choice
// decide on their own after 60 seconds without an answer. A run without a dialog display (or a
// silent one) asks nothing: the answer is Cancel / No.
//
// Main thread only.
#pragma once

#include <string>

namespace corvane::interp {
class Session;
}

namespace corvane::ui {

class DialogDisplay;

inline constexpr unsigned kEngineQuestionTimeoutMs = 60000;

struct ResumeAnswer {
  bool retry = false;  // OK (false: Cancel)
  bool resume = true;  // the resume choice (false: a new copy)
};
ResumeAnswer AskRetryDownloadResume(interp::Session& session);

struct ProxyAnswer {
  bool retry = false;  // Yes (false: No)
  std::string server, port, user, password;
};
// The fields start with the values of `current`.
ProxyAnswer AskRetryDownloadProxy(interp::Session& session, const ProxyAnswer& current);

enum class ExtractAnswer { kCancel, kDownloadAgain, kExtractAgain };
ExtractAnswer AskRetryExtraction(interp::Session& session);

// The form texts (for tests and photographs).
std::string EngineDialogText(const std::string& name);

}  // namespace corvane::ui
