#include "app/SpikesPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <utility>

#include "app/SpikesPicture.h"
#include "platform/MemoryBitmap.h"
#include "platform/PathHelpers.h"
#include "platform/StatusCodes.h"
#include "spikes/SpikeFile.h"

namespace skelvane {
namespace {

constexpr std::size_t kBytesPerPixel = 4;  // 32-bit pixels, as the renderer's bitmap holds them
constexpr const char* kSpanSwitchText = "Only the spikes in the visible span";

// The renderer's bottom-up 32-bit bitmap as an image the right way up.
QImage ImageOf(const MemoryBitmap& bitmap) {
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
  const auto rowBytes = static_cast<std::size_t>(bitmap.Width()) * kBytesPerPixel;
  for (int32_t row = 0; row < bitmap.Height(); ++row) {
    std::memcpy(image.scanLine(row), bitmap.Bits() + static_cast<std::size_t>(bitmap.Height() - 1 - row) * bitmap.BytesPerRow(),
                rowBytes);
  }
  return image;
}

}  // namespace

SpikesPanel* SpikesPanel::Open(const std::string& path, CentreOnSpike centre, ClockNow clock, QWidget* parent) {
  auto file = std::make_unique<SpikeFile>();
  if (file->Open(path) != kStatusOk) return nullptr;  // the reader said what is wrong
  return new SpikesPanel(std::move(file), std::move(centre), std::move(clock), parent);
}

SpikesPanel::SpikesPanel(std::unique_ptr<SpikeFile> file, CentreOnSpike centre, ClockNow clock, QWidget* parent)
    : QDockWidget(QString::fromStdString(FileNameOf(file->Path())), parent),
      file_(std::move(file)),
      centre_(std::move(centre)),
      clock_(std::move(clock)) {
  setObjectName(QStringLiteral("Spikes ") + QString::fromStdString(file_->Path()));
  setAttribute(Qt::WA_DeleteOnClose);
  BuildWidgets();
  FillChoosers();
  info_->setText(QStringLiteral("Reading %1 spikes...").arg(file_->NumSpikes()));
  Load();
}

SpikesPanel::~SpikesPanel() {
  if (loader_.joinable()) loader_.join();
}

void SpikesPanel::BuildWidgets() {
  auto* contents = new QWidget(this);
  auto* column = new QVBoxLayout(contents);
  auto* choosers = new QHBoxLayout();
  channel_ = new QComboBox(contents);
  pair_ = new QComboBox(contents);
  spanOnly_ = new QCheckBox(QString::fromUtf8(kSpanSwitchText), contents);
  choosers->addWidget(new QLabel(QStringLiteral("Channel"), contents));
  choosers->addWidget(channel_);
  choosers->addWidget(new QLabel(QStringLiteral("Pair"), contents));
  choosers->addWidget(pair_);
  choosers->addStretch(1);
  column->addLayout(choosers);
  column->addWidget(spanOnly_);
  picture_ = new SpikesPicture({[this](int x, int y) { Pointed(x, y); }, [this](int x, int y) { Clicked(x, y); },
                                [this] { ScheduleDraw(); }},
                               contents);
  // Never so short that the views have no room (a panel docked under another was left a sliver).
  picture_->setMinimumHeight(SpikePanelViews::SmallestHeight(file_->NumChannels()));
  column->addWidget(picture_, 1);
  info_ = new QLabel(contents);
  column->addWidget(info_);
  setWidget(contents);
  connect(channel_, &QComboBox::currentIndexChanged, this, [this] { Draw(); });
  connect(pair_, &QComboBox::currentIndexChanged, this, [this] { Draw(); });
  connect(spanOnly_, &QCheckBox::toggled, this, [this] { Load(); });
}

// Channels go by their recordings' names, as the views title them.
void SpikesPanel::FillChoosers() {
  const int32_t channels = file_->NumChannels();
  const SpikeFigureLayout::Channels named = SpikeFigureLayout::ChannelsOf(file_->Header());
  const auto name = [&named](int32_t channel) { return QString::fromStdString(named.Name(channel)); };
  for (int32_t c = 0; c < channels; ++c) channel_->addItem(name(c));
  for (const auto& [x, y] : SpikeFigureLayout::ChannelPairs(channels)) {
    pair_->addItem(QStringLiteral("%1 vs %2").arg(name(x), name(y)));
  }
  pair_->setEnabled(channels >= 2);
}

std::pair<int64_t, int64_t> SpikesPanel::WantedRange() const {
  if (!spanOnly_->isChecked() || !span_) return {0, -1};
  // The file is in time order, as the extraction writes it.
  return {file_->FirstAtOrAfter(span_->first), file_->FirstAtOrAfter(span_->second)};
}

void SpikesPanel::FollowSpan(int64_t start, int64_t end) {
  span_ = std::make_pair(start, end);
  if (spanOnly_->isChecked()) Load();
}

void SpikesPanel::Load() {
  const std::pair<int64_t, int64_t> range = WantedRange();
  uint64_t serial = 0;
  {
    std::lock_guard lock(mutex_);
    if (loading_) return;  // taken up again when the running load ends
    if (triedRange_ == range) return;  // loaded, or failed with a message: not again
    loading_ = true;
    triedRange_ = range;
    serial = ++loadSerial_;
  }
  if (loader_.joinable()) loader_.join();
  loader_ = std::thread([this, range, serial] {
    auto views = std::make_unique<SpikePanelViews>();
    if (views->Load(*file_, range.first, range.second) != kStatusOk) views.reset();  // the reader said why
    {
      std::lock_guard lock(mutex_);
      loaded_ = std::move(views);
    }
    QMetaObject::invokeMethod(this, [this, serial] { TakeLoaded(serial); }, Qt::QueuedConnection);
  });
}

void SpikesPanel::TakeLoaded(uint64_t serial) {
  {
    std::lock_guard lock(mutex_);
    if (!loading_ || serial != loadSerial_) return;
    loading_ = false;
    if (loaded_) {
      views_ = std::move(loaded_);
      highlight_ = -1;
    }
  }
  ShowDrawnCount();
  Draw();
  Load();  // the span may have moved meanwhile
}

void SpikesPanel::WaitForLoad() {
  for (;;) {
    uint64_t serial = 0;
    {
      std::lock_guard lock(mutex_);
      if (!loading_) return;
      serial = loadSerial_;
    }
    if (loader_.joinable()) loader_.join();
    TakeLoaded(serial);
  }
}

SpikePanelViews::Choice SpikesPanel::CurrentChoice() const {
  return {std::max(channel_->currentIndex(), 0), std::max(pair_->currentIndex(), 0)};
}

void SpikesPanel::Draw() {
  if (!views_ || picture_ == nullptr) return;
  MemoryBitmap bitmap;
  if (views_->Render(renderer_, picture_->width(), picture_->height(), CurrentChoice(), highlight_, bitmap) != kStatusOk) {
    picture_->SetImage(QImage());
    return;
  }
  picture_->SetImage(ImageOf(bitmap));
}

// Drawing takes a good part of a frame: a burst of mouse moves or resizes is drawn once, after it.
void SpikesPanel::ScheduleDraw() {
  if (drawScheduled_) return;
  drawScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    drawScheduled_ = false;
    Draw();
  });
}

