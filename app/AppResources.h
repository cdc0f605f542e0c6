#pragma once
// Makes the compiled-in resources (the icon) available. The resources live in the static app
// library, whose registration the linker would otherwise drop; MainWindow and AboutBox call it.

namespace skelvane {

/// Registers the application's resources once; later calls do nothing.
void LoadAppResources();

/// Resource path of the application icon.
inline constexpr const char* kAppIconResource = ":/skelvane/skelvane.xpm";

}  // namespace skelvane
