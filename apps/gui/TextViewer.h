#pragma once

#include <QDialog>

namespace karvo::gui {

// A read-only view of a text file (an HTML file is shown rendered), for
// when the desktop has no program for the file's type.
class TTextViewer : public QDialog {
 public:
  TTextViewer(const QString& path, QWidget* parent);
};

}  // namespace karvo::gui
