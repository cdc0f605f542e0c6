#pragma once
// Path helpers shared by the data source manager, the plots, the extraction run and the window's files.
// '/' separates folders; a name's title is the name cut before its first '.'.

#include <string>
#include <string_view>

namespace skelvane {

/// The text after the last '/' (the whole text when there is none).
std::string FileNameOf(std::string_view path);
/// The file name cut before its first '.'; empty when the name has no '.'.
std::string FileTitleOf(std::string_view path);
/// The text before the last '/' (empty when there is none).
std::string FolderOf(std::string_view path);
/// The path made absolute against the working folder, with "." and ".." taken out by the text alone:
/// links are not followed, so two names linking to one file stay two paths.
std::string AbsolutePathOf(std::string_view path);

}  // namespace skelvane
