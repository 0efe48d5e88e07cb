#include "KarvoForm.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeDatabase>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

#include "AboutBox.h"
#include "TextViewer.h"
#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Settings.h"
#include "files/FileFormats.h"
#include "files/SettingsFile.h"

namespace karvo::gui {

namespace {

constexpr QSize ClientSize(557, 354);
constexpr int DesktopQueryMs = 5000;

const char* const CertifyFilter = "Files (*.in *.tmp);;Files (*.in);;Files (*.tmp)";
const char* const VerifyFilter = "Files (*.out)";
const char* const NewFileFilter = "Text files (*.in)";
const char* const TextFileFilter =
    "Text files (*.cr *.in *.out *.tr);;Text files (*.cr);;Text files (*.in);;"
    "Text files (*.out);;Text files (*.tr)";

QString FromBytes(const std::string& text) { return QFile::decodeName(text.c_str()); }
std::string ToBytes(const QString& text) { return QFile::encodeName(text).toStdString(); }

std::string FolderOf(const QString& path) {
  std::string folder = ToBytes(QFileInfo(path).absolutePath());
  return folder.back() == '/' ? folder : folder + '/';
}

std::array<int32_t, 4> UserChoices() {
  return {Settings.CertificationReports, Settings.CheckSignaturesOnly,
          Settings.DoubleFileManagement, Settings.IdlePriority};
}

size_t FieldIndex(TField field) { return static_cast<size_t>(field); }

}  // namespace

TKarvoForm::TKarvoForm() : driver_(*this) {
  setWindowTitle(WindowCaption);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  BuildToolbar();
  book_ = new QTabWidget(this);
  book_->setObjectName("Book");
  book_->addTab(BuildReportPage(), "&Task Report");
  book_->addTab(BuildTaskPage(TTaskKind::Certification), "&Certification");
  book_->addTab(BuildTaskPage(TTaskKind::Verification), "&Verification");
  book_->setTabEnabled(PageCertification, false);
  book_->setTabEnabled(PageVerification, false);
  connect(book_, &QTabWidget::currentChanged, this, [this](int index) { PageChanged(index); });
  setCentralWidget(book_);
  statusBar()->setSizeGripEnabled(false);
  statusBar()->showMessage(DefaultStatusText);
  PageChanged(PageReport);

  abortTimer_.setObjectName("AbortTimer");
  saveTimer_.setObjectName("SaveTimer");
  MirrorTimer(driver_.AbortTimer, abortTimer_);
  MirrorTimer(driver_.SaveTimer, saveTimer_);
  SetInformHandler([this](const std::string& message) {
    Message(QMessageBox::Information, FromBytes(message));
  });
  qApp->installEventFilter(this);

  setFixedSize(ClientSize.expandedTo(sizeHint()));
  if (const QScreen* shown = screen()) {
    move(shown->availableGeometry().center() - rect().center());
  }
}

TKarvoForm::~TKarvoForm() {
  // The pages go after the driver and the timers: no page change must reach them.
  book_->disconnect(this);
  qApp->removeEventFilter(this);
  SetInformHandler(nullptr);
  driver_.AbortTimer.OnSetEnabled = nullptr;
  driver_.SaveTimer.OnSetEnabled = nullptr;
}

void TKarvoForm::BuildToolbar() {
  QToolBar* bar = addToolBar("SpeedBar");
  bar->setObjectName("SpeedBar");
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setContextMenuPolicy(Qt::PreventContextMenu);
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  struct TTool {
    const char* Name;
    const char* Text;
    QStyle::StandardPixmap Icon;
    const char* Hint;
    void (TKarvoForm::*Command)();
  };
  const TTool tools[] = {
      {"BtnHelp", "Help", QStyle::SP_DialogHelpButton, " Open the help file  <F1>",
       &TKarvoForm::Help},
      {"BtnAbout", "About", QStyle::SP_MessageBoxInformation, " About Karvo  <Alt+F1>",
       &TKarvoForm::About},
      {"BtnNew", "New", QStyle::SP_FileIcon, " New input file  <Alt+F2>",
       &TKarvoForm::NewInputFile},
      {"BtnOpenFile", "Open", QStyle::SP_DialogOpenButton, " Open a Karvo text file  <Alt+F3>",
       &TKarvoForm::OpenTextFileCommand},
      {"BtnExit", "Quit", QStyle::SP_DialogCloseButton, " Quit  <Alt+F4>",
       &TKarvoForm::Quit},
  };
  for (size_t i = 0; i < std::size(tools); ++i) {
    auto* button = new QToolButton(bar);
    button->setObjectName(tools[i].Name);
    button->setText(tools[i].Text);
    button->setIcon(style()->standardIcon(tools[i].Icon));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setStatusTip(tools[i].Hint);
    button->setToolTip(QString(tools[i].Hint).trimmed());
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this, [this, command = tools[i].Command] {
      (this->*command)();
    });
    bar->addWidget(button);
    toolButtons_[i] = button;
  }
  bar->addSeparator();
  idleBox_ = new QCheckBox("&Idle", bar);
  idleBox_->setObjectName("CheckBoxIdle");
  idleBox_->setFocusPolicy(Qt::NoFocus);
  connect(idleBox_, &QCheckBox::toggled, this, [](bool idle) {
    Settings.IdlePriority = idle ? 1 : 0;
    ApplyIdlePriority(idle);
    QCoreApplication::processEvents();
  });
  bar->addWidget(idleBox_);
}

