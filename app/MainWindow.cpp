#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "app/AppResources.h"
#include "app/CanvasMouse.h"
#include "app/CommandMenus.h"
#include "app/DetectedSpikes.h"
#include "app/LatencyLog.h"
#include "app/MarkerCommands.h"
#include "app/MeasuringCursors.h"
#include "app/OverviewStrip.h"
#include "app/PlotActions.h"
#include "app/PowerDensityPanel.h"
#include "app/Preferences.h"
#include "app/SessionCommands.h"
#include "app/SettingsFile.h"
#include "app/SpikePanels.h"
#include "app/StatusBar.h"
#include "app/SummaryWatcher.h"
#include "app/WindowCommands.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/SourceListener.h"
#include "display/CscPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/PlotCanvas.h"
#include "display/ViewState.h"
#include "extract/ExtractionRun.h"
#include "filter/FilterDesign.h"
#include "platform/FrameHeap.h"
#include "render/GLRenderer.h"
#include "summary/SummaryCache.h"

namespace skelvane {
namespace {

constexpr const char* kWindowTitle = "Skelvane Version 3.01";
// Client sizes outside 15 < size <= 10000 pixels are not laid out.
constexpr int32_t kMaxClientSize = 10000;
constexpr int kNoticeMilliseconds = 15000;  // how long a notice stays in the status bar
static_assert(ViewModel::kScrollRange == PagedScrollBar::kRangeMax, "the bars' range is the view model's");

// The view model's name for what a scrollbar asked for.
ViewModel::Scroll ScrollFor(PagedScrollBar::Code code) {
  using Code = PagedScrollBar::Code;
  switch (code) {
    case Code::LineBack: return ViewModel::Scroll::LineBack;
    case Code::LineForward: return ViewModel::Scroll::LineForward;
    case Code::PageBack: return ViewModel::Scroll::PageBack;
    case Code::PageForward: return ViewModel::Scroll::PageForward;
    case Code::ToStart: return ViewModel::Scroll::ToStart;
    case Code::ToEnd: return ViewModel::Scroll::ToEnd;
    case Code::ThumbPosition:
    case Code::ThumbTrack: return ViewModel::Scroll::Thumb;
    case Code::EndScroll: break;
  }
  return ViewModel::Scroll::EndScroll;
}

// Posted behind the window's own paint request (both of low priority): by the time it is handled the
// picture asked for before it is on the screen, unless none was asked for or the window is hidden.
const QEvent::Type kAfterPictureEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
// A window that is shown but never painted (covered, minimised) still runs its tasks after this.
constexpr int kLatestAfterPictureMilliseconds = 1000;

}  // namespace

// Recomputes the time range and both scrollbars whenever sources are opened or closed.
class MainWindow::SourcesChanged final : public SourceListener {
 public:
  explicit SourcesChanged(MainWindow& window) : window_(window) {}
  void OnSourcesChanged() override {
    window_.UpdateTimeRange();
    window_.UpdateHorizontalScroll();
    window_.UpdateVerticalScroll();
  }

