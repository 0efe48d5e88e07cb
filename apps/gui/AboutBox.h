#pragma once

#include <QDialog>

namespace karvo::gui {

// The about box: product, rights, web address and version, one Close button.
class TAboutBox : public QDialog {
 public:
  explicit TAboutBox(QWidget* parent);
};

}  // namespace karvo::gui