QWidget* TKarvoForm::BuildReportPage() {
  auto* page = new QWidget;
  page->setObjectName("PageReport");
  auto* layout = new QVBoxLayout(page);
  reportList_ = new QListWidget(page);
  reportList_->setObjectName("PRListBox");
  reportList_->addItems({"", "", "    Karvo 3.0  -  Copyright (C) 2026 the Karvo developers",
                         "    " + QString(68, '_'), "",
                         "    Implementation of the ECPP  (Elliptic Curve Primality Proving) "
                         "algorithm."});
  reportList_->setEnabled(false);
  connect(reportList_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { OpenReportLine(reportList_->row(item)); });
  layout->addWidget(reportList_);
  return page;
}

QWidget* TKarvoForm::BuildTaskPage(TTaskKind kind) {
  const bool certification = kind == TTaskKind::Certification;
  const QString prefix = certification ? "PC" : "PV";
  TTaskPage& parts = Page(kind);
  auto* page = new QWidget;
  page->setObjectName(certification ? "PageCertification" : "PageVerification");
  auto* layout = new QGridLayout(page);

  parts.Setup = new QGroupBox("Setup", page);
  auto* setup = new QHBoxLayout(parts.Setup);
  parts.Choice = new QCheckBox(certification ? "Certification &reports" : "Check &signatures only");
  parts.Choice->setObjectName(prefix + (certification ? "CheckBoxCertReports" : "CheckBoxSignature"));
  parts.DoubleFile = new QCheckBox("&Double file management");
  parts.DoubleFile->setObjectName(prefix + "CheckBoxDFManagement");
  setup->addWidget(parts.Choice);
  setup->addWidget(parts.DoubleFile);
  setup->addStretch();
  int32_t* choice = certification ? &Settings.CertificationReports : &Settings.CheckSignaturesOnly;
  connect(parts.Choice, &QCheckBox::toggled, this, [choice](bool on) { *choice = on ? 1 : 0; });
  connect(parts.DoubleFile, &QCheckBox::toggled, this,
          [](bool on) { Settings.DoubleFileManagement = on ? 1 : 0; });

  auto* status = new QGroupBox("Status", page);
  auto* grid = new QGridLayout(status);
  struct TFieldPlace {
    TField Field;
    const char* Caption;
    const char* Name;
    int Row, Column;
  };
  const TFieldPlace places[] = {
      {TField::Elapsed, "Elapsed time:", "LabelTime2", 0, 0},
      {TField::Number, certification ? "Number:" : "Certificate:", "LabelNumCount2", 1, 0},
      {TField::Phase, "Phase:", "LabelPhase2", 2, 0},
      {TField::Test, "Test:", "LabelTestCount2", 0, 2},
      {TField::Run, "Run:", "LabelRunCount2", 1, 2},
      {TField::Bits, "Bits:", "LabelSize2", certification ? 2 : 1, 2},
  };
  for (const TFieldPlace& place : places) {
    if (!certification && (place.Field == TField::Phase || place.Field == TField::Run)) {
      continue;
    }
    auto* value = new QLabel("?", status);
    value->setObjectName(prefix + place.Name);
    grid->addWidget(new QLabel(place.Caption, status), place.Row, place.Column);
    grid->addWidget(value, place.Row, place.Column + 1);
    parts.Fields[FieldIndex(place.Field)] = value;
  }
  auto* line = new QLabel("?", status);
  line->setObjectName(prefix + "LabelStatus");
  // A long status text is cut at the edge rather than widen the fixed window.
  line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  line->setMinimumHeight(line->sizeHint().height());
  grid->addWidget(line, 3, 0, 1, 4);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  parts.Fields[FieldIndex(TField::Status)] = line;

  auto* buttons = new QVBoxLayout;
  parts.Load = new QPushButton("&Load", page);
  parts.Load->setObjectName(prefix + "BtnLoad");
  parts.Load->setStatusTip(certification ? " Load file(s) and start certification(s)"
                                         : " Load file(s) and start verification(s)");
  parts.Abort = new QPushButton("&Abort", page);
  parts.Abort->setObjectName(prefix + "BtnAbort");
  parts.ConfirmAbort = new QPushButton("C&onfirm to abort", page);
  parts.ConfirmAbort->setObjectName(prefix + "BtnConfirmAbort");
  // The Confirm button comes and goes without moving the others.
  QSizePolicy keepPlace = parts.ConfirmAbort->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  parts.ConfirmAbort->setSizePolicy(keepPlace);
  for (QPushButton* button : {parts.Load, parts.Abort, parts.ConfirmAbort}) {
    buttons->addWidget(button);
  }
  buttons->addStretch();
  connect(parts.Load, &QPushButton::clicked, this, [this, kind] { Load(kind); });
  connect(parts.Abort, &QPushButton::clicked, this, [this] { driver_.AbortCommand(); });
  connect(parts.ConfirmAbort, &QPushButton::clicked, this, [this] { driver_.ConfirmAbort(); });

  layout->addWidget(parts.Setup, 0, 0);
  layout->addWidget(status, 1, 0);
  layout->addLayout(buttons, 0, 1, 2, 1);
  layout->setRowStretch(2, 1);
  return page;
}