 private:
  MainWindow& window_;
};

MainWindow::MainWindow(IPlotCanvas& canvas, ViewState& view, IPlotCollection& plots, IDataSourceManager& sources,
                       GLRenderer& renderer)
    : canvas_(canvas),
      view_(view),
      plots_(plots),
      sources_(sources),
      renderer_(renderer),
      model_(view, canvas, plots),
      listener_(std::make_unique<SourcesChanged>(*this)),
      idle_(std::make_unique<IdleWork>(ahead_)),
      latency_(LatencyLog::FromEnvironment()),
      pacer_(canvas, view, latency_.get()),
      picture_(renderer),
      session_(sources, plots, *this),
      extraction_(plots, sources),
      locator_(canvas, view, plots, sources) {}

// The sources outlive the window (they are closed only at process exit): they must not call back
// into a window that is gone. The Spectrum panel is hidden as the window goes, after the commands its
// check mark would update are gone.
MainWindow::~MainWindow() {
  ahead_.Pause();  // nothing is worked out for plots that may go with the window
  sources_.RemoveListener(listener_.get());
  if (spectrum_ != nullptr) disconnect(spectrum_, nullptr, this, nullptr);
}

int32_t MainWindow::Create() {
  // The bands shown at the last close are designed while the window is made, so that opening the same
  // recordings again does not wait for their designs.
  for (const auto& [band, rate] : Preferences::BandsShown()) FilterDesign::Prepare(band, rate);
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  LoadAppResources();
  setWindowIcon(QIcon(QString::fromUtf8(kAppIconResource)));
  // The overview strip stands above the client area, outside the canvas and its picture.
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  overview_ = new OverviewStrip(canvas_, view_, plots_, model_, *this, [this] { summaries_->Poll(); }, central);
  client_ = new ClientArea(*central, *this);
  column->addWidget(overview_);
  column->addWidget(client_, 1);
  setCentralWidget(central);

  // Both bars start with nothing to scroll: the page covers the whole range.
  horizontal_ = new PagedScrollBar(Qt::Horizontal, client_);
  vertical_ = new PagedScrollBar(Qt::Vertical, client_);
  connect(horizontal_, &PagedScrollBar::Scrolled, this,
          [this](PagedScrollBar::Code code, int32_t position) { OnHScroll(code, position); });
  connect(vertical_, &PagedScrollBar::Scrolled, this,
          [this](PagedScrollBar::Code code, int32_t position) { OnVScroll(code, position); });

  mouse_ = std::make_unique<CanvasMouse>(canvas_, view_, model_, plots_, *this, *client_);
  plotActions_ = std::make_unique<PlotActions>(canvas_, view_, plots_, locator_, *this, *client_);
  detectedSpikes_ = std::make_unique<DetectedSpikes>(
      DetectedSpikes::Parts{canvas_, view_, model_, extraction_.Extraction(), plots_, sources_, *this});
  spikePanels_ = std::make_unique<SpikePanels>(canvas_, sources_, view_, model_, *this, *this,
                                               [this] { return Extraction().Parameters().OutputDirectory; });
  session_.OpenSpikeFilesWith([this](const std::string& path) { spikePanels_->Open(path); });
  session_.TellPlotsAdded([this](int32_t first) { plotActions_->StartNewPlots(first); });
  session_.RememberLaterWith([this](std::function<void()> task) { AfterNextPicture(std::move(task)); });
  cursors_ = std::make_unique<MeasuringCursors>(canvas_, locator_, *this, [this](const std::string& readout) {
    if (status_ != nullptr) status_->ShowCursors(readout);
  });
  markers_ = std::make_unique<MarkerCommands>(canvas_, view_, model_, locator_, *this, *this, *client_);
  sessions_ = std::make_unique<SessionCommands>(SessionCommands::Parts{
      canvas_, view_, plots_, session_, Extraction(), *markers_, *cursors_, *spikePanels_, *this});
  session_.OpenSessionsWith([this](const std::string& path) { sessions_->Open(path); });
  // The filter each plot draws through is the one its spectrum shows filtered.
  spectrum_ = new PowerDensityPanel(plots_, sources_, view_, [](const IPlot& plot) {
    const auto* csc = dynamic_cast<const CscPlot*>(&plot);
    return csc != nullptr ? csc->Filter() : FilterChoice();
  }, this);
  addDockWidget(Qt::RightDockWidgetArea, spectrum_);
  spectrum_->hide();
  commands_ = std::make_unique<WindowCommands>(WindowCommands::Parts{
      canvas_, view_, model_, *this, session_, *plotActions_, extraction_, *detectedSpikes_, *spikePanels_,
      *cursors_, *markers_, *sessions_, sources_, *this, latency_.get(), spectrum_});
  // Closed from its own title bar, the panel's item loses its check mark.
  connect(spectrum_, &QDockWidget::visibilityChanged, this, [this] { commands_->UpdateChecks(); });
  commands_->BuildMenus(*menuBar());
  session_.ShowRecentSetsWith([this](const std::vector<QStringList>& sets) { Menus()->SetRecentSets(sets); });
  status_ = new StatusBar(this);
  setStatusBar(status_);
  summaries_ = new SummaryWatcher(
      plots_, [this](int64_t done, int64_t total) { ShowSummaryProgress(done, total); }, [this] { Redraw(); },
      [this](const std::string& notice) { ShowNotice(notice); },
      this);
  SummaryCache::Instance().SetEnabled(Preferences::KeepSummaries());

  view_ = ViewState{};
  if (settingsFolder_.empty()) {
    SettingsFile::ReadSettingsFile(canvas_);
  } else {
    SettingsFile::ReadSettingsFileIn(canvas_, settingsFolder_);
  }
  commands_->ApplyRememberedDisplay();
  if (latency_ && session_.HasFilesToOpen()) latency_->OpeningStarted();
  session_.OpenFilesAtStart();
  sources_.AddListener(listener_.get());
  return 0;
}

void MainWindow::Redraw() {
  // The views ahead of the last picture are not those of the next: what is left of them would only
  // take the machine from the frame's wake.
  ahead_.Start({});
  pacer_.Ask();
  // The view moved under a mouse that stayed put (a key, a scrollbar): what lies under it changed.
  if (pointer_ && status_ != nullptr) PointerOverPlots(pointer_->x(), pointer_->y());
  FollowSpikes();
  if (spectrum_ != nullptr) spectrum_->FollowView();
  if (client_ != nullptr) ClientLayout::UpdateCanvas(*client_, view_);
  // The status bar and the overview follow once the canvas's picture is on the screen: painted in
  // the same paint, before the canvas, they held the picture back by about a millisecond.
  if (besideDue_) return;
  besideDue_ = true;
  AfterNextPicture([this] {
    besideDue_ = false;
    FollowViewBesideCanvas();
  });
}

void MainWindow::FollowViewBesideCanvas() {
  if (status_ != nullptr) status_->ShowSpan(view_.VisibleSpan);
  if (pointer_ && status_ != nullptr) ShowPointerReading(pointer_->x(), pointer_->y());
  if (overview_ != nullptr) overview_->ViewChanged();
}

void MainWindow::ShowNotice(const std::string& text) {
  if (status_ != nullptr) status_->showMessage(QString::fromStdString(text), kNoticeMilliseconds);
}

// The detected spikes and the Spikes panels follow every change of the view, the plots or the
// extraction properties, all of which ask for a frame.
void MainWindow::FollowSpikes() {
  if (detectedSpikes_) {
    detectedSpikes_->Follow();
    const std::optional<DetectedSpikes::Count> count = detectedSpikes_->InView();
    if (status_ != nullptr && count) status_->ShowSpikeCount(count->spikes, count->complete);
    if (status_ != nullptr && !count) status_->HideSpikeCount();
  }
  if (spikePanels_) spikePanels_->FollowView();
}

// With the last recording closed the view is the start-up one, not one padded around nothing.
void MainWindow::UpdateTimeRange() {
  if (sources_.GetNumSources() == 0) {
    model_.ResetTime();
    return;
  }
  int64_t start = 0;
  int64_t end = 0;
  sources_.GetTimeRange(start, end);
  model_.UpdateTimeRange(start, end);
}

void MainWindow::UpdateHorizontalScroll() {
  const ViewModel::ScrollBarSetting bar = model_.UpdateHorizontalScroll();
  if (horizontal_ == nullptr) return;
  SetScrollBar(*horizontal_, bar);
}

void MainWindow::UpdateVerticalScroll() {
  const std::optional<ViewModel::ScrollBarSetting> bar = model_.UpdateVerticalScroll();
  if (!bar || vertical_ == nullptr) return;
  SetScrollBar(*vertical_, *bar);
}

// A bar takes its new page and position at once (the scroll arithmetic reads them) but, when they
// change, paints once the canvas's picture is on the screen: the tall bar, enabled as recordings
// open, painted in the same paint as the first picture and held it back by 0.3-3.5 ms. A bar that
// does not change is left to paint as before (enabling updates again repaints the whole bar).
void MainWindow::SetScrollBar(PagedScrollBar& bar, const ViewModel::ScrollBarSetting& setting) {
  if (bar.updatesEnabled() && (bar.Page() != setting.page || bar.Position() != setting.position)) {
    bar.setUpdatesEnabled(false);
    AfterNextPicture([&bar] { bar.setUpdatesEnabled(true); });
  }
  bar.SetPage(setting.page);
  bar.SetPosition(setting.position);
}

void MainWindow::ScrollTime(ViewModel::Scroll action, int64_t position) {
  if (!model_.ScrollHorizontally(action, position)) return;
  UpdateHorizontalScroll();
  Redraw();
}

void MainWindow::OnHScroll(PagedScrollBar::Code code, int32_t position) {
  if (horizontal_ == nullptr) return;
  ScrollTime(ScrollFor(code), position);
}

void MainWindow::OnVScroll(PagedScrollBar::Code code, int32_t position) {
  if (vertical_ == nullptr) return;
  model_.ScrollVertically(ScrollFor(code), position);
  UpdateVerticalScroll();
  Redraw();
}

void MainWindow::OnSize(int32_t clientWidth, int32_t clientHeight) {
  if (horizontal_ == nullptr || vertical_ == nullptr) return;
  // A canvas needs at least one pixel each way.
  if (clientWidth <= kScrollBarSize || clientWidth > kMaxClientSize) return;
  if (clientHeight <= kScrollBarSize || clientHeight > kMaxClientSize) return;
  model_.Resize(clientWidth - kScrollBarSize, clientHeight - kScrollBarSize);
  horizontal_->setGeometry(0, 0, clientWidth, kScrollBarSize);
  vertical_->setGeometry(view_.CanvasWidth, kScrollBarSize, kScrollBarSize, view_.CanvasHeight);
  FollowPixelRatio();
  renderer_.RequestNewDIBSection();
  UpdateHorizontalScroll();
  UpdateVerticalScroll();
  Redraw();
}

// The frame asked for since the last paint is drawn now, once, however many changes asked for it;
// other paints (the mouse, a rubber band, an exposed window) show the picture already there.
void MainWindow::OnPaint(QPainter& painter) {
  if (pacer_.Due()) {
    FollowPixelRatio();
    if (pacer_.DrawIfDue(picture_) && aheadWanted_) {
      // While the user looks at the picture, the views one more step would most likely show.
      const std::optional<int32_t> pointerX = pointer_ ? std::optional<int32_t>(pointer_->x()) : std::nullopt;
      ahead_.Start(canvas_.JobsAhead(model_.ViewsAhead(pointerX)));
    }
    // The frame may have started summary builds: follow them until they end, from once the picture
    // is on the screen (the first look after opening starts the plots' builds and shows their
    // progress, about a millisecond the first picture need not wait for).
    if (summaries_ != nullptr && !pollQueued_) {
      pollQueued_ = true;
      QTimer::singleShot(0, this, [this] {
        pollQueued_ = false;
        summaries_->Poll();
      });
    }
    // The first frame after opening recordings would otherwise take a page fault for every page of
    // its buffers; the heap gets them once the first picture is on the screen, while the user looks.
    if (!heapWarmed_) {
      heapWarmed_ = true;
      QTimer::singleShot(0, this, [] {
        // Written on a thread of its own: the pages are the process's, whichever thread writes them.
        std::thread([blocks = FrameHeap::TakeCold()]() mutable { FrameHeap::WarmAndGiveBack(std::move(blocks)); })
            .detach();
      });
    }
  }
  picture_.Paint(painter, client_->rect());
}

// The paint has reached the screen once the window's update request is handled.
bool MainWindow::event(QEvent* event) {
  if (event->type() == kAfterPictureEvent) {
    // Asked for before the paint it waits for was requested: that paint runs the tasks.
    if (!(isVisible() && pacer_.Due())) RunAfterPicture();
    return true;
  }
  const bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::UpdateRequest) {
    if (latency_) latency_->Painted();
    RunAfterPicture();
  }
  return handled;
}

