#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMenuBar>
#include <QPainter>
#include <QRegion>
#include <QRubberBand>
#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>

#include "app/AboutBox.h"
#include "app/AppResources.h"
#include "app/BitmapExport.h"
#include "app/ClientArea.h"
#include "app/CommandIds.h"
#include "app/ExtractionProgressDialog.h"
#include "app/MainMenu.h"
#include "app/SettingsFile.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/StripQuotes.h"
#include "display/GLRenderer.h"
#include "display/IPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/PlotCanvas.h"
#include "display/ViewState.h"
#include "extract/ExtractionRun.h"
#include "extract/view/SpikeExtractPropsDlg.h"
#include "platform/CursorControl.h"
#include "platform/MemoryBitmap.h"
#include "platform/PathHelpers.h"

namespace skelvane {
namespace {

constexpr const char* kWindowTitle = "Skelvane Version 3.01";
constexpr int32_t kScrollRange = PagedScrollBar::kRangeMax;
// Client sizes outside 15 < size <= 10000 pixels are not laid out.
constexpr int32_t kMaxClientSize = 10000;
// Dropped names are used only when they have 1 to PATH_MAX - 1 characters (the longest path the
// system can open); longer ones are skipped.
constexpr std::size_t kMaxDroppedNameLength = PATH_MAX - 1;
constexpr int32_t kPercent = 100;

// a * b / c without overflow in the product; the scroll positions scale times and heights by 32766.
int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
  const __int128 result = static_cast<__int128>(a) * b / c;
  return static_cast<int64_t>(std::clamp<__int128>(result, std::numeric_limits<int64_t>::min(),
                                                   std::numeric_limits<int64_t>::max()));
}

// The thumb's share of the bar: trunc(part / whole * 32766), at most the whole bar.
int32_t PageFor(double part, double whole) {
  if (whole <= 0.0) return kScrollRange;
  const double page = part / whole * kScrollRange;
  if (page >= kScrollRange) return kScrollRange;
  if (page <= 0.0) return 0;
  return static_cast<int32_t>(page);
}

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

  view_ = ViewState{};
  if (settingsFolder_.empty()) {
    SettingsFile::ReadSettingsFile(canvas_);
  } else {
    SettingsFile::ReadSettingsFileIn(canvas_, settingsFolder_);
  }
  UpdateMenuChecks();

  OpenFilesAtStart();

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
    sources_.GetTimeRange(view_.DataStart, view_.DataEnd);
    view_.DataDuration = view_.DataEnd - view_.DataStart;
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
  CursorControl::Current().Show(CursorControl::Shape::Wait);
  canvas_.RedrawAll();
  CursorControl::Current().Show(CursorControl::Shape::Arrow);
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
  sources_.GetTimeRange(view_.DataStart, view_.DataEnd);
  view_.DataDuration = view_.DataEnd - view_.DataStart;
  if (view_.DataDuration < view_.CanvasWidth) {
    view_.DataDuration = view_.CanvasWidth;
    view_.VisibleSpan = view_.CanvasWidth;
    view_.DataEnd = view_.CanvasWidth - 1;
  }
  if (view_.VisibleStart < view_.DataStart) view_.VisibleStart = view_.DataStart;
}

void MainWindow::UpdateHorizontalScroll() {
  const int32_t page =
      PageFor(static_cast<double>(view_.VisibleSpan), static_cast<double>(view_.DataDuration));
  // The upper bound is tested first; the lower one applies only when the start was within it.
  if (view_.VisibleStart > view_.DataEnd - view_.VisibleSpan) {
    view_.VisibleStart = view_.DataEnd - view_.VisibleSpan + 1;
  } else if (view_.VisibleStart < view_.DataStart) {
    view_.VisibleStart = view_.DataStart;
  }
  if (horizontal_ == nullptr) return;
  horizontal_->SetPage(page);
  const int64_t range = view_.DataEnd - view_.DataStart;
  horizontal_->SetPosition(range == 0 ? 0 : MulDiv(view_.VisibleStart - view_.DataStart, kScrollRange, range));
}

void MainWindow::UpdateVerticalScroll() {
  const int32_t total = plots_.GetTotalHeight() + canvas_.GetTimeAxisHeight();
  if (total == 0) return;
  const int32_t page = PageFor(static_cast<double>(view_.CanvasHeight), static_cast<double>(total));
  if (view_.ScrollTop > 0) {
    view_.ScrollTop = 0;
    view_.ScrollBottom = -view_.CanvasHeight;
  } else if (view_.ScrollBottom < -total && view_.CanvasHeight < total) {
    view_.ScrollBottom = -total;
    view_.ScrollTop = view_.CanvasHeight - total;
  }
  if (vertical_ == nullptr) return;
  vertical_->SetPage(page);
  vertical_->SetPosition(MulDiv(-static_cast<int64_t>(view_.ScrollTop), kScrollRange, total));
}

