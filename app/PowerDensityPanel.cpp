#include "app/PowerDensityPanel.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>
#include <utility>

#include "app/PowerDensityPicture.h"
#include "datafile/RecordReader.h"
#include "display/IPlot.h"
#include "display/IPlotCollection.h"
#include "display/ViewState.h"
#include "filter/PowerDensity.h"
#include "platform/PathHelpers.h"
#include "platform/Saturating.h"

namespace skelvane {
namespace {

constexpr const char* kTitle = "Spectrum";
constexpr const char* kNoPlotText = "No plot open";

QString Seconds(double seconds) { return QString::number(seconds, 'g', 3); }

}  // namespace

PowerDensityPanel::PowerDensityPanel(const IPlotCollection& plots, IDataSourceManager& sources, const ViewState& view,
                             FilterOf filterOf, QWidget* parent)
    : QDockWidget(QString::fromUtf8(kTitle), parent),
      plots_(plots),
      sources_(sources),
      view_(view),
      filterOf_(std::move(filterOf)) {
  setObjectName(QString::fromUtf8(kTitle));
  auto* contents = new QWidget(this);
  auto* column = new QVBoxLayout(contents);
  log_ = new QCheckBox(QString::fromUtf8(kLogSwitchText), contents);
  log_->setChecked(true);
  picture_ = new PowerDensityPicture(contents);
  info_ = new QLabel(contents);
  info_->setWordWrap(true);
  column->addWidget(log_);
  column->addWidget(picture_, 1);
  column->addWidget(info_);
  setWidget(contents);
  connect(log_, &QCheckBox::toggled, this, [this](bool on) { picture_->SetLogFrequency(on); });
  // Hidden, it asks for nothing; shown again, it catches up with the view.
  connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible) FollowView();
  });
  worker_ = std::thread([this] { Work(); });
}

PowerDensityPanel::~PowerDensityPanel() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void PowerDensityPanel::FollowPlot(int32_t index) {
  IPlot* plot = nullptr;
  if (plots_.GetPlot(index, plot) != 0 || plot == nullptr || plot->GetPath() == followed_) return;
  followed_ = plot->GetPath();
  FollowView();
}

// The plot followed while it is open, else the first one.
std::optional<PowerDensityPanel::Subject> PowerDensityPanel::SubjectNow(QString& none) const {
  const int32_t count = plots_.GetNumPlots();
  IPlot* chosen = nullptr;
  for (int32_t i = 0; i < count; ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != 0 || plot == nullptr) continue;
    if (chosen == nullptr || plot->GetPath() == followed_) chosen = plot;
    if (plot->GetPath() == followed_) break;
  }
  if (chosen == nullptr) {
    none = QString::fromUtf8(kNoPlotText);
    return std::nullopt;
  }
  Subject subject;
  subject.name = FileTitleOf(chosen->GetPath());
  subject.sampleInterval = chosen->GetSamplePeriod();
  int32_t source = -1;
  if (subject.sampleInterval <= 0.0 || sources_.FindSourceByPath(chosen->GetPath(), source) != 0 ||
      sources_.GetRecordLayout(source, subject.layout) != 0) {
    none = QString::fromStdString(subject.name) + QStringLiteral(": its sampling rate is not known yet");
    return std::nullopt;
  }
  subject.start = view_.VisibleStart;
  subject.end = SaturatingAdd(view_.VisibleStart, view_.VisibleSpan);
  subject.filter = filterOf_ ? filterOf_(*chosen) : FilterChoice();
  return subject;
}

void PowerDensityPanel::FollowView() {
  if (isHidden()) return;
  QString none;
  std::optional<Subject> subject = SubjectNow(none);
  if (!subject) {
    asked_.reset();
    shown_.reset();
    noSubject_ = none;
    picture_->Show(std::nullopt);
    ShowInfo();
    return;
  }
  if (asked_ == subject) return;
  asked_ = subject;
  noSubject_.clear();
  {
    std::lock_guard lock(mutex_);
    pending_ = std::move(subject);
    ++serial_;
  }
  wake_.notify_one();
  ShowInfo();
}