// A task posted at once as a timer of no delay would run before the paint the user waits for (the
// window's paint request is of low priority): it waits for the paint instead.
void MainWindow::AfterNextPicture(std::function<void()> task) {
  afterPicture_.push_back(std::move(task));
  if (afterPicture_.size() > 1) return;
  QCoreApplication::postEvent(this, new QEvent(kAfterPictureEvent), Qt::LowEventPriority);
  QTimer::singleShot(kLatestAfterPictureMilliseconds, this, [this] { RunAfterPicture(); });
}

void MainWindow::RunAfterPicture() {
  std::vector<std::function<void()>> tasks;
  tasks.swap(afterPicture_);
  for (std::function<void()>& task : tasks) task();
}

MemoryBitmap MainWindow::DisplayedImage() {
  if (pacer_.Due() && client_ != nullptr) client_->repaint();
  return picture_.Bitmap();
}

void MainWindow::OnMouseMove(Qt::MouseButtons buttons, int32_t x, int32_t y) {
  mouse_->OnMouseMove(buttons, x, y);
  pointer_ = QPoint(x, y);
  UpdatePointer(x, y);
}

void MainWindow::OnLButtonDown(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) {
  mouse_->OnLButtonDown(modifiers, x, y);
}

void MainWindow::OnLButtonDblClk(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) {
  mouse_->OnLButtonDblClk(modifiers, x, y);
}