void MainWindow::OnCommand(int32_t command) {
  switch (command) {
    case commands::kOpenData:
      if (plots_.AddPlotsForNewSources() == 0) {
        UpdateVerticalScroll();
        Redraw();
      }
      break;
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
    default: break;
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
  using Code = PagedScrollBar::Code;
  if (horizontal_ == nullptr || view_.VisibleSpan == 0 || view_.DataDuration == 1) return;
  const int64_t pageStep = view_.VisibleSpan * canvas_.GetHorizontalPagePercent() / kPercent;
  int64_t first = 0;
  int64_t last = 0;
  if (PlotCanvas::GetTimeRangeForPixel(0, PlotAreaWidth(), view_.VisibleSpan, view_.VisibleStart, first, last) != 0) {
    return;
  }
  const int64_t column = last - first + 1;
  const bool atStart = view_.VisibleStart == view_.DataStart;
  const bool atEnd = view_.VisibleStart + view_.VisibleSpan == view_.DataEnd;
  switch (code) {
    case Code::LineBack:
      if (!atStart) view_.VisibleStart -= column;
      break;
    case Code::LineForward:
      if (!atEnd) view_.VisibleStart += column;
      break;
    case Code::PageBack:
      if (!atStart) view_.VisibleStart -= pageStep;
      break;
    case Code::PageForward:
      if (!atEnd) view_.VisibleStart += pageStep;
      break;
    case Code::ToStart: view_.VisibleStart = view_.DataStart; break;
    case Code::ToEnd: view_.VisibleStart = view_.DataEnd; break;
    case Code::ThumbPosition:
    case Code::ThumbTrack:
      view_.VisibleStart = view_.DataStart + MulDiv(position, view_.DataEnd - view_.DataStart, kScrollRange);
      break;
    case Code::EndScroll: break;
  }
  UpdateHorizontalScroll();
  Redraw();
}

void MainWindow::OnVScroll(PagedScrollBar::Code code, int32_t position) {
  using Code = PagedScrollBar::Code;
  if (vertical_ == nullptr) return;
  const int32_t step = view_.CanvasHeight * canvas_.GetVerticalPagePercent() / kPercent;
  const int32_t total = plots_.GetTotalHeight() + canvas_.GetTimeAxisHeight();
  switch (code) {
    case Code::LineBack:
      view_.ScrollTop += 1;
      view_.ScrollBottom += 1;
      break;
    case Code::LineForward:
      view_.ScrollTop -= 1;
      view_.ScrollBottom -= 1;
      break;
    case Code::PageBack:
      view_.ScrollTop += step;
      view_.ScrollBottom += step;
      break;
    case Code::PageForward:
      view_.ScrollTop -= step;
      view_.ScrollBottom -= step;
      break;
    // The bottom edge moves with the top, so the projection never stretches or turns over.
    case Code::ToStart:
      view_.ScrollTop = 0;
      view_.ScrollBottom = view_.ScrollTop - view_.CanvasHeight;
      break;
    case Code::ToEnd:
      view_.ScrollTop = -total;
      view_.ScrollBottom = view_.ScrollTop - view_.CanvasHeight;
      break;
    case Code::ThumbPosition:
    case Code::ThumbTrack:
      view_.ScrollTop = -static_cast<int32_t>(MulDiv(position, total, kScrollRange));
      view_.ScrollBottom = view_.ScrollTop - view_.CanvasHeight;
      break;
    case Code::EndScroll: break;
  }
  UpdateVerticalScroll();
  Redraw();
}

void MainWindow::PageUp() {
  if (view_.ScrollTop == 0) return;
  const int32_t step = view_.CanvasHeight * canvas_.GetVerticalPagePercent() / kPercent;
  view_.ScrollTop += step;
  view_.ScrollBottom += step;
  if (view_.ScrollTop > 0) {
    view_.ScrollTop = 0;
    view_.ScrollBottom = -view_.CanvasHeight;
  }
  UpdateVerticalScroll();
  Redraw();
}

void MainWindow::PageDown() {
  const int32_t total = plots_.GetTotalHeight() + canvas_.GetTimeAxisHeight() + 1;
  if (view_.ScrollBottom == -total || total < view_.ScrollTop - view_.ScrollBottom) return;
  const int32_t step = view_.CanvasHeight * canvas_.GetVerticalPagePercent() / kPercent;
  view_.ScrollTop -= step;
  view_.ScrollBottom -= step;
  if (view_.ScrollBottom < -total) {
    view_.ScrollBottom = -total;
    view_.ScrollTop = view_.CanvasHeight - total;
  }
  UpdateVerticalScroll();
  Redraw();
}

void MainWindow::OnSize(int32_t clientWidth, int32_t clientHeight) {
  if (horizontal_ == nullptr || vertical_ == nullptr) return;
  // A canvas needs at least one pixel each way.
  if (clientWidth <= kScrollBarSize || clientWidth > kMaxClientSize) return;
  if (clientHeight <= kScrollBarSize || clientHeight > kMaxClientSize) return;
  view_.CanvasWidth = clientWidth - kScrollBarSize;
  view_.CanvasHeight = clientHeight - kScrollBarSize;
  horizontal_->setGeometry(0, 0, clientWidth, kScrollBarSize);
  vertical_->setGeometry(view_.CanvasWidth, kScrollBarSize, kScrollBarSize, view_.CanvasHeight);
  canvas_.SetMinimumSpan(view_.CanvasWidth);
  renderer_.RequestNewDIBSection();
  view_.ScrollBottom = view_.ScrollTop - view_.CanvasHeight;
  if (view_.VisibleSpan < view_.CanvasWidth) view_.VisibleSpan = view_.CanvasWidth;
  UpdateHorizontalScroll();
  UpdateVerticalScroll();
  Redraw();
}

void MainWindow::OnPaint(QPainter& painter) {
  canvas_.Present(*this);
  // The frame and the two bars cover the client area once it is laid out; anything they leave
  // (before the first frame, or a size that was not laid out) is black like the canvas background.
  const QRegion uncovered = QRegion(client_->rect()).subtracted(QRect(framePosition_, frame_.size()));
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
  framePosition_ = QPoint(x, y);
  return true;
}

int32_t MainWindow::CanvasYForWindowY(int32_t y) const { return view_.ScrollTop - y + kScrollBarSize; }

int32_t MainWindow::PlotAreaWidth() const { return view_.CanvasWidth - canvas_.GetDataAxisWidth(); }

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
  int64_t centre = 0;
  if (PlotCanvas::GetTimeForPixel(x - canvas_.GetDataAxisWidth(), PlotAreaWidth(), view_.VisibleSpan,
                                  view_.VisibleStart, centre) != 0) {
    return;
  }
  view_.VisibleStart = centre - view_.VisibleSpan / 2;
  canvas_.ZoomOut();
  UpdateHorizontalScroll();
  Redraw();
}

