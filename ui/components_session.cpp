#include "ui/components_session.h"

#include <memory>

namespace corvane::ui {

ComponentTable& ComponentsOf(interp::Session& session) {
  if (auto* table = session.Find<ComponentTable>()) return *table;
  // A run that attached none (a test of single commands) gets one that lives as long as the
  // session: its exit clean-up keeps the only reference.
  auto owned = std::make_shared<ComponentTable>();
  owned->SetImageSizes(session.image.components);
  session.Attach<ComponentTable>(owned.get());
  session.exit_cleanups.push_back([owned] {});
  return *owned;
}

}  // namespace corvane::ui
