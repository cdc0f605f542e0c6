#include "app/AppResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a global function, so it is called from the global namespace.
static void RegisterSkelvaneResources() { Q_INIT_RESOURCE(skelvane); }

namespace skelvane {

void LoadAppResources() {
  static const bool loaded = (RegisterSkelvaneResources(), true);
  (void)loaded;
}

}  // namespace skelvane
