#include "app/QtFileChooser.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "app/Preferences.h"

namespace skelvane {
namespace {

constexpr const char* kEveryFilePattern = "*.*";
// Each kind of chooser opens where the last one of its kind ended.
const QString kOpenFolder = QStringLiteral("open");
const QString kSaveFolder = QStringLiteral("save");
const QString kChosenFolder = QStringLiteral("folder");

void StartIn(QFileDialog& dialog, const QString& kind) {
  const QString folder = Preferences::LastFolder(kind);
  if (!folder.isEmpty()) dialog.setDirectory(folder);
}

// The extension a filter stands for: "png" for "*.png"; empty for "*.*" or several patterns' wildcards.
std::string SuffixOf(const FileChooser::Filter& filter) {
  if (filter.patterns.empty()) return {};
  const std::string& pattern = filter.patterns.front();
  if (pattern == kEveryFilePattern || pattern.rfind("*.", 0) != 0) return {};
  const std::string suffix = pattern.substr(2);
  return suffix.find_first_of("*?[") == std::string::npos ? suffix : std::string();
}

std::string ToLocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString FromLocalPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

QString QtFileChooser::ToQtFilters(const std::vector<Filter>& filters) {
  QStringList lines;
  for (const Filter& filter : filters) {
    QStringList patterns;
    for (const std::string& pattern : filter.patterns) {
      // A name without a dot has no extension; "*.*" still means every file.
      patterns << (pattern == kEveryFilePattern ? QStringLiteral("*") : QString::fromStdString(pattern));
    }
    QString description = QString::fromStdString(filter.description).trimmed();
    // Qt reads the patterns from the last parentheses, so a description that names them already
    // has that part replaced by the patterns actually used.
    if (description.endsWith(QLatin1Char(')'))) {
      const qsizetype open = description.lastIndexOf(QLatin1Char('('));
      if (open >= 0) description = description.left(open).trimmed();
    }
    lines << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
  }
  return lines.join(QStringLiteral(";;"));
}

std::optional<std::vector<std::string>> QtFileChooser::OpenFiles(const std::string& title,
                                                                 const std::string& initialName,
                                                                 const std::vector<Filter>& filters, bool multiple) {
  QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  StartIn(dialog, kOpenFolder);
  if (!filters.empty()) dialog.setNameFilters(ToQtFilters(filters).split(QStringLiteral(";;")));
  // An initial folder is where the chooser starts; an initial name with wildcards only narrows the
  // list; a plain one is preselected.
  const QString initial = FromLocalPath(initialName);
  if (!initialName.empty() && QFileInfo(initial).isDir()) {
    dialog.setDirectory(initial);
  } else if (!initialName.empty() && initialName.find_first_of("*?") == std::string::npos) {
    dialog.selectFile(initial);
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  Preferences::SetLastFolder(kOpenFolder, dialog.directory().absolutePath());
  std::vector<std::string> paths;
  for (const QString& path : dialog.selectedFiles()) paths.push_back(ToLocalPath(path));
  return paths;
}

std::optional<std::string> QtFileChooser::SaveFile(const std::string& title, const std::string& defaultSuffix,
                                                   const std::vector<Filter>& filters) {
  QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(title));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Saving over an existing file replaces it without a question.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  StartIn(dialog, kSaveFolder);
  const QStringList qtFilters = ToQtFilters(filters).split(QStringLiteral(";;"), Qt::SkipEmptyParts);
  if (!qtFilters.isEmpty()) dialog.setNameFilters(qtFilters);
  // The type of the default suffix is the one offered.
  for (std::size_t i = 0; i < filters.size() && i < static_cast<std::size_t>(qtFilters.size()); ++i) {
    if (!defaultSuffix.empty() && SuffixOf(filters[i]) == defaultSuffix) {
      dialog.selectNameFilter(qtFilters[static_cast<qsizetype>(i)]);
      break;
    }
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  // A name typed without an extension takes the one of the type chosen (the default suffix for
  // "every file"); the dialog would give every name the default.
  QString path = dialog.selectedFiles().front();
  if (QFileInfo(path).suffix().isEmpty()) {
    const qsizetype chosen = qtFilters.indexOf(dialog.selectedNameFilter());
    const std::string suffix = chosen >= 0 ? SuffixOf(filters[static_cast<std::size_t>(chosen)]) : std::string();
    const std::string added = suffix.empty() ? defaultSuffix : suffix;
    if (!added.empty()) path += QLatin1Char('.') + QString::fromStdString(added);
  }
  // The next Save As starts where this file goes, not where the dialog was browsing.
  Preferences::SetLastFolder(kSaveFolder, QFileInfo(path).absolutePath());
  return ToLocalPath(path);
}

std::optional<std::string> QtFileChooser::ChooseFolder(const std::string& title, const std::string& start) {
  const QString from = start.empty() ? Preferences::LastFolder(kChosenFolder) : FromLocalPath(start);
  const QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
                                                           QString::fromStdString(title), from,
                                                           QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  Preferences::SetLastFolder(kChosenFolder, folder);
  return ToLocalPath(folder);
}

}  // namespace skelvane
