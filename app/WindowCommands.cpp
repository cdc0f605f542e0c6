#include "app/WindowCommands.h"

#include <QMenu>
#include <QMenuBar>
#include <QWidget>
#include <iterator>

#include "app/AboutBox.h"
#include "app/BitmapExport.h"
#include "app/CommandIds.h"
#include "app/CommandMenus.h"
#include "app/DetectedSpikes.h"
#include "app/ExtractionCommands.h"
#include "app/FileSession.h"
#include "app/GoToTimeDialog.h"
#include "app/LatencyLog.h"
#include "app/MarkerCommands.h"
#include "app/MeasuringCursors.h"
#include "app/PlotActions.h"
#include "app/PowerDensityPanel.h"
#include "app/Preferences.h"
#include "app/SessionCommands.h"
#include "app/SpikePanels.h"
#include "app/WindowView.h"
#include "display/MarkerSet.h"
#include "display/Plot.h"
#include "display/ViewState.h"
#include "summary/SummaryCache.h"

namespace skelvane {
namespace {

using Menu = CommandRow::Menu;
using Handler = CommandRow::Handler;
using CheckQuery = CommandRow::CheckQuery;

constexpr CommandRow Popup(Menu parent, const char* title, Menu opens) {
  return {CommandRow::Kind::Submenu, 0, parent, title, "", nullptr, nullptr, nullptr, false, opens};
}
constexpr CommandRow Separator(Menu menu) {
  return {CommandRow::Kind::Separator, 0, menu, nullptr, "", nullptr, nullptr, nullptr, false, Menu::None};
}
constexpr CommandRow Item(int32_t command, Menu menu, const char* text, const char* keys, const char* does,
                          Handler run, CheckQuery checked = nullptr, bool radio = false) {
  return {CommandRow::Kind::Item, command, menu, text, keys, does, run, checked, radio, Menu::None};
}
constexpr CommandRow Check(int32_t command, Menu menu, const char* text, Handler run, CheckQuery checked) {
  return Item(command, menu, text, "", nullptr, run, checked);
}
constexpr CommandRow Radio(int32_t command, Menu menu, const char* text, Handler run, CheckQuery checked) {
  return Item(command, menu, text, "", nullptr, run, checked, true);
}
constexpr CommandRow Key(int32_t command, const char* keys, const char* does, Handler run) {
  return Item(command, Menu::None, nullptr, keys, does, run);
}

// Rows that do the same thing forward and back share one line of Keys and Mouse.
constexpr const char* kZoomTime = "Increase / decrease the time scale (zoom out / in)";
constexpr const char* kPageTime = "Page time forward / back";
constexpr const char* kScrollStack = "Scroll the plot stack up / down";
constexpr const char* kAmplitude = "Increase / decrease the amplitude of all plots";
constexpr const char* kEnds = "Go to the start / end of the recordings";
constexpr const char* kStepSpike = "Centre the next / previous detected spike";
constexpr const char* kPlaceCursor = "Put measuring cursor A / B at the time under the mouse";
constexpr const char* kStepMarker = "Centre the next / previous marker";

// The mouse gestures, which the canvas and the wheel handle, for Keys and Mouse.
constexpr const char* kGestures[][2] = {
    {"Wheel", "Scroll the plot stack"},
    {"Shift+Wheel", "Page time"},
    {"Ctrl+Wheel", "Zoom time about the mouse"},
    {"Alt+Wheel", "Amplitude of the plot under the mouse"},
    {"Click", "Zoom in around the click"},
    {"Shift+Click", "Zoom out around the click"},
    {"Drag", "Zoom to the dragged span"},
    {"Drag a plot's lower border", "Resize the plot"},
    {"Right-click a plot", "Close, move, resize, change the amplitude of, autoscale or filter the plot"},
    {"Drop files", "Open them"},
    {"Click or drag the overview", "Centre the view there"},
};

// "Page &Right\tRight Arrow" is the action "Page Right".
QString ActionName(const char* text) {
  QString name = QString::fromUtf8(text);
  return name.left(name.indexOf(QLatin1Char('\t'))).remove(QLatin1Char('&'));
}

}  // namespace

std::span<const CommandRow> WindowCommands::Table() {
  using C = WindowCommands;
  using S = ViewModel::Scroll;
  using Style = IPlotCanvas::TimeLabelStyle;
  namespace c = commands;
  static const CommandRow kRows[] = {
      Popup(Menu::Bar, "&File", Menu::File),
      Item(c::kOpenData, Menu::File, "&Open Data\tCtrl-Alt-O", "Ctrl+Alt+O; Ctrl+O", "Open data files",
           [](C& w) { w.session_.OpenData(); }),
      Item(c::kOpenSpikeFiles, Menu::File, "Open &Spike Files...", "", nullptr,
           [](C& w) { w.spikePanels_.OpenWithChooser(); }),
      Separator(Menu::File),
      Item(c::kOpenSession, Menu::File, "Open Sessio&n...", "", nullptr, [](C& w) { w.sessions_.OpenWithChooser(); }),
      Item(c::kSaveSession, Menu::File, "Sav&e Session...\tCtrl-Shift-S", "Ctrl+Shift+S", "Save the session",
           [](C& w) { w.sessions_.Save(); }),
      Separator(Menu::File),
      Item(c::kSaveDisplayAsBitmap, Menu::File, "Save Current Display As A &Bitmap", "", nullptr,
           [](C& w) { w.SaveDisplayAsBitmap(); }),
      Separator(Menu::File),
      Popup(Menu::File, "Recent &Files", Menu::RecentFiles),
      Item(c::kClearRecentFiles, Menu::RecentFiles, "&Clear Recent Files", "", nullptr,
           [](C& w) { w.session_.ClearRecentSets(); }),
      Item(c::kCloseAll, Menu::File, "Close &All\tCtrl-Shift-W", "Ctrl+Shift+W", "Close every plot",
           [](C& w) {
             w.session_.CloseAll();
             w.cursors_.Clear();
             // Markers belong to the recordings closed.
             if (MarkerSet* markers = w.markers_.Markers(); markers != nullptr && !markers->Empty()) {
               markers->Clear();
               w.markers_.MarkersChanged();
             }
           }),
      Separator(Menu::File),
      Item(c::kExit, Menu::File, "E&xit\tCtrl-E", "Ctrl+E; Ctrl+Q", "Quit", [](C& w) { w.widget_.close(); }),

      Popup(Menu::Bar, "&Display", Menu::Display),
      Item(c::kIncreaseTimeScale, Menu::Display, "&Increase Time Scale\tCtrl-Right Arrow", "Ctrl+Right", kZoomTime,
           [](C& w) { w.ZoomTime(false); }),
      Item(c::kDecreaseTimeScale, Menu::Display, "&Decrease Time Scale\tCtrl-Left Arrow", "Ctrl+Left", kZoomTime,
           [](C& w) { w.ZoomTime(true); }),
      Separator(Menu::Display),
      Item(c::kPageRight, Menu::Display, "Page &Right\tRight Arrow", "Right", kPageTime,
           [](C& w) { w.ScrollTime(S::PageForward); }),
      Item(c::kPageLeft, Menu::Display, "Page &Left\tLeft Arrow", "Left", kPageTime,
           [](C& w) { w.ScrollTime(S::PageBack); }),
      Item(c::kPageUp, Menu::Display, "Page Up\tUp Arrow", "Up", kScrollStack, [](C& w) { w.PageStack(true); }),
      Item(c::kPageDown, Menu::Display, "Page Down\tDown Arrow", "Down", kScrollStack,
           [](C& w) { w.PageStack(false); }),
      Separator(Menu::Display),
      Check(c::kToggleFileName, Menu::Display, "Display File Name",
            [](C& w) { w.Toggle(&IPlotCanvas::GetShowPlotNames, &IPlotCanvas::SetShowPlotNames); },
            [](const C& w) { return w.canvas_.GetShowPlotNames() != 0; }),
      Check(c::kToggleIcons, Menu::Display, "Display Icons",
            [](C& w) { w.Toggle(&IPlotCanvas::GetShowPlotIcons, &IPlotCanvas::SetShowPlotIcons); },
            [](const C& w) { return w.canvas_.GetShowPlotIcons() != 0; }),
      Check(c::kToggleDataAxis, Menu::Display, "Display Data Axis",
            [](C& w) { w.Toggle(&IPlotCanvas::GetShowDataAxis, &IPlotCanvas::SetShowDataAxis); },
            [](const C& w) { return w.canvas_.GetShowDataAxis() != 0; }),
      Check(c::kToggleTimeAxis, Menu::Display, "Display Time Axis",
            [](C& w) { w.Toggle(&IPlotCanvas::GetShowTimeAxis, &IPlotCanvas::SetShowTimeAxis); },
            [](const C& w) { return w.canvas_.GetShowTimeAxis() != 0; }),
      Separator(Menu::Display),
      Item(c::kShowWholeRecording, Menu::Display, "Show &Whole Recording", "", nullptr,
           [](C& w) { w.ShowWholeRecording(); }),
      Popup(Menu::Display, "&Time Axis Labels", Menu::TimeAxisLabels),
      Radio(c::kTimeLabelsMicroseconds, Menu::TimeAxisLabels, "&Microseconds",
            [](C& w) { w.LabelTime(Style::Microseconds); },
            [](const C& w) { return w.canvas_.GetTimeLabelStyle() == Style::Microseconds; }),
      Radio(c::kTimeLabelsSeconds, Menu::TimeAxisLabels, "&Seconds", [](C& w) { w.LabelTime(Style::Seconds); },
            [](const C& w) { return w.canvas_.GetTimeLabelStyle() == Style::Seconds; }),
      Radio(c::kTimeLabelsClock, Menu::TimeAxisLabels, "&Clock (h:mm:ss)", [](C& w) { w.LabelTime(Style::Clock); },
            [](const C& w) { return w.canvas_.GetTimeLabelStyle() == Style::Clock; }),
      Separator(Menu::Display),
      Item(c::kIncreaseAmplitude, Menu::Display, "Increase &Amplitude\tCtrl-Up Arrow", "Ctrl+Up", kAmplitude,
           [](C& w) { w.plots_.ZoomAllAmplitudes(1); }),
      Item(c::kDecreaseAmplitude, Menu::Display, "Decrease A&mplitude\tCtrl-Down Arrow", "Ctrl+Down", kAmplitude,
           [](C& w) { w.plots_.ZoomAllAmplitudes(-1); }),
      Item(c::kResetAmplitude, Menu::Display, "Reset Am&plitude\tCtrl-0", "Ctrl+0", "Reset the amplitude of all plots",
           [](C& w) { w.plots_.ResetAmplitudes(); }),
      Check(c::kDataAxisMicrovolts, Menu::Display, "Data Axis In Micro&volts", [](C& w) { w.ToggleMicrovolts(); },
            [](const C& w) { return w.canvas_.GetDataAxisInMicrovolts(); }),
      Check(c::kKeepSummaries, Menu::Display, "&Keep Summaries On Disk", [](C&) { ToggleKeepSummaries(); },
            [](const C&) { return SummaryCache::Instance().Enabled(); }),
      Separator(Menu::Display),
      Item(c::kShowDetectedSpikes, Menu::Display, "Show Detected Spikes\tCtrl-D", "Ctrl+D",
           "Mark the spikes Create Spike File would write", [](C& w) { w.detectedSpikes_.Toggle(); },
           [](const C& w) { return w.detectedSpikes_.Shown(); }),
      Item(c::kSpectrum, Menu::Display, "Spectr&um\tCtrl-Shift-U", "Ctrl+Shift+U",
           "Show or hide the spectrum of the plot under the mouse", [](C& w) { w.ToggleSpectrum(); },
           [](const C& w) { return w.spectrum_ != nullptr && !w.spectrum_->isHidden(); }),
      Item(c::kGoToTime, Menu::Display, "&Go To Time\tCtrl-G", "Ctrl+G", "Go to a time", [](C& w) { w.GoToTime(); }),
      Item(c::kFitPlotsToWindow, Menu::Display, "&Fit Plots To Window\tCtrl-Shift-F", "Ctrl+Shift+F",
           "Fit the plots to the window", [](C& w) { w.FitPlotsToWindow(); }),
      Item(c::kAutoscaleAll, Menu::Display, "Auto&scale\tCtrl-Shift-A", "Ctrl+Shift+A",
           "Autoscale the amplitude of every plot", [](C& w) { w.plots_.AutoscaleAll(); }),
      Check(c::kScaleBars, Menu::Display, "Scale &Bars", [](C& w) { w.ToggleScaleBars(); },
            [](const C& w) { return w.canvas_.GetShowScaleBars(); }),
      Check(c::kMarkersPanel, Menu::Display, "Mar&kers Panel",
            [](C& w) { w.markers_.ShowPanel(!w.markers_.PanelShown()); },
            [](const C& w) { return w.markers_.PanelShown(); }),
      Popup(Menu::Display, "F&ilter", Menu::Filter),
      Check(c::kFilterNone, Menu::Filter, "&None", [](C& w) { w.plots_.SetFilter(-1, FilterChoice()); },
            [](const C& w) { return w.FiltersAre(FilterChoice::Band::kNone); }),
      Check(c::kFilterSpike, Menu::Filter, "&Spike Band", [](C& w) { w.plots_.SetFilter(-1, FilterChoice::Spike()); },
            [](const C& w) { return w.FiltersAre(FilterChoice::Band::kSpike); }),
      Check(c::kFilterLfp, Menu::Filter, "&LFP Band", [](C& w) { w.plots_.SetFilter(-1, FilterChoice::Lfp()); },
            [](const C& w) { return w.FiltersAre(FilterChoice::Band::kLfp); }),
      Check(c::kFilterCustom, Menu::Filter, "&Custom...", [](C& w) { w.plots_.AskCustomFilter(-1); },
            [](const C& w) { return w.FiltersAre(FilterChoice::Band::kCustom); }),

      Popup(Menu::Bar, "Spike Extraction", Menu::SpikeExtraction),
      Item(c::kCreateSpikeFile, Menu::SpikeExtraction, "Create Spike File\tCtrl-S", "Ctrl+S", "Create spike files",
           [](C& w) { w.extraction_.CreateSpikeFile(w.widget_); }),
      Item(c::kExtractionProperties, Menu::SpikeExtraction, "Properties\tCtrl-P", "Ctrl+P",
           "Spike extraction properties", [](C& w) { w.ShowExtractionProperties(); }),

      Popup(Menu::Bar, "&Help", Menu::Help),
      Item(c::kKeysAndMouse, Menu::Help, "&Keys and Mouse\tF1", "F1", "This list", [](C& w) { w.ShowKeysAndMouse(); }),
      Item(c::kAbout, Menu::Help, "&About", "", nullptr, [](C& w) { w.ShowAboutBox(); }),

      Key(c::kGoToStart, "Home", kEnds, [](C& w) { w.ScrollTime(S::ToStart); }),
      Key(c::kGoToEnd, "End", kEnds, [](C& w) { w.ScrollTime(S::ToEnd); }),
      Key(c::kPageTimeForward, "PgDown", kPageTime, [](C& w) { w.ScrollTime(S::PageForward); }),
      Key(c::kPageTimeBack, "PgUp", kPageTime, [](C& w) { w.ScrollTime(S::PageBack); }),
      Key(c::kNextSpike, "N", kStepSpike, [](C& w) { w.detectedSpikes_.Step(true); }),
      Key(c::kPreviousSpike, "P", kStepSpike, [](C& w) { w.detectedSpikes_.Step(false); }),
      Key(c::kCursorA, "A", kPlaceCursor, [](C& w) { w.cursors_.Place(TimeCursors::Cursor::A); }),
      Key(c::kCursorB, "B", kPlaceCursor, [](C& w) { w.cursors_.Place(TimeCursors::Cursor::B); }),
      Key(c::kRemoveCursors, "Esc", "Remove the measuring cursors", [](C& w) { w.cursors_.Clear(); }),
      Key(c::kMarkerAllPlots, "M", "Put a marker at the time under the mouse on every plot",
          [](C& w) { w.markers_.Place(false); }),
      Key(c::kMarkerOnePlot, "Shift+M", "Put a marker at the time under the mouse on the plot there",
          [](C& w) { w.markers_.Place(true); }),
      Key(c::kNextMarker, "]", kStepMarker, [](C& w) { w.markers_.Step(true); }),
      Key(c::kPreviousMarker, "[", kStepMarker, [](C& w) { w.markers_.Step(false); }),
  };
  return kRows;
}

std::vector<KeysAndMouseDialog::Line> WindowCommands::KeysAndMouseLines() {
  std::vector<KeysAndMouseDialog::Line> lines = KeysAndMouseDialog::KeyLines(Table());
  for (const auto& [gesture, does] : kGestures) lines.push_back({QString::fromUtf8(gesture), QString::fromUtf8(does)});
  return lines;
}

WindowCommands::WindowCommands(const Parts& parts)
    : canvas_(parts.canvas),
      view_(parts.view),
      model_(parts.model),
      window_(parts.window),
      session_(parts.session),
      plots_(parts.plots),
      extraction_(parts.extraction),
      detectedSpikes_(parts.detectedSpikes),
      spikePanels_(parts.spikePanels),
      cursors_(parts.cursors),
      markers_(parts.markers),
      sessions_(parts.sessions),
      sources_(parts.sources),
      widget_(parts.widget),
      log_(parts.log),
      spectrum_(parts.spectrum) {}

WindowCommands::~WindowCommands() = default;

void WindowCommands::BuildMenus(QMenuBar& bar) {
  menus_ = std::make_unique<CommandMenus>(Table(), bar, widget_, [this](int32_t command) { Run(command); });
  // A plot's own filter changes from its right-click menu: the marks are brought up to date as the
  // menu opens.
  if (QMenu* filters = menus_->Menu(Menu::Filter)) {
    QObject::connect(filters, &QMenu::aboutToShow, filters, [this] { UpdateChecks(); });
  }
  UpdateChecks();
}

void WindowCommands::Run(int32_t command) {
  if (command >= commands::kRecentFilesFirst && command < commands::kRecentFilesFirst + Preferences::kMaxRecentSets) {
    if (log_ != nullptr) log_->NameAction(QStringLiteral("Recent Files"));
    session_.OpenRecentSet(command - commands::kRecentFilesFirst);
    if (log_ != nullptr) log_->FilesOpened();
    return;
  }
  for (const CommandRow& row : Table()) {
    if (row.kind != CommandRow::Kind::Item || row.command != command) continue;
    if (log_ != nullptr) log_->NameAction(row.text != nullptr ? ActionName(row.text) : QString::fromUtf8(row.keys));
    row.run(*this);
    UpdateChecks();
    return;
  }
}

void WindowCommands::UpdateChecks() {
  if (!menus_) return;
  for (const CommandRow& row : Table()) {
    if (row.checked != nullptr) menus_->SetChecked(row.command, row.checked(*this));
  }
}

bool WindowCommands::FiltersAre(FilterChoice::Band band) const {
  const std::optional<FilterChoice> shared = plots_.SharedFilter();
  return shared && shared->GetBand() == band;
}

void WindowCommands::ApplyRememberedDisplay() {
  canvas_.SetTimeLabelStyle(Preferences::TimeLabelStyle());
  canvas_.SetDataAxisInMicrovolts(Preferences::DataAxisInMicrovolts());
  UpdateChecks();
}

// The view model keeps the time at the middle column and reports no change at its bounds.
void WindowCommands::ZoomTime(bool in) {
  if ((in ? model_.ZoomIn() : model_.ZoomOut()) != 0) return;
  window_.UpdateHorizontalScroll();
  window_.Redraw();
}

void WindowCommands::ScrollTime(ViewModel::Scroll action) { window_.ScrollTime(action, 0); }

void WindowCommands::PageStack(bool up) {
  if (!(up ? model_.PageUp() : model_.PageDown())) return;
  window_.UpdateVerticalScroll();
  window_.Redraw();
}

void WindowCommands::Toggle(int32_t (IPlotCanvas::*get)() const, void (IPlotCanvas::*set)(int32_t)) {
  (canvas_.*set)((canvas_.*get)() == 0 ? 1 : 0);
  window_.Redraw();
}

void WindowCommands::LabelTime(IPlotCanvas::TimeLabelStyle style) {
  canvas_.SetTimeLabelStyle(style);
  Preferences::SetTimeLabelStyle(style);
  window_.Redraw();
}

void WindowCommands::ToggleMicrovolts() {
  canvas_.SetDataAxisInMicrovolts(!canvas_.GetDataAxisInMicrovolts());
  Preferences::SetDataAxisInMicrovolts(canvas_.GetDataAxisInMicrovolts());
  window_.Redraw();
}

// Builds already made stay as they are; those started from now on follow the new choice.
void WindowCommands::ToggleKeepSummaries() {
  SummaryCache::Instance().SetEnabled(!SummaryCache::Instance().Enabled());
  Preferences::SetKeepSummaries(SummaryCache::Instance().Enabled());
}

void WindowCommands::ShowWholeRecording() {
  model_.SetVisibleSpan(view_.DataDuration);
  model_.ScrollTo(view_.DataStart);
  window_.UpdateHorizontalScroll();
  window_.Redraw();
}

void WindowCommands::SaveDisplayAsBitmap() { BitmapExport::SaveDisplayAsBitmap(window_.DisplayedImage()); }

void WindowCommands::ShowAboutBox() {
  AboutBox box(&widget_);
  box.exec();
}

// The plots' threshold overlays follow the values the dialog handed them.
void WindowCommands::ShowExtractionProperties() {
  extraction_.ShowProperties(widget_);
  window_.Redraw();
}

void WindowCommands::ShowKeysAndMouse() {
  if (keysAndMouse_ == nullptr) keysAndMouse_ = new KeysAndMouseDialog(KeysAndMouseLines(), &widget_);
  keysAndMouse_->show();
  keysAndMouse_->raise();
}

void WindowCommands::GoToTime() {
  GoToTimeDialog::Run(canvas_.Clock(), sources_, model_, view_, window_, widget_);
}

// Each plot at least its own smallest height: when even those do not fit, the rest scroll.
void WindowCommands::FitPlotsToWindow() {
  model_.FitPlotsToWindow(Plot::kMinHeight);
  window_.UpdateVerticalScroll();
  window_.Redraw();
}

void WindowCommands::ToggleSpectrum() {
  if (spectrum_ == nullptr) return;
  spectrum_->setVisible(spectrum_->isHidden());
  if (!spectrum_->isHidden()) spectrum_->raise();
}

void WindowCommands::ToggleScaleBars() {
  canvas_.SetShowScaleBars(!canvas_.GetShowScaleBars());
  window_.Redraw();
}

}  // namespace skelvane