void MainWindow::OnLButtonUp(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) {
  mouse_->OnLButtonUp(modifiers, x, y);
}

void MainWindow::OnDropFiles(const std::vector<std::string>& paths) { session_.OnDropFiles(paths); }

void MainWindow::OnContextMenu(int32_t x, int32_t y) { plotActions_->OnContextMenu(x, y); }

QString MainWindow::ToolTipAt(int32_t x, int32_t y) const { return plotActions_->ToolTipAt(x, y); }

void MainWindow::closeEvent(QCloseEvent* event) {
  OnClose();
  event->accept();
}

// Everything remembered is written in two writes, the canvas settings file and the user's store,
// since each waits for the disk.
void MainWindow::OnClose() {
  if (closed_) return;
  closed_ = true;
  RunAfterPicture();
  session_.RememberNow();
  Preferences::SaveAtClose(saveGeometry(), Extraction().Parameters(),
                           plotActions_ ? plotActions_->BandsShown() : std::vector<std::pair<FilterChoice, double>>{});
  if (settingsFolder_.empty()) {
    SettingsFile::WriteSettingsFile(canvas_);
  } else {
    SettingsFile::WriteSettingsFileIn(canvas_, settingsFolder_);
  }
  emit Closed();
}

QAction* MainWindow::CommandAction(int32_t command) const { return Menus() ? Menus()->Action(command) : nullptr; }