void TKarvoForm::MirrorTimer(TEventTimer& timer, QTimer& qtimer) {
  qtimer.setParent(this);
  qtimer.setInterval(timer.IntervalMs());
  timer.OnSetEnabled = [&qtimer](bool enabled) {
    if (enabled) {
      qtimer.start();
    } else {
      qtimer.stop();
    }
  };
  connect(&qtimer, &QTimer::timeout, this, [&timer] { timer.Fire(); });
}

TKarvoForm::TTaskPage& TKarvoForm::Page(TTaskKind kind) {
  return pages_[kind == TTaskKind::Certification ? 0 : 1];
}

bool TKarvoForm::Start() {
  LoadSettings();
  const bool started = driver_.Start().empty();
  loadedChoices_ = UserChoices();
  if (started) {
    book_->setTabEnabled(PageCertification, true);
    book_->setTabEnabled(PageVerification, true);
    // The driver has applied the priority already.
    const QSignalBlocker quiet(idleBox_);
    idleBox_->setChecked(Settings.IdlePriority != 0);
  }
  return started;
}

void TKarvoForm::PageChanged(int index) {
  if (SelectingOrBusy()) {
    const QSignalBlocker quiet(book_);
    book_->setCurrentIndex(currentPage_);
    return;
  }
  currentPage_ = index;
  if (index == PageCertification || index == PageVerification) {
    EnterTaskPage(index == PageCertification ? TTaskKind::Certification
                                             : TTaskKind::Verification);
    return;
  }
  for (TTaskPage& page : pages_) {
    EnableSetup(page, false);
    page.Load->setEnabled(false);
    page.Abort->setEnabled(false);
    page.ConfirmAbort->hide();
  }
}

void TKarvoForm::EnterTaskPage(TTaskKind kind) {
  const bool certification = kind == TTaskKind::Certification;
  TTaskPage& page = Page(kind);
  page.Choice->setChecked((certification ? Settings.CertificationReports
                                         : Settings.CheckSignaturesOnly) != 0);
  page.DoubleFile->setChecked(Settings.DoubleFileManagement != 0);
  for (QLabel* field : page.Fields) {
    if (field != nullptr) {
      field->setText("?");
    }
  }
  page.Fields[FieldIndex(TField::Elapsed)]->setText("0s");
  driver_.TaskRunning = false;
  page.Load->setEnabled(true);
  page.Abort->setEnabled(false);
  page.ConfirmAbort->hide();
  EnableSetup(page, true);
}

void TKarvoForm::EnableSetup(TTaskPage& page, bool enabled) {
  for (QWidget* widget : std::initializer_list<QWidget*>{page.Setup, page.Choice, page.DoubleFile}) {
    widget->setEnabled(enabled);
  }
}