void PowerDensityPanel::Work() {
  RecordReader reader;
  SpanDensity spectrum;
  std::string readerPath;
  int64_t readerRecords = -1;
  int32_t openError = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || pending_.has_value(); });
    if (quit_) return;
    const Subject subject = std::move(*pending_);
    pending_.reset();
    const uint64_t serial = serial_;
    lock.unlock();
    // The reader of the recording asked for, opened again when the file grew or another is asked for.
    if (subject.layout.path != readerPath || subject.layout.numRecords != readerRecords) {
      reader = RecordReader();
      readerPath = subject.layout.path;
      readerRecords = subject.layout.numRecords;
      openError = reader.Open(subject.layout);
    }
    SpanDensity::Result result;
    if (!reader.IsOpen()) {
      result.status = SpanDensity::Result::Status::kFailed;
      result.readError = openError;
    } else {
      result = spectrum.Compute(reader, subject.sampleInterval, subject.start, subject.end, subject.filter, [this, serial] {
        std::lock_guard check(mutex_);
        return quit_ || serial_ != serial;
      });
    }
    if (result.status != SpanDensity::Result::Status::kStopped) {
      QMetaObject::invokeMethod(
          this, [this, serial, subject, result = std::move(result)]() mutable { Take(serial, subject, std::move(result)); },
          Qt::QueuedConnection);
    }
    lock.lock();
  }
}

void PowerDensityPanel::Take(uint64_t serial, const Subject& subject, SpanDensity::Result result) {
  {
    std::lock_guard lock(mutex_);
    if (serial != serial_) return;  // a later request is on its way
  }
  shownSerial_ = serial;
  shownSubject_ = subject;
  PowerDensityPicture::Drawn drawn;
  drawn.banded = !subject.filter.IsNone() && result.filterRefusal.empty();
  drawn.bandLowHz = subject.filter.LowHz();
  drawn.bandHighHz = subject.filter.HighHz();
  drawn.filterName = subject.filter.Description();
  drawn.spectrum = result;
  shown_ = std::move(result);
  picture_->Show(shown_->status == SpanDensity::Result::Status::kOk ? std::optional(std::move(drawn)) : std::nullopt);
  ShowInfo();
}

bool PowerDensityPanel::UpToDate() const {
  std::lock_guard lock(mutex_);
  return !asked_ || (shown_ && shownSerial_ == serial_);
}

QString PowerDensityPanel::EstimateText(const std::string& name, const SpanDensity::Result& result) {
  using Status = SpanDensity::Result::Status;
  const QString named = QString::fromStdString(name) + QStringLiteral(": ");
  switch (result.status) {
    case Status::kNoRecords: return named + QStringLiteral("no samples in the visible span");
    case Status::kTooLittleData:
      return named + QStringLiteral("too little data: the longest stretch without a gap holds %1 samples, a spectrum "
                                    "needs %2")
                         .arg(result.longestStretch)
                         .arg(PowerDensity::kShortestSegment);
    case Status::kFailed:
      return named + QStringLiteral("the recording could not be read (%1)").arg(result.readError);
    case Status::kStopped: return {};
    case Status::kOk: break;
  }
  QString text = named + QStringLiteral("Welch, %1 Hann segments of %2 samples (%3 s), half overlapping; bins %4 Hz apart")
                             .arg(result.segments)
                             .arg(result.segmentLength)
                             .arg(Seconds(static_cast<double>(result.segmentLength) / result.samplingHz))
                             .arg(Seconds(result.binHz));
  if (result.spread) {
    text += QStringLiteral("; from %1 pieces spread over the span").arg(SpanDensity::kPieces);
  }
  if (result.gaps) text += QStringLiteral("; the span has gaps: no segment spans one");
  if (!result.filterRefusal.empty()) text += QStringLiteral("; ") + QString::fromStdString(result.filterRefusal);
  return text;
}

QString PowerDensityPanel::InfoText() const { return info_->text(); }

void PowerDensityPanel::ShowInfo() {
  if (!noSubject_.isEmpty()) {
    info_->setText(noSubject_);
  } else if (shown_) {
    info_->setText(EstimateText(shownSubject_.name, *shown_));
  }
}

}  // namespace skelvane
