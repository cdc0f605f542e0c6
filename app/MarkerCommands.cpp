#include "app/MarkerCommands.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>

#include "app/ClientLayout.h"
#include "app/MarkersPanel.h"
#include "app/PlotLocator.h"
#include "app/WindowView.h"
#include "display/IPlotCanvas.h"
#include "display/MarkerSet.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"

namespace skelvane {
namespace {

constexpr int32_t kEditorWidth = 220;
constexpr const char* kEditorHint = "Marker text, Enter";

// The field of a new marker's text: Enter keeps the text, Esc and leaving it keep the marker as it is.
class MarkerEditor final : public QLineEdit {
 public:
  explicit MarkerEditor(QWidget* parent) : QLineEdit(parent) {}

  /// Takes the field away and gives the keys back to the canvas.
  void Close() {
    QWidget* canvas = parentWidget();
    hide();
    deleteLater();
    if (canvas != nullptr) canvas->setFocus();
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) return Close();
    QLineEdit::keyPressEvent(event);
  }
  void focusOutEvent(QFocusEvent* event) override {
    QLineEdit::focusOutEvent(event);
    if (isVisible()) Close();
  }
};

}  // namespace

MarkerCommands::MarkerCommands(IPlotCanvas& canvas, ViewState& view, ViewModel& model, const PlotLocator& locator,
                               WindowView& windowView, QMainWindow& window, QWidget& client)
    : canvas_(canvas),
      view_(view),
      model_(model),
      locator_(locator),
      windowView_(windowView),
      window_(window),
      client_(client) {}

MarkerCommands::~MarkerCommands() = default;

void MarkerCommands::PointerAt(int32_t x, int32_t y) {
  x_ = x;
  y_ = y;
}

void MarkerCommands::PointerLeft() { x_.reset(); }

MarkerSet* MarkerCommands::Markers() const { return canvas_.Markers(); }

bool MarkerCommands::Place(bool onePlot) {
  MarkerSet* markers = Markers();
  if (markers == nullptr || !x_ || y_ < ClientLayout::kScrollBarSize) return false;
  const std::optional<int64_t> time = locator_.TimeAt(*x_);
  if (!time) return false;
  MarkerSet::Marker marker;
  marker.timestamp = *time;
  if (onePlot) {
    const int32_t plot = locator_.PlotAt(y_);
    if (plot < 0) return false;
    marker.plot = locator_.NameOf(plot);
  }
  const std::size_t index = markers->Add(std::move(marker));
  MarkersChanged();
  OpenEditor(index, *x_, y_);
  return true;
}

void MarkerCommands::OpenEditor(std::size_t index, int32_t x, int32_t y) {
  if (editor_) static_cast<MarkerEditor*>(editor_.data())->Close();
  auto* editor = new MarkerEditor(&client_);
  editor->setPlaceholderText(QString::fromUtf8(kEditorHint));
  editor->setFixedWidth(kEditorWidth);
  editor->move(std::min(x, std::max(0, client_.width() - kEditorWidth)), y);
  // The marker is found again by its time and place when the text comes: the list may have changed.
  const MarkerSet::Marker placed = Markers()->All()[index];
  QObject::connect(editor, &QLineEdit::returnPressed, editor, [this, editor, placed] {
    MarkerSet* markers = Markers();
    const auto [first, last] = markers->Within(placed.timestamp, placed.timestamp + 1);
    for (std::size_t i = last; i > first; --i) {
      if (markers->All()[i - 1] == placed) {
        markers->SetText(i - 1, editor->text().toStdString());
        break;
      }
    }
    MarkersChanged();
    editor->Close();
  });
  editor->show();
  editor->setFocus();
  editor_ = editor;
}

bool MarkerCommands::Step(bool forward) {
  MarkerSet* markers = Markers();
  if (markers == nullptr || markers->Empty()) return false;
  // From the marker the last step went to while the view is still there (it may not have centred it
  // at the ends of the data), else from the middle of the view.
  const bool stillThere = stepped_ && view_.VisibleStart == steppedStart_;
  const int64_t from = stillThere ? *stepped_ : model_.MiddleTime();
  const std::optional<std::size_t> next = forward ? markers->After(from) : markers->Before(from);
  if (!next) return false;
  GoTo(markers->All()[*next].timestamp);
  if (panel_) panel_->Select(*next);
  return true;
}

void MarkerCommands::GoTo(int64_t time) {
  model_.CentreOn(time);
  stepped_ = time;
  steppedStart_ = view_.VisibleStart;
  windowView_.UpdateHorizontalScroll();
  windowView_.Redraw();
}

MarkersPanel* MarkerCommands::Panel() {
  if (!panel_) {
    panel_ = new MarkersPanel(
        *Markers(), [this] { return canvas_.Clock(); }, [this](int64_t time) { GoTo(time); },
        [this] { windowView_.Redraw(); }, &window_);
    window_.addDockWidget(Qt::RightDockWidgetArea, panel_);
    panel_->hide();
  }
  return panel_;
}

void MarkerCommands::ShowPanel(bool shown) {
  // A panel never shown is made when it first is: building it costs a session's opening 2 ms.
  if (!shown && !panel_) return;
  MarkersPanel* panel = Panel();
  panel->Refresh();
  panel->setVisible(shown);
}

bool MarkerCommands::PanelShown() const { return panel_ && panel_->isVisible(); }

void MarkerCommands::MarkersChanged() {
  if (panel_) panel_->Refresh();
  windowView_.Redraw();
}

}  // namespace skelvane