void TKarvoForm::EnableToolbar(bool enabled) {
  for (QToolButton* button : toolButtons_) {
    button->setEnabled(enabled);
  }
}

void TKarvoForm::Load(TTaskKind kind) {
  if (!driver_.Initialized || SelectingOrBusy()) {
    return;
  }
  const bool certification = kind == TTaskKind::Certification;
  TTaskPage& page = Page(kind);
  selecting_ = true;
  EnableSetup(page, false);
  page.Load->setEnabled(false);
  EnableToolbar(false);
  const QStringList chosen =
      ChooseFiles(TFileDialog::OpenMany, certification ? "Select input files" : "Select output files",
                  certification ? CertifyFilter : VerifyFilter, QString());
  std::vector<std::string> files;
  for (const QString& file : chosen) {
    files.push_back(ToBytes(QFileInfo(file).absoluteFilePath()));
  }
  // The driver checks that the current folder can be written; as a dialog
  // that changes it would, the chosen files' folder becomes current.
  if (!files.empty() && chdir(FolderOf(chosen.front()).c_str()) != 0) {
    files.clear();
    Message(QMessageBox::Critical, TextCannotWriteDisk);
  }
  selecting_ = false;
  if (!files.empty() && driver_.SelectFiles(files)) {
    taskKind_ = kind;
    try {
      driver_.RunTask(kind);
    } catch (const std::exception& error) {
      // A platform error ended the task after its clean-up, as the toolkit's
      // own handler would show it.
      Message(QMessageBox::Critical, FromBytes(error.what()));
    }
  }
  EnableToolbar(true);
  EnableSetup(page, true);
  page.Load->setEnabled(true);
}

void TKarvoForm::ShowField(TTaskKind kind, TField field, const std::string& text) {
  if (QLabel* label = Page(kind).Fields[FieldIndex(field)]) {
    label->setText(FromBytes(text));
  }
  if (field == TField::Number) {
    statusBar()->showMessage(DefaultStatusText);
  }
}

void TKarvoForm::EnableAbort(bool enabled) { Page(taskKind_).Abort->setEnabled(enabled); }

void TKarvoForm::ShowConfirmAbort(bool shown) {
  if (shown) {
    Page(taskKind_).ConfirmAbort->show();
    return;
  }
  for (TTaskPage& page : pages_) {
    page.ConfirmAbort->hide();
  }
}

void TKarvoForm::ProcessEvents() { QCoreApplication::processEvents(); }

void TKarvoForm::ShowError(const std::string& message) {
  Message(QMessageBox::Critical, FromBytes(message));
}

// The outcomes are on the Task Report page once the task ends.
void TKarvoForm::FileEnded(TTaskKind, const TFileOutcome&) {}

void TKarvoForm::ShowTaskReport(const std::vector<std::string>& lines) {
  reportList_->setEnabled(true);
  reportList_->clear();
  for (const std::string& line : lines) {
    reportList_->addItem(FromBytes(line));
  }
  reportList_->scrollToTop();
  if (reportList_->count() > 0) {
    reportList_->setCurrentRow(0);
  }
  // The page changes while the task still counts as busy, without the
  // handler that would refuse it.
  const QSignalBlocker quiet(book_);
  book_->setCurrentIndex(PageReport);
  reportList_->setFocus();
  if (book_->currentIndex() == PageReport) {
    currentPage_ = PageReport;
  }
}

void TKarvoForm::OpenReportLine(int row) {
  if (row < 0 || DisplayPaths.size() != DisplayLines.size() ||
      static_cast<size_t>(row) >= DisplayPaths.size() ||
      DisplayPaths[static_cast<size_t>(row)].empty()) {
    return;
  }
  OpenTextFile(FromBytes(DisplayPaths[static_cast<size_t>(row)]));
}

void TKarvoForm::Help() {
  const QString path = FromBytes(HelpFileName);
  if (!QFileInfo::exists(path)) {
    Message(QMessageBox::Critical, "Cannot find " + path);
  } else if (!OpenWithDesktop(path)) {
    OpenInViewer(path);
  }
}

void TKarvoForm::About() { ShowAboutBox(); }

// Refused while a task runs (closeEvent).
void TKarvoForm::Quit() { close(); }

