#include "platform/access_lists.h"

namespace corvane::platform {

const char* SecuredKindName(SecuredKind kind) {
  switch (kind) {
    case SecuredKind::kFile:
      return "file";
    case SecuredKind::kShare:
      return "share";
    case SecuredKind::kRegistryKey:
      return "key";
    case SecuredKind::kService:
      return "service";
    case SecuredKind::kPrinter:
      return "printer";
  }
  return "file";
}

}  // namespace corvane::platform
