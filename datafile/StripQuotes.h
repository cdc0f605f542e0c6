#pragma once
// Removes the double quotes a shell or the desktop may put around a path handed to the program.
// Used by the main window on the command-line path before it opens it.

#include <string>
#include <string_view>

namespace skelvane {

/// The text without its first and last character when it begins with '"'; otherwise unchanged.
std::string StripQuotes(std::string_view text);

}  // namespace skelvane
