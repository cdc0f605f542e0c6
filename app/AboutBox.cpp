#include "app/AboutBox.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app/AppResources.h"

namespace skelvane {
namespace {

constexpr const char* kCaption = "About Skelvane";
constexpr const char* kProductName = "Skelvane";
constexpr const char* kVersionText = "Version 3.01";

// The layout is given in dialog units of an 8-point dialog font: 4 units per average character
// width (6 pixels) across and 8 units per line height (13 pixels) down.
constexpr int kAverageCharWidth = 6;
constexpr int kLineHeight = 13;
constexpr int X(int units) { return units * kAverageCharWidth / 4; }
constexpr int Y(int units) { return units * kLineHeight / 8; }

constexpr int kWidthUnits = 247;
constexpr int kHeightUnits = 119;
constexpr int kIconSize = 32;

}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kCaption));
  setModal(true);
  setFixedSize(X(kWidthUnits), Y(kHeightUnits));

  icon_ = new QLabel(this);
  LoadAppResources();
  icon_->setPixmap(QIcon(QString::fromUtf8(kAppIconResource)).pixmap(kIconSize, kIconSize));
  icon_->setGeometry(X(27), Y(17), kIconSize, kIconSize);

  name_ = new QLabel(QString::fromUtf8(kProductName), this);
  name_->move(X(68), Y(15));
  name_->adjustSize();

  version_ = new QLabel(QString::fromUtf8(kVersionText), this);
  version_->move(X(68), Y(26));
  version_->adjustSize();

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(X(145), Y(45), X(51), Y(13));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace skelvane
