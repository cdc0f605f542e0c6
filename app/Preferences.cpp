#include "app/Preferences.h"

#include <QSettings>
#include <QVariant>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>

#include "extract/ExtractionParameters.h"

namespace skelvane {
namespace {

constexpr const char* kOrganisation = "Skelvane";
constexpr const char* kApplication = "Skelvane";
constexpr const char* kTimeLabelsKey = "display/timeLabels";
constexpr const char* kMicrovoltsKey = "display/dataAxisMicrovolts";
constexpr const char* kKeepSummariesKey = "display/keepSummariesOnDisk";
constexpr const char* kRecentKey = "recentFiles";
constexpr const char* kRecentPathsKey = "paths";
constexpr const char* kGeometryKey = "window/geometry";
constexpr const char* kFolderGroup = "folders/";
constexpr const char* kPictureTypeKey = "bitmap/type";
constexpr const char* kBandsShownKey = "display/bandsShown";
// A session shows a handful of bands; each one remembered is designed on a thread of its own at start.
constexpr std::size_t kMostBandsShown = 8;

// An INI file in the user's configuration folder; tests point QSettings::setPath at a temporary one.
QSettings Store() { return QSettings(QSettings::IniFormat, QSettings::UserScope, kOrganisation, kApplication); }

}  // namespace

IPlotCanvas::TimeLabelStyle Preferences::TimeLabelStyle() {
  const int value = Store().value(kTimeLabelsKey, 0).toInt();
  switch (value) {
    case static_cast<int>(IPlotCanvas::TimeLabelStyle::Seconds): return IPlotCanvas::TimeLabelStyle::Seconds;
    case static_cast<int>(IPlotCanvas::TimeLabelStyle::Clock): return IPlotCanvas::TimeLabelStyle::Clock;
    default: return IPlotCanvas::TimeLabelStyle::Microseconds;
  }
}

void Preferences::SetTimeLabelStyle(IPlotCanvas::TimeLabelStyle style) {
  Store().setValue(kTimeLabelsKey, static_cast<int>(style));
}

bool Preferences::DataAxisInMicrovolts() { return Store().value(kMicrovoltsKey, false).toBool(); }

void Preferences::SetDataAxisInMicrovolts(bool on) { Store().setValue(kMicrovoltsKey, on); }

bool Preferences::KeepSummaries() { return Store().value(kKeepSummariesKey, true).toBool(); }

void Preferences::SetKeepSummaries(bool on) { Store().setValue(kKeepSummariesKey, on); }

std::vector<QStringList> Preferences::RecentSets() {
  QSettings store = Store();
  std::vector<QStringList> sets;
  const int count = store.beginReadArray(kRecentKey);
  for (int i = 0; i < count && i < kMaxRecentSets; ++i) {
    store.setArrayIndex(i);
    const QStringList paths = store.value(kRecentPathsKey).toStringList();
    if (!paths.isEmpty()) sets.push_back(paths);
  }
  store.endArray();
  return sets;
}

namespace {

void StoreRecentSets(const std::vector<QStringList>& sets) {
  QSettings store = Store();
  store.remove(kRecentKey);
  if (sets.empty()) return;
  store.beginWriteArray(kRecentKey, static_cast<int>(sets.size()));
  for (std::size_t i = 0; i < sets.size(); ++i) {
    store.setArrayIndex(static_cast<int>(i));
    store.setValue(kRecentPathsKey, sets[i]);
  }
  store.endArray();
}

}  // namespace

void Preferences::AddRecentSet(const QStringList& paths) {
  if (paths.isEmpty()) return;
  std::vector<QStringList> sets = RecentSets();
  std::erase(sets, paths);
  sets.insert(sets.begin(), paths);
  if (sets.size() > static_cast<std::size_t>(kMaxRecentSets)) sets.resize(kMaxRecentSets);
  StoreRecentSets(sets);
}

void Preferences::RemoveRecentSet(const QStringList& paths) {
  std::vector<QStringList> sets = RecentSets();
  if (std::erase(sets, paths) > 0) StoreRecentSets(sets);
}

void Preferences::ClearRecentSets() { Store().remove(kRecentKey); }

QByteArray Preferences::WindowGeometry() { return Store().value(kGeometryKey).toByteArray(); }


// A hand-edited or foreign file must not hand the run values its dialog would refuse: a set that
// does not hold together is ignored as a whole.
void Preferences::LoadExtractionParameters(ExtractionParameters& p) {
  QSettings store = Store();
  store.beginGroup(QStringLiteral("extraction"));
  if (!store.contains("channels")) return;
  ExtractionParameters loaded;
  loaded.ExtractionMode = store.value("mode").toInt();
  loaded.ExtractionType = store.value("type").toInt();
  loaded.Threshold = store.value("threshold").toDouble();
  loaded.NumChannels = store.value("channels").toInt();
  loaded.AlignmentPt = store.value("alignment").toInt();
  loaded.NumSpikePoints = store.value("spikePoints").toInt();
  loaded.OutputDirectory = store.value("outputDirectory").toString().toStdString();
  // A file from before the band filters has none: samples as recorded.
  std::string refusal;
  const std::optional<FilterChoice> filter =
      FilterChoice::Parse(store.value("filter", QStringLiteral("none")).toString().toStdString(), refusal);
  store.endGroup();
  const bool valid = (loaded.ExtractionMode == kExtractionModeThreshold || loaded.ExtractionMode == kExtractionModeSlope) &&
                     loaded.ExtractionType >= kExtractionTypePositive && loaded.ExtractionType <= kExtractionTypeBoth &&
                     (loaded.NumChannels == 1 || loaded.NumChannels == 2 || loaded.NumChannels == 4) &&
                     loaded.NumSpikePoints > 0 && loaded.AlignmentPt >= 1 &&
                     loaded.AlignmentPt <= loaded.NumSpikePoints && std::isfinite(loaded.Threshold) && filter;
  if (!valid) return;
  p.ExtractionMode = loaded.ExtractionMode;
  p.ExtractionType = loaded.ExtractionType;
  p.Threshold = loaded.Threshold;
  p.NumChannels = loaded.NumChannels;
  p.AlignmentPt = loaded.AlignmentPt;
  p.NumSpikePoints = loaded.NumSpikePoints;
  p.OutputDirectory = loaded.OutputDirectory;
  p.Filter = *filter;
}

// Each band as its text and the rate: "spike@32000", "300:3000@30000".
std::vector<std::pair<FilterChoice, double>> Preferences::BandsShown() {
  std::vector<std::pair<FilterChoice, double>> bands;
  for (const QString& entry : Store().value(kBandsShownKey).toStringList()) {
    const qsizetype at = entry.lastIndexOf('@');
    bool isNumber = false;
    const double rate = at > 0 ? entry.mid(at + 1).toDouble(&isNumber) : 0.0;
    std::string refusal;
    const std::optional<FilterChoice> band = FilterChoice::Parse(entry.left(at).toStdString(), refusal);
    if (isNumber && std::isfinite(rate) && rate > 0.0 && band && !band->IsNone()) bands.emplace_back(*band, rate);
    if (bands.size() >= kMostBandsShown) break;
  }
  return bands;
}

void Preferences::SaveAtClose(const QByteArray& geometry, const ExtractionParameters& p,
                              const std::vector<std::pair<FilterChoice, double>>& bands) {
  QSettings store = Store();
  store.setValue(kGeometryKey, geometry);
  QStringList shown;
  for (const auto& [band, rate] : bands) {
    const QString entry = QString::fromStdString(band.Text()) + '@' + QString::number(rate, 'g', 17);
    if (!shown.contains(entry)) shown.push_back(entry);
    if (static_cast<std::size_t>(shown.size()) >= kMostBandsShown) break;
  }
  store.setValue(kBandsShownKey, shown);
  store.beginGroup(QStringLiteral("extraction"));
  store.setValue("mode", p.ExtractionMode);
  store.setValue("type", p.ExtractionType);
  store.setValue("threshold", p.Threshold);
  store.setValue("channels", p.NumChannels);
  store.setValue("alignment", p.AlignmentPt);
  store.setValue("spikePoints", p.NumSpikePoints);
  store.setValue("outputDirectory", QString::fromStdString(p.OutputDirectory));
  store.setValue("filter", QString::fromStdString(p.Filter.Text()));
  store.endGroup();
}

QString Preferences::LastFolder(const QString& kind) { return Store().value(kFolderGroup + kind).toString(); }

void Preferences::SetLastFolder(const QString& kind, const QString& folder) {
  Store().setValue(kFolderGroup + kind, folder);
}

std::string Preferences::PictureType(const std::string& fallback) {
  return Store().value(kPictureTypeKey, QString::fromStdString(fallback)).toString().toStdString();
}

void Preferences::SetPictureType(const std::string& extension) {
  Store().setValue(kPictureTypeKey, QString::fromStdString(extension));
}

}  // namespace skelvane