void TKarvoForm::NewInputFile() {
  const QStringList chosen = ChooseFiles(TFileDialog::Save, "Create and open a new input file",
                                         NewFileFilter, "New.in");
  if (chosen.isEmpty()) {
    return;
  }
  WorkFolder = FolderOf(chosen.front());
  try {
    ::karvo::NewInputFile(ToBytes(chosen.front()));
  } catch (const std::exception& error) {
    Message(QMessageBox::Critical, FromBytes(error.what()));
    return;
  }
  OpenTextFile(chosen.front());
}

void TKarvoForm::OpenTextFileCommand() {
  const QStringList chosen =
      ChooseFiles(TFileDialog::OpenOne, "Open a Karvo text file", TextFileFilter, QString());
  if (!chosen.isEmpty()) {
    OpenTextFile(chosen.front());
  }
}

void TKarvoForm::OpenTextFile(const QString& name) {
  if (!QFileInfo(name).isFile()) {
    Message(QMessageBox::Critical, "Impossible to find " + name.toUpper());
  } else if (!OpenWithDesktop(name)) {
    OpenInViewer(name);
  }
}

void TKarvoForm::Message(QMessageBox::Icon icon, const QString& text) {
  const char* title = icon == QMessageBox::Critical  ? "Error"
                      : icon == QMessageBox::Warning ? "Warning"
                                                     : "Information";
  QMessageBox box(icon, title, QString(text).replace("\r\n", "\n"), QMessageBox::Ok, this);
  box.exec();
}

QStringList TKarvoForm::ChooseFiles(TFileDialog kind, const QString& title, const QString& filter,
                                    const QString& proposed) {
  QFileDialog dialog(this, title, FromBytes(WorkFolder), filter);
  if (kind == TFileDialog::Save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("in");
    dialog.selectFile(proposed);
  } else {
    dialog.setFileMode(kind == TFileDialog::OpenMany ? QFileDialog::ExistingFiles
                                                     : QFileDialog::ExistingFile);
  }
  return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

bool TKarvoForm::OpenWithDesktop(const QString& path) {
  // The desktop's opener starts even when nothing handles the type, so ask
  // first whether something does.
  QProcess query;
  query.start("xdg-mime", {"query", "default", QMimeDatabase().mimeTypeForFile(path).name()});
  if (!query.waitForFinished(DesktopQueryMs) || query.exitCode() != 0 ||
      query.readAllStandardOutput().trimmed().isEmpty()) {
    return false;
  }
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TKarvoForm::OpenInViewer(const QString& path) {
  auto* viewer = new TTextViewer(path, this);
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->show();
}

void TKarvoForm::ShowAboutBox() {
  TAboutBox box(this);
  box.exec();
}

bool TKarvoForm::WindowKey(int key, Qt::KeyboardModifiers modifiers) {
  modifiers &= Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
  const bool free = !driver_.TaskRunning;
  if (key == Qt::Key_F1 && modifiers == Qt::NoModifier) {
    if (free) {
      Help();
    }
    return true;
  }
  if (modifiers != Qt::AltModifier) {
    return false;
  }
  void (TKarvoForm::*command)() = nullptr;
  switch (key) {
    case Qt::Key_F1:
      command = &TKarvoForm::About;
      break;
    case Qt::Key_F2:
      command = &TKarvoForm::NewInputFile;
      break;
    case Qt::Key_F3:
      command = &TKarvoForm::OpenTextFileCommand;
      break;
    case Qt::Key_F4:
      command = &TKarvoForm::Quit;
      break;
    default:
      return false;
  }
  if (free) {
    (this->*command)();
  }
  return true;
}

bool TKarvoForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
      static_cast<QWidget*>(watched)->window() != this) {
    return QMainWindow::eventFilter(watched, event);
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  if (watched == reportList_ && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    OpenReportLine(reportList_->currentRow());
    return true;
  }
  return WindowKey(key->key(), key->modifiers());
}

bool TKarvoForm::event(QEvent* event) {
  // A control without a hint leaves the default text, not an empty bar.
  if (event->type() == QEvent::StatusTip) {
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    statusBar()->showMessage(tip.isEmpty() ? QString(DefaultStatusText) : tip);
    return true;
  }
  return QMainWindow::event(event);
}

void TKarvoForm::closeEvent(QCloseEvent* event) {
  if (driver_.TaskRunning) {
    event->ignore();
    return;
  }
  // Unchanged choices need no write, which a folder the user cannot write
  // (an installed program's) would refuse with a message at every exit.
  if (UserChoices() != loadedChoices_) {
    SaveSettings();
  }
  event->accept();
}

}  // namespace karvo::gui