void MainWindow::ZoomToRubberBand() {
  int32_t x1 = rubberBandAnchor_.x();
  int32_t x2 = rubberBandCurrent_.x();
  if (x1 > x2) std::swap(x1, x2);
  const int32_t axisWidth = canvas_.GetDataAxisWidth();
  const int32_t width = PlotAreaWidth();
  int64_t first1 = 0;
  int64_t last1 = 0;
  if (PlotCanvas::GetTimeRangeForPixel(x1 - axisWidth, width, view_.VisibleSpan, view_.VisibleStart, first1,
                                       last1) != 0) {
    return;
  }
  if (x1 == x2) {
    // A click: centre the span on the clicked column, then zoom in around it.
    view_.VisibleStart = (first1 + last1) / 2 - view_.VisibleSpan / 2;
    canvas_.ZoomIn();
    UpdateHorizontalScroll();
    Redraw();
    return;
  }
  int64_t first2 = 0;
  int64_t last2 = 0;
  if (PlotCanvas::GetTimeRangeForPixel(x2 - axisWidth, width, view_.VisibleSpan, view_.VisibleStart, first2,
                                       last2) != 0) {
    return;
  }
  const int64_t span = last2 - first1;
  // Narrower than one microsecond per pixel: the band is ignored.
  if (span < width) return;
  view_.VisibleStart = first1;
  view_.VisibleSpan = std::max<int64_t>(span, width);
  UpdateHorizontalScroll();
  Redraw();
}

void MainWindow::OnDropFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (path.empty() || path.size() > kMaxDroppedNameLength) continue;
    const int32_t before = sources_.GetNumSources();
    if (sources_.OpenSource(path) != 0) break;
    if (CreatePlotsForSources(before) != 0) break;
  }
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
  dialog.exec();
  Redraw();
}

void MainWindow::SaveDisplayAsBitmap() { BitmapExport::SaveDisplayAsBitmap(DisplayedImage()); }

}  // namespace skelvane
