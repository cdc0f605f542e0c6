#include "app/StatusBar.h"

#include <QLabel>
#include <cstdio>

#include "display/RecordingClock.h"
#include "display/TimeText.h"

namespace skelvane {
namespace {

constexpr int32_t kMicrosecondDecimals = 6;
constexpr int64_t kPercent = 100;

}  // namespace

StatusBar::StatusBar(QWidget* parent)
    : QStatusBar(parent),
      pointer_(new QLabel(this)),
      cursors_(new QLabel(this)),
      span_(new QLabel(this)),
      progress_(new QLabel(this)),
      spikes_(new QLabel(this)) {
  setSizeGripEnabled(false);
  // Long readings are cut at the window's edge: a label as wide as its text would widen the window.
  pointer_->setMinimumWidth(1);
  cursors_->setMinimumWidth(1);
  addWidget(pointer_, 1);
  addWidget(cursors_);
  cursors_->hide();
  addPermanentWidget(progress_);
  addPermanentWidget(spikes_);
  addPermanentWidget(span_);
  progress_->hide();
  spikes_->hide();
  // A notice takes the place of the readings while it lasts; the cursors' readout returns after it.
  connect(this, &QStatusBar::messageChanged, this, [this] { FitCursors(); });
}

void StatusBar::FitCursors() { cursors_->setVisible(!cursors_->text().isEmpty() && currentMessage().isEmpty()); }

std::string StatusBar::PointerText(const Pointer& p) {
  std::string text = RecordingClock(p.clockOrigin).Reading(p.time);
  if (p.plotName.empty()) return text;
  text += "  " + p.plotName;
  if (!p.counts) return text;
  text += ": " + std::to_string(*p.counts) + " counts";
  if (p.microvolts) {
    char microvolts[32];
    std::snprintf(microvolts, sizeof microvolts, " = %.1f uV", *p.microvolts);
    text += microvolts;
  }
  if (!p.band.empty()) text += " filtered (" + p.band + ")";
  return text;
}

std::string StatusBar::SpanText(int64_t span) { return "Span " + TimeText::Seconds(span, kMicrosecondDecimals) + " s"; }

std::string StatusBar::ProgressText(int64_t done, int64_t total) {
  if (total <= 0 || done >= total) return {};
  return "Summaries " + std::to_string(std::max<int64_t>(done, 0) * kPercent / total) + "%";
}

std::string StatusBar::SpikeCountText(int64_t spikes, bool complete) {
  return (complete ? "" : "at least ") + std::to_string(spikes) + (spikes == 1 ? " spike" : " spikes") + " in view";
}

void StatusBar::ShowSpikeCount(int64_t spikes, bool complete) {
  spikes_->setText(QString::fromStdString(SpikeCountText(spikes, complete)));
  spikes_->show();
}

void StatusBar::HideSpikeCount() {
  spikes_->clear();
  spikes_->hide();
}

void StatusBar::ShowPointer(const Pointer& pointer) { pointer_->setText(QString::fromStdString(PointerText(pointer))); }

void StatusBar::ClearPointer() { pointer_->clear(); }

void StatusBar::ShowCursors(const std::string& readout) {
  cursors_->setText(QString::fromStdString(readout));
  FitCursors();
}

void StatusBar::ShowSpan(int64_t span) { span_->setText(QString::fromStdString(SpanText(span))); }

void StatusBar::ShowSummaryProgress(int64_t done, int64_t total) {
  const std::string text = ProgressText(done, total);
  progress_->setText(QString::fromStdString(text));
  progress_->setVisible(!text.empty());
}

QString StatusBar::PointerLabelText() const { return pointer_->text(); }
QString StatusBar::CursorsLabelText() const { return cursors_->text(); }
bool StatusBar::CursorsShown() const { return cursors_->isVisible(); }
QString StatusBar::SpanLabelText() const { return span_->text(); }
QString StatusBar::ProgressLabelText() const { return progress_->text(); }
QString StatusBar::SpikeCountLabelText() const { return spikes_->text(); }

}  // namespace skelvane
