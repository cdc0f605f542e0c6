#include "app/ClientArea.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QUrl>
#include <string>
#include <vector>


namespace skelvane {
namespace {

bool CarriesLocalFiles(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return false;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return true;
  }
  return false;
}

}  // namespace

ClientArea::ClientArea(QWidget& parent, Handler& handler) : QWidget(&parent), handler_(handler) {
  // Moves without a button pressed show the resize cursor over plot borders.
  setMouseTracking(true);
  setAcceptDrops(true);
  setFocusPolicy(Qt::StrongFocus);
  // The whole area is painted in one go; Qt need not clear it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ClientArea::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  handler_.OnPaint(painter);
}

void ClientArea::resizeEvent(QResizeEvent* event) { handler_.OnSize(event->size().width(), event->size().height()); }

void ClientArea::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  handler_.OnMouseMove(event->buttons(), at.x(), at.y());
}

void ClientArea::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  handler_.OnLButtonDown(event->modifiers(), at.x(), at.y());
}

void ClientArea::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  handler_.OnLButtonUp(event->modifiers(), at.x(), at.y());
}

// Qt would hand the second press of a double click to mousePressEvent; it is a gesture of its own.
void ClientArea::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  handler_.OnLButtonDblClk(event->modifiers(), at.x(), at.y());
}

void ClientArea::dragEnterEvent(QDragEnterEvent* event) {
  if (CarriesLocalFiles(event->mimeData())) event->acceptProposedAction();
}

void ClientArea::dragMoveEvent(QDragMoveEvent* event) {
  if (CarriesLocalFiles(event->mimeData())) event->acceptProposedAction();
}

void ClientArea::dropEvent(QDropEvent* event) {
  if (!CarriesLocalFiles(event->mimeData())) return;
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  }
  event->acceptProposedAction();
  handler_.OnDropFiles(paths);
}

void ClientArea::wheelEvent(QWheelEvent* event) {
  const QPoint at = event->position().toPoint();
  handler_.OnWheel(at, event->angleDelta(), event->modifiers());
  event->accept();
}

void ClientArea::contextMenuEvent(QContextMenuEvent* event) {
  handler_.OnContextMenu(event->pos().x(), event->pos().y());
  event->accept();
}

void ClientArea::leaveEvent(QEvent* event) {
  handler_.OnMouseLeave();
  QWidget::leaveEvent(event);
}

// Header icons name themselves in a tooltip; elsewhere on the canvas there is none.
bool ClientArea::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = handler_.ToolTipAt(help->pos().x(), help->pos().y());
    if (text.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
  }
  return QWidget::event(event);
}

}  // namespace skelvane
