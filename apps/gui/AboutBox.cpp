#include "AboutBox.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/Constants.h"

namespace karvo::gui {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(" About...");
  setObjectName("AboutBox");
  auto* layout = new QVBoxLayout(this);
  auto* panel = new QFrame(this);
  panel->setFrameShape(QFrame::StyledPanel);
  auto* lines = new QVBoxLayout(panel);
  auto* product = new QLabel("KARVO", panel);
  QFont large = product->font();
  large.setPointSizeF(large.pointSizeF() * 2);
  large.setBold(true);
  product->setFont(large);
  auto* version = new QLabel(panel);
  version->setObjectName("Version");
  version->setText(Version);
  auto* web = new QLabel(QString("<a href=\"%1\">%1</a>").arg(WebAddress), panel);
  web->setOpenExternalLinks(true);
  for (QLabel* label : {product, new QLabel("Primality proving by elliptic curves", panel), version,
                        new QLabel("Copyright (C) 2026 the Karvo developers", panel), web}) {
    label->setAlignment(Qt::AlignCenter);
    lines->addWidget(label);
  }
  layout->addWidget(panel);
  auto* close = new QPushButton("&Close", this);
  close->setObjectName("BtnClose");
  close->setDefault(true);
  // Escape rejects the dialog: the button is its cancel button as well.
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(close, 0, Qt::AlignHCenter);
  setFixedSize(sizeHint());
}

}  // namespace karvo::gui
