#include "platform/network.h"

namespace corvane::platform {

const char* NetStatusName(NetStatus s) {
  switch (s) {
    case NetStatus::kOk: return "ok";
    case NetStatus::kClosed: return "closed";
    case NetStatus::kTimedOut: return "timed out";
    case NetStatus::kRefused: return "refused";
    case NetStatus::kUnknownHost: return "unknown host";
    case NetStatus::kFailed: break;
  }
  return "failed";
}

}  // namespace corvane::platform
