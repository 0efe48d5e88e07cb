#pragma once

// The main window of karvo: a toolbar, the Task Report, Certification and
// Verification pages and a status bar, in front of the task driver. The
// driver runs a task inside the Load command's handler; the window's events
// are processed from the driver's poll handler meanwhile, which is how
// Abort, its confirmation and the timers reach it.

#include <QMainWindow>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <array>

#include "shell/TaskDriver.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace karvo::gui {

inline constexpr int PageReport = 0;
inline constexpr int PageCertification = 1;
inline constexpr int PageVerification = 2;

enum class TFileDialog { OpenMany, OpenOne, Save };

class TKarvoForm : public QMainWindow, public TFrontEnd {
 public:
  TKarvoForm();
  ~TKarvoForm() override;

  // The start-up checks (settings, prime table, data files). After a
  // failure the task pages stay disabled for the whole run.
  bool Start();
  TTaskDriver& Driver() { return driver_; }
  int CurrentPage() const { return currentPage_; }

  void ShowField(TTaskKind kind, TField field, const std::string& text) override;
  void EnableAbort(bool enabled) override;
  void ShowConfirmAbort(bool shown) override;
  void ProcessEvents() override;
  void ShowError(const std::string& message) override;
  void FileEnded(TTaskKind kind, const TFileOutcome& outcome) override;
  void ShowTaskReport(const std::vector<std::string>& lines) override;

  // The commands of the toolbar and of the keyboard.
  void Help();
  void About();
  void NewInputFile();
  void OpenTextFileCommand();
  void Quit();
  // Opens name with the desktop's program for its type, else in the viewer.
  void OpenTextFile(const QString& name);

 protected:
  // What the window asks of the desktop; tests stand in for it.
  virtual void Message(QMessageBox::Icon icon, const QString& text);
  virtual QStringList ChooseFiles(TFileDialog kind, const QString& title, const QString& filter,
                                  const QString& proposed);
  // False when no program is associated with the file's type.
  virtual bool OpenWithDesktop(const QString& path);
  virtual void OpenInViewer(const QString& path);
  virtual void ShowAboutBox();

  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The widgets of the Certification (0) or Verification (1) page.
  struct TTaskPage {
    QGroupBox* Setup = nullptr;
    QCheckBox* Choice = nullptr;  // reports, or signatures only
    QCheckBox* DoubleFile = nullptr;
    std::array<QLabel*, 7> Fields{};  // by TField
    QPushButton* Load = nullptr;
    QPushButton* Abort = nullptr;
    QPushButton* ConfirmAbort = nullptr;
  };

  void BuildToolbar();
  QWidget* BuildReportPage();
  QWidget* BuildTaskPage(TTaskKind kind);
  void MirrorTimer(TEventTimer& timer, QTimer& qtimer);
  TTaskPage& Page(TTaskKind kind);
  void PageChanged(int index);
  void EnterTaskPage(TTaskKind kind);
  void EnableSetup(TTaskPage& page, bool enabled);
  void EnableToolbar(bool enabled);
  void Load(TTaskKind kind);
  void OpenReportLine(int row);
  // Handles the keys the window sees before its controls; true consumes.
  bool WindowKey(int key, Qt::KeyboardModifiers modifiers);
  bool SelectingOrBusy() const { return selecting_ || driver_.Busy; }

  TTaskDriver driver_;
  QTimer abortTimer_;
  QTimer saveTimer_;
  QTabWidget* book_ = nullptr;
  QListWidget* reportList_ = nullptr;
  std::array<TTaskPage, 2> pages_;
  std::array<QToolButton*, 5> toolButtons_{};
  QCheckBox* idleBox_ = nullptr;
  int currentPage_ = PageReport;
  TTaskKind taskKind_ = TTaskKind::Certification;
  bool selecting_ = false;
  // The four user choices as loaded; they are written back when changed.
  std::array<int32_t, 4> loadedChoices_{};
};

}  // namespace karvo::gui