void SpikesPanel::ShowDrawnCount() {
  if (!views_) return;
  const SpikeSubset& subset = views_->Subset();
  info_->setText(QStringLiteral("Drawing %1 of %2 spikes").arg(subset.Size()).arg(subset.ChosenFrom()));
}

void SpikesPanel::Pointed(int x, int y) {
  if (!views_) return;
  const int64_t spike =
      x < 0 ? -1 : views_->SpikeAt(picture_->width(), picture_->height(), CurrentChoice(), x, y);
  if (spike == highlight_) return;
  highlight_ = spike;
  if (spike < 0) {
    ShowDrawnCount();
  } else {
    const SpikeSubset& subset = views_->Subset();
    const auto time = static_cast<int64_t>(subset.Timestamp(spike));
    const RecordingClock clock = clock_ ? clock_() : RecordingClock(0);
    info_->setText(QStringLiteral("Spike %1 of %2 at %3")
                       .arg(subset.FileIndex(spike) + 1)
                       .arg(file_->NumSpikes())
                       .arg(QString::fromStdString(clock.Reading(time))));
  }
  ScheduleDraw();
}

void SpikesPanel::Clicked(int x, int y) {
  if (!views_) return;
  const int64_t spike = views_->SpikeAt(picture_->width(), picture_->height(), CurrentChoice(), x, y);
  if (spike < 0 || !centre_) return;
  const auto time = static_cast<int64_t>(views_->Subset().Timestamp(spike));
  if (!centre_(file_->Header().SourceFiles(), time)) info_->setText(QString::fromUtf8(kNotOpenText));
}

QString SpikesPanel::InfoText() const { return info_->text(); }

}  // namespace skelvane