CommandMenus* MainWindow::Menus() const { return commands_ ? commands_->Menus() : nullptr; }

QWidget* MainWindow::KeysAndMouse() const { return commands_ ? commands_->KeysAndMouse() : nullptr; }

// The canvas is drawn at the screen's own resolution: sharp at 200%, the same pixels at 100%.
void MainWindow::FollowPixelRatio() {
  const qreal screenRatio = client_ != nullptr ? client_->devicePixelRatioF() : 1.0;
  renderer_.SetPixelRatio(std::max(1, static_cast<int32_t>(std::lround(screenRatio))));
}

void MainWindow::UpdatePointer(int32_t x, int32_t y) {
  if (status_ == nullptr) return;
  PointerOverPlots(x, y);
  ShowPointerReading(x, y);
}

void MainWindow::PointerOverPlots(int32_t x, int32_t y) {
  const int32_t plot = locator_.PlotAt(y);
  if (plot >= 0 && overview_ != nullptr) overview_->FollowPlot(plot);
  if (plot >= 0 && spectrum_ != nullptr) spectrum_->FollowPlot(plot);
  cursors_->PointerAt(x, y);
  markers_->PointerAt(x, y);
}

void MainWindow::ShowPointerReading(int32_t x, int32_t y) {
  const int32_t plot = locator_.PlotAt(y);
  const std::optional<int64_t> time = locator_.TimeAt(x);
  if (!time || y < kScrollBarSize) {
    status_->ClearPointer();
    return;
  }
  StatusBar::Pointer pointer;
  pointer.time = *time;
  pointer.clockOrigin = canvas_.Clock().Origin();
  if (plot >= 0) {
    pointer.plotName = locator_.NameOf(plot);
    if (const auto sample = locator_.SampleAt(plot, *time)) {
      pointer.counts = sample->counts;
      pointer.microvolts = sample->microvolts;
      pointer.band = sample->band;
    }
  }
  status_->ShowPointer(pointer);
}

void MainWindow::OnMouseLeave() {
  pointer_.reset();
  if (status_ != nullptr) status_->ClearPointer();
  if (cursors_) cursors_->PointerLeft();
  if (markers_) markers_->PointerLeft();
}

void MainWindow::ShowSummaryProgress(int64_t done, int64_t total) {
  if (status_ != nullptr) status_->ShowSummaryProgress(done, total);
}

void MainWindow::OnWheel(QPoint position, QPoint angleDelta, Qt::KeyboardModifiers modifiers) {
  wheel_.OnWheel(position, angleDelta, modifiers);
}

void MainWindow::ScrollStackBy(int32_t pixels) {
  model_.ScrollStackBy(pixels);
  UpdateVerticalScroll();
  Redraw();
}

void MainWindow::PageTime(int32_t steps) {
  const PagedScrollBar::Code code = steps > 0 ? PagedScrollBar::Code::PageForward : PagedScrollBar::Code::PageBack;
  for (int32_t i = 0; i < std::abs(steps); ++i) OnHScroll(code, 0);
}

void MainWindow::ZoomTimeAbout(int32_t x, int32_t steps) {
  if (!model_.ZoomTimeAbout(x, steps)) return;
  UpdateHorizontalScroll();
  Redraw();
}

void MainWindow::ZoomAmplitudeAt(int32_t y, int32_t steps) { plotActions_->ZoomAmplitudeAt(y, steps); }

}  // namespace skelvane
