#include "TextViewer.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace karvo::gui {

namespace {
constexpr QSize ViewerSize(720, 520);
}

TTextViewer::TTextViewer(const QString& path, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QFileInfo(path).fileName());
  auto* layout = new QVBoxLayout(this);
  auto* text = new QTextBrowser(this);
  text->setOpenExternalLinks(true);
  if (path.endsWith(".html", Qt::CaseInsensitive)) {
    text->setSource(QUrl::fromLocalFile(path));
  } else {
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setLineWrapMode(QTextEdit::NoWrap);
    QFile file(path);
    // The files have CR LF line ends.
    text->setPlainText(file.open(QIODevice::ReadOnly)
                           ? QString::fromLocal8Bit(file.readAll()).remove('\r')
                           : "Cannot read " + path);
  }
  layout->addWidget(text);
  resize(ViewerSize);
}

}  // namespace karvo::gui
