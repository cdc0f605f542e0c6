#pragma once
// One row of the main window's command table: the menu bar's popups, their items, separators and
// submenus, and keys without an item, each with its number, text, keys, check mark, what Help > Keys
// and Mouse says it does and the handler that runs it. WindowCommands holds the table; CommandMenus
// and KeysAndMouseDialog are built from it.

#include <cstdint>

namespace skelvane {

class WindowCommands;

struct CommandRow {
  /// Where a row stands: the menu bar, one of the menus, or nowhere (a key without an item).
  enum class Menu : uint8_t { None, Bar, File, RecentFiles, Display, TimeAxisLabels, Filter, SpikeExtraction, Help };
  enum class Kind : uint8_t { Item, Separator, Submenu };
  using Handler = void (*)(WindowCommands& commands);
  using CheckQuery = bool (*)(const WindowCommands& commands);

  Kind kind = Kind::Item;
  int32_t command = 0;           // CommandIds.h; 0 for separators and submenus
  Menu menu = Menu::None;        // items of one menu stand in table order
  const char* text = nullptr;    // the item text, accelerator text after a tab; a submenu's title
  const char* keys = "";         // shortcuts in Qt's portable text, "; " between them, the menu's first
  const char* does = nullptr;    // Keys and Mouse's words for it; rows with the same words share a line
  Handler run = nullptr;
  CheckQuery checked = nullptr;  // whether the item is checked now; null for an item without a check mark
  bool radio = false;            // one of the menu's items of which exactly one is checked
  Menu opens = Menu::None;       // the menu a submenu row opens
};

}  // namespace skelvane
