#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QMenu>
#include <QIcon>
#include <QMenuBar>
#include <QPainter>
#include <QRegion>
#include <QRubberBand>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/AboutBox.h"
#include "app/AppResources.h"
#include "app/BitmapExport.h"
#include "app/ClientArea.h"
#include "app/CommandIds.h"
#include "app/ExtractionProgressDialog.h"
#include "app/KeysAndMouseDialog.h"
#include "app/MainMenu.h"
#include "app/MenuAdditions.h"
#include "app/PlotLocator.h"
#include "app/Preferences.h"
#include "app/SettingsFile.h"
#include "app/StatusBar.h"
#include "app/SummaryWatcher.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/StripQuotes.h"
#include "render/GLRenderer.h"
#include "display/IPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/PlotCanvas.h"
#include "display/Plot.h"
#include "display/ViewState.h"
#include "extract/ExtractionRun.h"
#include "extract/view/SpikeExtractPropsDlg.h"
#include "platform/CursorControl.h"
#include "platform/MemoryBitmap.h"
#include "platform/PathHelpers.h"
#include "summary/SummaryCache.h"

namespace skelvane {
namespace {

constexpr const char* kWindowTitle = "Skelvane Version 3.01";
// Client sizes outside 15 < size <= 10000 pixels are not laid out.
constexpr int32_t kMaxClientSize = 10000;
// Dropped names are used only when they have 1 to PATH_MAX - 1 characters (the longest path the
// system can open); longer ones are skipped.
constexpr std::size_t kMaxDroppedNameLength = PATH_MAX - 1;
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
constexpr double kAmplitudeStep = 2.0;  // one amplitude step doubles or halves the gain
constexpr int kNoticeMilliseconds = 15000;  // how long a summary cache notice stays in the status bar

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
      extraction_(std::make_unique<ExtractionRun>(plots, sources)) {}

// The sources outlive the window (they are closed only at process exit): they must not call back
// into a window that is gone.
MainWindow::~MainWindow() { sources_.RemoveListener(listener_.get()); }

int32_t MainWindow::Create() {
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  LoadAppResources();
  setWindowIcon(QIcon(QString::fromUtf8(kAppIconResource)));
  client_ = new ClientArea(*this);
  setCentralWidget(client_);

  menu_ = std::make_unique<MainMenu>(*menuBar(), *this, [this](int32_t command) { OnCommand(command); });

  // Both bars start with nothing to scroll: the page covers the whole range.
  horizontal_ = new PagedScrollBar(Qt::Horizontal, client_);
  vertical_ = new PagedScrollBar(Qt::Vertical, client_);
  connect(horizontal_, &PagedScrollBar::Scrolled, this,
          [this](PagedScrollBar::Code code, int32_t position) { OnHScroll(code, position); });
  connect(vertical_, &PagedScrollBar::Scrolled, this,
          [this](PagedScrollBar::Code code, int32_t position) { OnVScroll(code, position); });

  rubberBand_ = new QRubberBand(QRubberBand::Rectangle, client_);
  rubberBand_->hide();

  additions_ = std::make_unique<MenuAdditions>(*menuBar(), *menu_, *this,
                                               [this](int32_t command) { OnCommand(command); });
  additions_->SetRecentSets(Preferences::RecentSets());
  status_ = new StatusBar(this);
  setStatusBar(status_);
  locator_ = std::make_unique<PlotLocator>(canvas_, view_, plots_, sources_);
  summaries_ = new SummaryWatcher(
      plots_, [this](int64_t done, int64_t total) { ShowSummaryProgress(done, total); }, [this] { Redraw(); },
      [this](const std::string& notice) { status_->showMessage(QString::fromStdString(notice), kNoticeMilliseconds); },
      this);
  SummaryCache::Instance().SetEnabled(Preferences::KeepSummaries());
  additions_->SetChecked(commands::kKeepSummaries, SummaryCache::Instance().Enabled());
  Preferences::LoadExtractionParameters(extraction_->Parameters());

  view_ = ViewState{};
  if (settingsFolder_.empty()) {
    SettingsFile::ReadSettingsFile(canvas_);
  } else {
    SettingsFile::ReadSettingsFileIn(canvas_, settingsFolder_);
  }
  UpdateMenuChecks();
  ApplyTimeLabelStyle(Preferences::TimeLabelStyle());
  canvas_.SetDataAxisInMicrovolts(Preferences::DataAxisInMicrovolts());
  additions_->SetChecked(commands::kDataAxisMicrovolts, canvas_.GetDataAxisInMicrovolts());

  const int32_t sourcesBefore = sources_.GetNumSources();
  OpenFilesAtStart();
  RememberOpenedSince(sourcesBefore);

  sources_.AddListener(listener_.get());
  return 0;
}

void MainWindow::SetFileToOpen(const std::string& text) {
  if (!text.empty()) filesToOpen_ = {text};
}

void MainWindow::SetFilesToOpen(const std::vector<std::string>& paths) {
  filesToOpen_.clear();
  for (const std::string& path : paths) {
    if (!path.empty()) filesToOpen_.push_back(path);
  }
}

void MainWindow::OpenFilesAtStart() {
  for (const std::string& text : filesToOpen_) {
    const int32_t before = sources_.GetNumSources();
    if (sources_.OpenSource(StripQuotes(text)) != 0) return;
    UpdateTimeRange();
    if (CreatePlotsForSources(before) != 0) return;
  }
}

int32_t MainWindow::CreatePlotsForSources(int32_t firstIndex) {
  // Only sources that really joined the table get a plot: one whose time index could not be built
  // was dropped again although its open reported success.
  const int32_t count = sources_.GetNumSources();
  for (int32_t index = firstIndex; index < count; ++index) {
    int32_t type = 0;
    std::string path;
    if (sources_.GetSourceFileType(index, type) != 0) return -1;
    if (sources_.GetSourcePath(index, path) != 0) return -1;
    if (plots_.CreatePlot(FileTitleOf(path), type, path) != 0) return -1;
  }
  return 0;
}

void MainWindow::Redraw() {
  FollowPixelRatio();
  CursorControl::Current().Show(CursorControl::Shape::Wait);
  canvas_.RedrawAll();
  CursorControl::Current().Show(CursorControl::Shape::Arrow);
  if (status_ != nullptr) status_->ShowSpan(view_.VisibleSpan);
  // A redraw may have started summary builds: follow them until they end.
  if (summaries_ != nullptr) summaries_->Poll();
  if (client_ != nullptr) client_->update();
}

void MainWindow::UpdateMenuChecks() {
  if (!menu_) return;
  menu_->SetChecked(commands::kToggleFileName, canvas_.GetShowPlotNames() != 0);
  menu_->SetChecked(commands::kToggleIcons, canvas_.GetShowPlotIcons() != 0);
  menu_->SetChecked(commands::kToggleDataAxis, canvas_.GetShowDataAxis() != 0);
  menu_->SetChecked(commands::kToggleTimeAxis, canvas_.GetShowTimeAxis() != 0);
}

void MainWindow::UpdateTimeRange() {
  int64_t start = 0;
  int64_t end = 0;
  sources_.GetTimeRange(start, end);
  model_.UpdateTimeRange(start, end);
}

void MainWindow::UpdateHorizontalScroll() {
  const ViewModel::ScrollBarSetting bar = model_.UpdateHorizontalScroll();
  if (horizontal_ == nullptr) return;
  horizontal_->SetPage(bar.page);
  horizontal_->SetPosition(bar.position);
}

void MainWindow::UpdateVerticalScroll() {
  const std::optional<ViewModel::ScrollBarSetting> bar = model_.UpdateVerticalScroll();
  if (!bar || vertical_ == nullptr) return;
  vertical_->SetPage(bar->page);
  vertical_->SetPosition(bar->position);
}

void MainWindow::OnCommand(int32_t command) {
  switch (command) {
    case commands::kOpenData: {
      const int32_t before = sources_.GetNumSources();
      if (plots_.AddPlotsForNewSources() == 0) {
        RememberOpenedSince(before);
        UpdateVerticalScroll();
        Redraw();
      }
      break;
    }
    case commands::kSaveDisplayAsBitmap: SaveDisplayAsBitmap(); break;
    case commands::kExit: close(); break;
    case commands::kPageRight: OnHScroll(PagedScrollBar::Code::PageForward, 0); break;
    case commands::kPageLeft: OnHScroll(PagedScrollBar::Code::PageBack, 0); break;
    case commands::kPageUp: PageUp(); break;
    case commands::kPageDown: PageDown(); break;
    case commands::kIncreaseTimeScale:
      if (canvas_.ZoomOut() == 0) {
        UpdateHorizontalScroll();
        Redraw();
      }
      break;
    case commands::kDecreaseTimeScale:
      if (canvas_.ZoomIn() == 0) {
        UpdateHorizontalScroll();
        Redraw();
      }
      break;
    case commands::kToggleFileName:
    case commands::kToggleIcons:
    case commands::kToggleDataAxis:
    case commands::kToggleTimeAxis: ToggleSwitch(command); break;
    case commands::kCreateSpikeFile: CreateSpikeFile(); break;
    case commands::kExtractionProperties: ShowExtractionProperties(); break;
    case commands::kAbout: ShowAboutBox(); break;
    default: OnAddedCommand(command); break;
  }
}

void MainWindow::ToggleSwitch(int32_t command) {
  switch (command) {
    case commands::kToggleFileName: canvas_.SetShowPlotNames(canvas_.GetShowPlotNames() == 0 ? 1 : 0); break;
    case commands::kToggleIcons: canvas_.SetShowPlotIcons(canvas_.GetShowPlotIcons() == 0 ? 1 : 0); break;
    case commands::kToggleDataAxis: canvas_.SetShowDataAxis(canvas_.GetShowDataAxis() == 0 ? 1 : 0); break;
    case commands::kToggleTimeAxis: canvas_.SetShowTimeAxis(canvas_.GetShowTimeAxis() == 0 ? 1 : 0); break;
    default: return;
  }
  UpdateMenuChecks();
  Redraw();
}

void MainWindow::OnHScroll(PagedScrollBar::Code code, int32_t position) {
  if (horizontal_ == nullptr) return;
  if (!model_.ScrollHorizontally(ScrollFor(code), position)) return;
  UpdateHorizontalScroll();
  Redraw();
}

void MainWindow::OnVScroll(PagedScrollBar::Code code, int32_t position) {
  if (vertical_ == nullptr) return;
  model_.ScrollVertically(ScrollFor(code), position);
  UpdateVerticalScroll();
  Redraw();
}

void MainWindow::PageUp() {
  if (!model_.PageUp()) return;
  UpdateVerticalScroll();
  Redraw();
}

void MainWindow::PageDown() {
  if (!model_.PageDown()) return;
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

void MainWindow::OnPaint(QPainter& painter) {
  // No picture to show (the renderer could not start): the canvas is painted black, not stale.
  if (canvas_.Present(*this) != 0) frame_ = QImage();
  // The frame and the two bars cover the client area once it is laid out; anything they leave
  // (before the first frame, or a size that was not laid out) is black like the canvas background.
  const QRegion uncovered =
      QRegion(client_->rect()).subtracted(QRect(framePosition_, frame_.deviceIndependentSize().toSize()));
  for (const QRect& rect : uncovered) painter.fillRect(rect, Qt::black);
  if (!frame_.isNull()) painter.drawImage(framePosition_, frame_);
}

MemoryBitmap MainWindow::DisplayedImage() const {
  MemoryBitmap image(frame_.width(), frame_.height());
  if (frame_.isNull()) return image;
  const QImage rgb = frame_.convertToFormat(QImage::Format_RGB32);
  // Back to bottom-up rows: the picture's top row is the bitmap's last.
  for (int32_t y = 0; y < image.Height(); ++y) {
    std::memcpy(image.Bits() + static_cast<std::size_t>(image.Height() - 1 - y) * image.BytesPerRow(),
                rgb.constScanLine(y), static_cast<std::size_t>(image.BytesPerRow()));
  }
  return image;
}

bool MainWindow::Present(const MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) {
  if (width <= 0 || height <= 0 || width > bitmap.Width() || height > bitmap.Height()) return false;
  // The bitmap is bottom-up (row 0 at the bottom): view it as it lies in memory, take the top
  // `height` rows of the picture (the last rows in memory) and turn them the right way up.
  const QImage asStored(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.BytesPerRow(), QImage::Format_RGB32);
  if (width == bitmap.Width() && height == bitmap.Height()) {
    frame_ = asStored.mirrored(false, true);
  } else {
    frame_ = asStored.copy(0, bitmap.Height() - height, width, height).mirrored(false, true);
  }
  // On a HiDPI screen the frame holds device pixels: it is drawn at its size in canvas pixels.
  frame_.setDevicePixelRatio(renderer_.PixelRatio());
  framePosition_ = QPoint(x, y);
  return true;
}

int32_t MainWindow::CanvasYForWindowY(int32_t y) const { return view_.ScrollTop - y + kScrollBarSize; }

void MainWindow::OnMouseMove(Qt::MouseButtons buttons, int32_t x, int32_t y) {
  const int32_t canvasY = CanvasYForWindowY(y);
  if (!rubberBandActive_) {
    int32_t plot = -1;
    if (borderDragActive_) {
      CursorControl::Current().Show(CursorControl::Shape::VerticalResize);
    } else if (canvas_.FindSeparator(canvasY, plot) != 0) {
      borderPlot_ = plot;
      borderDragStartY_ = canvasY;
      CursorControl::Current().Show(CursorControl::Shape::VerticalResize);
    } else {
      CursorControl::Current().Show(CursorControl::Shape::Arrow);
    }
  }
  if (buttons & Qt::LeftButton) {
    leftButtonDown_ = true;
  } else {
    if (client_ != nullptr) client_->update();
    leftButtonDown_ = false;
  }
  if (rubberBandActive_ && client_ != nullptr) {
    // The band stays inside the client area, as the mouse does when it is not captured.
    rubberBandCurrent_ = QPoint(std::clamp(x, 0, std::max(client_->width() - 1, 0)),
                                std::clamp(y, 0, std::max(client_->height() - 1, 0)));
    rubberBand_->setGeometry(RubberBandRect());
  }
  UpdatePointer(x, y);
}

QRect MainWindow::RubberBandRect() const {
  return QRect(QPoint(std::min(rubberBandAnchor_.x(), rubberBandCurrent_.x()),
                      std::min(rubberBandAnchor_.y(), rubberBandCurrent_.y())),
               QPoint(std::max(rubberBandAnchor_.x(), rubberBandCurrent_.x()),
                      std::max(rubberBandAnchor_.y(), rubberBandCurrent_.y())));
}

void MainWindow::OnLButtonDown(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) {
  lastPressStartedBand_ = false;
  if (modifiers & Qt::ShiftModifier) return;
  pressPoint_ = QPoint(x, y);
  const int32_t canvasY = CanvasYForWindowY(y);
  int32_t plot = -1;
  if (canvas_.FindSeparator(canvasY, plot) != 0) {
    borderDragActive_ = true;
    borderPlot_ = plot;
    borderDragStartY_ = canvasY;
    CursorControl::Current().Show(CursorControl::Shape::VerticalResize);
    return;
  }
  if (plots_.HandleClick(x, canvasY) != 0) {
    UpdateVerticalScroll();
    Redraw();
    return;
  }
  StartRubberBand(x, y);
  lastPressStartedBand_ = true;
}

// A double click on the canvas is two clicks (each release zooms); on an icon or a border it acts
// once: the first press already closed, resized or moved the plot, and the second may not hit the
// next plot that moved under the mouse.
void MainWindow::OnLButtonDblClk(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) {
  if (modifiers & Qt::ShiftModifier) return;
  if (rubberBand_ == nullptr || !lastPressStartedBand_) return;
  pressPoint_ = QPoint(x, y);
  StartRubberBand(x, y);
}

void MainWindow::StartRubberBand(int32_t x, int32_t y) {
  leftButtonDown_ = true;
  rubberBandActive_ = true;
  rubberBandAnchor_ = QPoint(x, y);
  rubberBandCurrent_ = rubberBandAnchor_;
  rubberBand_->setGeometry(RubberBandRect());
  rubberBand_->show();
}

void MainWindow::EndRubberBand() {
  rubberBandActive_ = false;
  if (rubberBand_ != nullptr) rubberBand_->hide();
}

void MainWindow::OnLButtonUp(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) {
  CursorControl::Current().Show(CursorControl::Shape::Arrow);
  if (borderDragActive_) {
    borderDragActive_ = false;
    IPlot* plot = nullptr;
    if (plots_.GetPlot(borderPlot_, plot) == 0 && plot != nullptr) {
      plot->SetHeight(plot->GetHeight() + borderDragStartY_ - CanvasYForWindowY(y));
    }
    // The stack's height changed: the vertical bar follows it.
    UpdateVerticalScroll();
    Redraw();
    return;
  }
  if (!(modifiers & Qt::ShiftModifier)) {
    leftButtonDown_ = false;
    // Only a band started on the canvas zooms; the release after an icon click does not.
    if (!rubberBandActive_) return;
    EndRubberBand();
    ZoomToRubberBand();
    return;
  }
  EndRubberBand();
  if (!model_.ZoomOutAbout(x)) return;
  UpdateHorizontalScroll();
  Redraw();
}

void MainWindow::ZoomToRubberBand() {
  if (!model_.ZoomToBand(rubberBandAnchor_.x(), rubberBandCurrent_.x())) return;
  UpdateHorizontalScroll();
  Redraw();
}

void MainWindow::OnDropFiles(const std::vector<std::string>& paths) {
  const int32_t first = sources_.GetNumSources();
  for (const std::string& path : paths) {
    if (path.empty() || path.size() > kMaxDroppedNameLength) continue;
    const int32_t before = sources_.GetNumSources();
    if (sources_.OpenSource(path) != 0) break;
    if (CreatePlotsForSources(before) != 0) break;
  }
  RememberOpenedSince(first);
  // The new plots change the stack's height: the vertical bar follows it.
  UpdateVerticalScroll();
  Redraw();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  OnClose();
  event->accept();
}

void MainWindow::OnClose() {
  if (closed_) return;
  closed_ = true;
  Preferences::SetWindowGeometry(saveGeometry());
  Preferences::SaveExtractionParameters(extraction_->Parameters());
  if (settingsFolder_.empty()) {
    SettingsFile::WriteSettingsFile(canvas_);
  } else {
    SettingsFile::WriteSettingsFileIn(canvas_, settingsFolder_);
  }
  emit Closed();
}

QAction* MainWindow::CommandAction(int32_t command) const { return menu_ ? menu_->Action(command) : nullptr; }

void MainWindow::ShowAboutBox() {
  AboutBox box(this);
  box.exec();
}

// The run works on other threads behind a progress dialog and ends with its completion message.
void MainWindow::CreateSpikeFile() { ExtractionProgressDialog::RunCommand(*extraction_, this); }

// The plots' threshold overlays follow the values the dialog handed them.
void MainWindow::ShowExtractionProperties() {
  SpikeExtractPropsDlg dialog(extraction_->Parameters(), plots_, this);
  dialog.SetNoiseEstimate(
      [this](double factor, double& noiseLevel) { return extraction_->NoiseThresholdOfPlots(factor, noiseLevel); });
  dialog.exec();
  Redraw();
}

void MainWindow::SaveDisplayAsBitmap() { BitmapExport::SaveDisplayAsBitmap(DisplayedImage()); }

}  // namespace skelvane

namespace skelvane {

// The canvas is drawn at the screen's own resolution: sharp at 200%, the same pixels at 100%.
void MainWindow::FollowPixelRatio() {
  const qreal screenRatio = client_ != nullptr ? client_->devicePixelRatioF() : 1.0;
  renderer_.SetPixelRatio(std::max(1, static_cast<int32_t>(std::lround(screenRatio))));
}

void MainWindow::OnAddedCommand(int32_t command) {
  using Style = IPlotCanvas::TimeLabelStyle;
  switch (command) {
    case commands::kShowWholeRecording: ShowWholeRecording(); return;
    case commands::kTimeLabelsMicroseconds: ApplyTimeLabelStyle(Style::Microseconds); break;
    case commands::kTimeLabelsSeconds: ApplyTimeLabelStyle(Style::Seconds); break;
    case commands::kTimeLabelsClock: ApplyTimeLabelStyle(Style::Clock); break;
    case commands::kIncreaseAmplitude: ZoomAllAmplitudes(1); return;
    case commands::kDecreaseAmplitude: ZoomAllAmplitudes(-1); return;
    case commands::kResetAmplitude:
      for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) canvas_.SetAmplitudeGain(locator_->PathOf(i), 1.0);
      Redraw();
      return;
    case commands::kDataAxisMicrovolts:
      canvas_.SetDataAxisInMicrovolts(!canvas_.GetDataAxisInMicrovolts());
      Preferences::SetDataAxisInMicrovolts(canvas_.GetDataAxisInMicrovolts());
      additions_->SetChecked(commands::kDataAxisMicrovolts, canvas_.GetDataAxisInMicrovolts());
      break;
    case commands::kKeepSummaries:
      // Builds already made stay as they are; those started from now on follow the new choice.
      SummaryCache::Instance().SetEnabled(!SummaryCache::Instance().Enabled());
      Preferences::SetKeepSummaries(SummaryCache::Instance().Enabled());
      additions_->SetChecked(commands::kKeepSummaries, SummaryCache::Instance().Enabled());
      return;
    case commands::kKeysAndMouse: ShowKeysAndMouse(); return;
    case commands::kGoToStart: OnHScroll(PagedScrollBar::Code::ToStart, 0); return;
    case commands::kGoToEnd: OnHScroll(PagedScrollBar::Code::ToEnd, 0); return;
    case commands::kPageTimeBack: OnHScroll(PagedScrollBar::Code::PageBack, 0); return;
    case commands::kPageTimeForward: OnHScroll(PagedScrollBar::Code::PageForward, 0); return;
    case commands::kClearRecentFiles:
      Preferences::ClearRecentSets();
      additions_->SetRecentSets({});
      return;
    default:
      if (command >= commands::kRecentFilesFirst && command < commands::kRecentFilesFirst + Preferences::kMaxRecentSets) {
        OpenRecentSet(command - commands::kRecentFilesFirst);
      }
      return;
  }
  Redraw();
}

void MainWindow::ApplyTimeLabelStyle(IPlotCanvas::TimeLabelStyle style) {
  using Style = IPlotCanvas::TimeLabelStyle;
  canvas_.SetTimeLabelStyle(style);
  Preferences::SetTimeLabelStyle(style);
  additions_->SetChecked(commands::kTimeLabelsMicroseconds, style == Style::Microseconds);
  additions_->SetChecked(commands::kTimeLabelsSeconds, style == Style::Seconds);
  additions_->SetChecked(commands::kTimeLabelsClock, style == Style::Clock);
}

// The sources that joined since `firstSource` were opened together: they become one recent set.
void MainWindow::RememberOpenedSince(int32_t firstSource) {
  QStringList paths;
  for (int32_t index = firstSource; index < sources_.GetNumSources(); ++index) {
    std::string path;
    if (sources_.GetSourcePath(index, path) == 0) paths << QFile::decodeName(QByteArray::fromStdString(path));
  }
  if (paths.isEmpty()) return;
  Preferences::AddRecentSet(paths);
  if (additions_) additions_->SetRecentSets(Preferences::RecentSets());
}

void MainWindow::OpenRecentSet(int32_t index) {
  const std::vector<QStringList> sets = Preferences::RecentSets();
  if (index < 0 || index >= static_cast<int32_t>(sets.size())) return;
  std::vector<std::string> paths;
  for (const QString& path : sets[index]) paths.push_back(QFile::encodeName(path).toStdString());
  // Opened like dropped files: a file that is gone is reported and ends the set.
  OnDropFiles(paths);
}

void MainWindow::ShowWholeRecording() {
  model_.SetVisibleSpan(view_.DataDuration);
  model_.ScrollTo(view_.DataStart);
  UpdateHorizontalScroll();
  Redraw();
}

void MainWindow::ShowKeysAndMouse() {
  if (keysAndMouse_ == nullptr) keysAndMouse_ = new KeysAndMouseDialog(this);
  keysAndMouse_->show();
  keysAndMouse_->raise();
}

QWidget* MainWindow::KeysAndMouse() const { return keysAndMouse_; }

QMenu* MainWindow::PlotMenu() const { return plotMenu_; }

void MainWindow::UpdatePointer(int32_t x, int32_t y) {
  if (status_ == nullptr || !locator_) return;
  const std::optional<int64_t> time = locator_->TimeAt(x);
  if (!time || y < kScrollBarSize) {
    status_->ClearPointer();
    return;
  }
  StatusBar::Pointer pointer;
  pointer.time = *time;
  pointer.dataStart = PlotCanvas::RecordingStart(sources_, view_.DataStart);
  const int32_t plot = locator_->PlotAt(y);
  if (plot >= 0) {
    pointer.plotName = locator_->NameOf(plot);
    if (const auto sample = locator_->SampleAt(plot, *time)) {
      pointer.counts = sample->counts;
      pointer.microvolts = sample->microvolts;
    }
  }
  status_->ShowPointer(pointer);
}

void MainWindow::OnMouseLeave() {
  if (status_ != nullptr) status_->ClearPointer();
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

void MainWindow::ZoomAmplitudeAt(int32_t y, int32_t steps) {
  const int32_t plot = locator_->PlotAt(y);
  if (plot >= 0) ZoomAmplitudeOf(plot, steps);
}

void MainWindow::ZoomAmplitudeOf(int32_t index, int32_t steps) {
  const std::string path = locator_->PathOf(index);
  if (path.empty()) return;
  canvas_.SetAmplitudeGain(path, canvas_.GetAmplitudeGain(path) * std::pow(kAmplitudeStep, steps));
  Redraw();
}

void MainWindow::ZoomAllAmplitudes(int32_t steps) {
  for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
    const std::string path = locator_->PathOf(i);
    canvas_.SetAmplitudeGain(path, canvas_.GetAmplitudeGain(path) * std::pow(kAmplitudeStep, steps));
  }
  Redraw();
}

void MainWindow::OnContextMenu(int32_t x, int32_t y) {
  const int32_t index = locator_->PlotAt(y);
  if (index < 0) return;
  if (plotMenu_ != nullptr) plotMenu_->close();
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->setTitle(QString::fromStdString(locator_->NameOf(index)));
  // The header icons' actions, then the plot's amplitude; each finds the plot again by its path,
  // since another command may have moved or closed it while the menu was open.
  const std::string path = locator_->PathOf(index);
  auto act = [this, menu, path](const QString& text, auto&& action) {
    QObject::connect(menu->addAction(text), &QAction::triggered, this, [this, path, action] {
      for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
        if (locator_->PathOf(i) != path) continue;
        action(i);
        UpdateVerticalScroll();
        Redraw();
        return;
      }
    });
  };
  act(QStringLiteral("&Close Plot"), [this](int32_t i) { plots_.RemovePlot(i); });
  act(QStringLiteral("Move &Up"), [this](int32_t i) { plots_.MovePlotUp(i); });
  act(QStringLiteral("Move &Down"), [this](int32_t i) { plots_.MovePlotDown(i); });
  act(QStringLiteral("&Taller"), [this](int32_t i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) == 0 && plot != nullptr) plot->IncreaseHeight();
  });
  act(QStringLiteral("&Shorter"), [this](int32_t i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) == 0 && plot != nullptr) plot->DecreaseHeight();
  });
  menu->addSeparator();
  act(QStringLiteral("&Increase Amplitude"), [this, path](int32_t) {
    canvas_.SetAmplitudeGain(path, canvas_.GetAmplitudeGain(path) * kAmplitudeStep);
  });
  act(QStringLiteral("D&ecrease Amplitude"), [this, path](int32_t) {
    canvas_.SetAmplitudeGain(path, canvas_.GetAmplitudeGain(path) / kAmplitudeStep);
  });
  act(QStringLiteral("&Reset Amplitude"), [this, path](int32_t) { canvas_.SetAmplitudeGain(path, 1.0); });
  plotMenu_ = menu;
  menu->popup(client_->mapToGlobal(QPoint(x, y)));
}

QString MainWindow::ToolTipAt(int32_t x, int32_t y) const {
  if (canvas_.GetShowPlotIcons() == 0 || y < kScrollBarSize) return {};
  const int32_t canvasY = CanvasYForWindowY(y);
  static const char* const kIconNames[] = {"", "Close plot", "Move plot up", "Move plot down", "Make plot taller",
                                           "Make plot shorter"};
  for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != 0 || plot == nullptr) continue;
    const int32_t hit = plot->HitTestIcon(x, canvasY);
    if (hit > Plot::kHitNone && hit <= Plot::kHitMinus) return QString::fromUtf8(kIconNames[hit]);
  }
  return {};
}

}  // namespace skelvane
