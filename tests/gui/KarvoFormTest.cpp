// The window on Qt's offscreen platform, in a program folder of its own, with
// the desktop (message boxes, file dialogs, opening files) recorded: start-up
// checks, the keys, and real certifications with their fields and abort.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimerEvent>
#include <filesystem>
#include <memory>

#include "KarvoForm.h"
#include "arith/PrimeTable.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "base/Settings.h"
#include "files/FilesTestSupport.h"

namespace karvo {
namespace {

namespace fs = std::filesystem;

struct TQtEnvironment : testing::Environment {
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    App = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { App.reset(); }
  int argc = 1;
  char name[16] = "karvo_tests_gui";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> App;
};
testing::Environment* const QtEnvironment = testing::AddGlobalTestEnvironment(new TQtEnvironment);

// A program folder with the help file and the data files found beside the
// test program, but leftOut, and the given karvo.ini.
struct TProgram {
  explicit TProgram(const std::string& leftOut = "", const std::string& ini = "") {
    for (const fs::directory_entry& entry : fs::directory_iterator(ExecutableFolder())) {
      const std::string name = entry.path().filename().string();
      if ((name.rfind("karvo.x", 0) == 0 || name == "karvo.html") && name != leftOut) {
        fs::create_symlink(entry.path(), Folder.Path(name));
      }
    }
    if (!ini.empty()) test::WriteBytes(Folder.Path("karvo.ini"), ini);
    Settings = TSettings{};
    SetProgramFolder(Folder.Folder().string());
  }
  test::TempFolder Folder;
};

struct TForm : gui::TKarvoForm {
  std::string Messages, Dialogs, Opened;
  QStringList Chosen;  // what every file dialog answers
  void Message(QMessageBox::Icon, const QString& text) override {
    Messages += text.toStdString() + "|";
  }
  QStringList ChooseFiles(gui::TFileDialog, const QString& title, const QString&,
                          const QString&) override {
    Dialogs += title.toStdString() + "|";
    return Chosen;
  }
  bool OpenWithDesktop(const QString& path) override {
    Opened += fs::path(path.toStdString()).filename().string() + "|";
    return true;
  }
  void ShowAboutBox() override { Dialogs += "about|"; }
  template <typename T = QLabel>
  T* Get(const char* name) { return findChild<T*>(name); }
  bool TaskPagesEnabled() {
    auto* book = Get<QTabWidget>("Book");
    return book->isTabEnabled(gui::PageCertification) && book->isTabEnabled(gui::PageVerification);
  }
};

TEST(KarvoFormTest, AFailedStartUpCheckLeavesOnlyHelpAboutOpenAndQuit) {
  BuildPrimeTable();  // at the default size: a settings file asking another is refused
  const struct {
    const char* LeftOut;
    const char* Ini;
    std::string Error;
  } rows[] = {
      {"", "", ""},
      {"", "[Setup+]\r\nMSC=20\r\n", TextPrimeTableError},
      {"karvo.xd3", "", "An error occurred while loading the karvo.xd3 data file\r\nKarvo cannot run"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.LeftOut + std::string(row.Ini));
    TProgram program(row.LeftOut, row.Ini);
    TForm form;
    EXPECT_EQ(form.Start(), row.Error.empty());
    EXPECT_EQ(form.Messages, row.Error.empty() ? "" : row.Error + "|");
    EXPECT_EQ(form.TaskPagesEnabled() && form.Driver().Initialized, row.Error.empty());
    QTest::keyClick(&form, Qt::Key_F1);
    QTest::keyClick(&form, Qt::Key_F1, Qt::AltModifier);
    EXPECT_EQ(form.Opened + form.Dialogs, "karvo.html|about|");
  }
}

TEST(KarvoFormTest, KeysRunTheirCommandsUnlessATaskRunsAndChoicesAreSavedAtTheEnd) {
  TProgram program;
  TForm form;
  ASSERT_TRUE(form.Start());
  form.show();
  for (const auto modifiers : {Qt::ShiftModifier, Qt::ControlModifier}) {
    QTest::keyClick(form.Get<QWidget>("PRListBox"), Qt::Key_F1, modifiers);
  }
  form.Driver().TaskRunning = true;
  for (const auto key : {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4}) {
    QTest::keyClick(&form, key, key == Qt::Key_F1 ? Qt::NoModifier : Qt::AltModifier);
  }
  form.close();  // refused as well
  EXPECT_TRUE(form.isVisible() && form.Opened.empty() && form.Dialogs.empty());
  form.Driver().TaskRunning = false;
  QTest::keyClick(form.Get<QWidget>("PRListBox"), Qt::Key_F1);
  QTest::keyClick(&form, Qt::Key_F2, Qt::AltModifier);
  QTest::keyClick(&form, Qt::Key_F3, Qt::AltModifier);
  fs::remove(program.Folder.Path("karvo.html"));
  QTest::keyClick(&form, Qt::Key_F1);
  EXPECT_EQ(form.Opened + form.Dialogs,
            "karvo.html|Create and open a new input file|Open a Karvo text file|");
  EXPECT_EQ(form.Messages, "Cannot find " + HelpFileName + "|");
  form.close();  // no choice changed: nothing to write (the folder may be read-only)
  EXPECT_FALSE(test::Exists(SettingsFileName));
  form.show();
  form.Get<QTabWidget>("Book")->setCurrentIndex(gui::PageVerification);
  form.Get<QAbstractButton>("PVCheckBoxDFManagement")->click();
  QTest::keyClick(&form, Qt::Key_F4, Qt::AltModifier);
  EXPECT_FALSE(form.isVisible());
  EXPECT_NE(test::ReadBytes(SettingsFileName).find("DoubleFileManagement=1"), std::string::npos);
}

// The Certification page's fields, from Number to Status.
std::string Fields(TForm& form) {
  std::string texts;
  for (const char* name : {"PCLabelNumCount2", "PCLabelPhase2", "PCLabelTestCount2",
                           "PCLabelRunCount2", "PCLabelSize2", "PCLabelStatus"}) {
    texts += form.Get(name)->text().toStdString() + "|";
  }
  return texts;
}

TEST(KarvoFormTest, CertifiesShowingProgressRefusingPageChangesWithATwoStepAbort) {
  TProgram program;
  TForm form;
  ASSERT_TRUE(form.Start());
  form.show();
  const std::string input = program.Folder.Path("p.in");
  form.Chosen = {QString::fromStdString(input)};
  auto* book = form.Get<QTabWidget>("Book");
  auto* abort = form.Get<QPushButton>("PCBtnAbort");
  auto* confirm = form.Get<QPushButton>("PCBtnConfirmAbort");
  auto* timer = form.findChild<QTimer*>("AbortTimer");
  std::string seen;
  const auto showTest = form.Driver().Certifier.OnTest;
  std::function<void()> during;
  form.Driver().Certifier.OnTest = [&](int32_t index, int32_t bits, int32_t candidateBits) {
    showTest(index, bits, candidateBits);
    seen += Fields(form);
    book->setCurrentIndex(gui::PageReport);  // refused while busy
    seen += std::to_string(book->currentIndex()) + std::to_string(form.CurrentPage()) + "|";
    if (index == 0) std::exchange(during, [] {})();
  };
  // Not confirmed within 7 s: forgotten, the certification goes on.
  during = [&] {
    QTest::mouseClick(abort, Qt::LeftButton);
    EXPECT_TRUE(confirm->isVisible() && !abort->isEnabled() && timer->isActive());
    EXPECT_EQ(timer->interval(), 7000);
    QTimerEvent expiry(timer->timerId());
    QCoreApplication::sendEvent(timer, &expiry);
    EXPECT_TRUE(!confirm->isVisible() && abort->isEnabled() && !timer->isActive());
  };
  // 8R+1, R the largest prime below 2^48: one N-1 test down to R.
  test::WriteBytes(input, "[KARVO - Input]\r\n[Candidate]\r\nN=2251799813684777\r\n");
  book->setCurrentIndex(gui::PageCertification);
  QTest::mouseClick(form.Get<QPushButton>("PCBtnLoad"), Qt::LeftButton);
  // Phase 1: tests of N and R (the last one shows no bits), then phase 2.
  EXPECT_EQ(seen, "1/1|0|1|-|51/51|?|11|1/1|1|3|1|0/51|?|11|"
                  "1/1|2|1|-|51/51|?|11|1/1|2|2|-|48/51|?|11|");
  auto* list = form.Get<QListWidget>("PRListBox");
  EXPECT_EQ(book->currentIndex(), gui::PageReport);
  ASSERT_FALSE(list->findItems("Candidate certified prime", Qt::MatchContains).empty());
  // Enter on the line naming the certificate opens it; a vanished one is named.
  const auto output = list->findItems("Output", Qt::MatchContains);
  ASSERT_EQ(output.size(), 1);
  list->setCurrentItem(output.front());
  QTest::keyClick(list, Qt::Key_Return);
  const QString certificate = QString::fromStdString(program.Folder.Path(form.Opened)).chopped(1);
  EXPECT_TRUE(certificate.endsWith("-001.out") && fs::remove(certificate.toStdString()));
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(form.Messages, "Impossible to find " + certificate.toUpper().toStdString() + "|");
  // Confirmed: the file ends aborted at the next poll.
  during = [&] {
    QTest::mouseClick(abort, Qt::LeftButton);
    QTest::mouseClick(confirm, Qt::LeftButton);
    PollFlag = 1, CheckPoll();
  };
  book->setCurrentIndex(gui::PageCertification);
  QTest::mouseClick(form.Get<QPushButton>("PCBtnLoad"), Qt::LeftButton);
  EXPECT_FALSE(list->findItems("Aborted by user", Qt::MatchContains).empty());
  EXPECT_FALSE(confirm->isVisible() || form.Driver().Busy);
}

}  // namespace
}  // namespace karvo
