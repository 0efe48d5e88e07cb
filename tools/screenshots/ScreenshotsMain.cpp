// karvo-screenshots INPUT FOLDER: karvo's window certifies INPUT and verifies
// the certificate in full, the file dialogs answering by themselves, and
// each page is captured from the display while it is shown:
// FOLDER/karvo-certification.png during the certification's first phase,
// karvo-task-report.png after it, karvo-verification.png during the check.

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <cstdio>

#include "KarvoForm.h"
#include "base/Globals.h"
#include "base/Settings.h"

namespace {

using karvo::gui::TKarvoForm;

// A test of the chain far enough into the certification for every field to
// show, and into the verification for a few tests to be checked.
constexpr int32_t CertificationShotTest = 3;
constexpr int32_t VerificationShotTest = 5;

class TShotForm : public TKarvoForm {
 public:
  QStringList Answer;
  bool Failed = false;

 protected:
  void Message(QMessageBox::Icon, const QString& text) override {
    std::fprintf(stderr, "karvo-screenshots: %s\n", qPrintable(text));
    Failed = true;
  }
  QStringList ChooseFiles(karvo::gui::TFileDialog, const QString&, const QString&,
                          const QString&) override {
    return Answer;
  }
};

bool Shoot(TShotForm& form, const QString& file) {
  QCoreApplication::processEvents();
  const bool saved = form.screen()->grabWindow(form.winId()).save(file);
  std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
  form.Failed |= !saved;
  return saved;
}

void Run(TShotForm& form, int page, const char* load) {
  form.findChild<QTabWidget*>("Book")->setCurrentIndex(page);
  form.findChild<QPushButton*>(load)->click();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: karvo-screenshots INPUT FOLDER\n");
    return 2;
  }
  const QString input = QFileInfo(argv[1]).absoluteFilePath();
  // The window makes the chosen files' folder the current one.
  const QDir folder(QFileInfo(argv[2]).absoluteFilePath());
  karvo::BaseStartup();
  TShotForm form;
  if (!form.Start()) {
    return 1;
  }
  form.show();
  karvo::TTaskDriver& driver = form.Driver();
  const auto onStep = driver.Certifier.OnStep;
  driver.Certifier.OnStep = [&](int32_t index, int32_t level, int32_t bits, int32_t all) {
    onStep(index, level, bits, all);
    if (index + 1 == CertificationShotTest) {
      // With the first step of an abort taken: the confirmation is showing.
      form.findChild<QPushButton*>("PCBtnAbort")->click();
      Shoot(form, folder.filePath("karvo-certification.png"));
    }
  };
  form.Answer = {input};
  Run(form, karvo::gui::PageCertification, "PCBtnLoad");
  Shoot(form, folder.filePath("karvo-task-report.png"));

  const QStringList certificates =
      QFileInfo(input).dir().entryList({"karvo-*-001.out"}, QDir::Files, QDir::Time);
  if (certificates.isEmpty()) {
    std::fprintf(stderr, "karvo-screenshots: no certificate was written\n");
    return 1;
  }
  const auto onProgress = driver.Verifier.OnProgress;
  driver.Verifier.OnProgress = [&](int32_t test, int32_t count, int32_t bits, int32_t all) {
    onProgress(test, count, bits, all);
    if (test == VerificationShotTest) {
      Shoot(form, folder.filePath("karvo-verification.png"));
    }
  };
  form.Answer = {QFileInfo(input).dir().filePath(certificates.front())};
  // A full check shows every test's progress; signatures only would not.
  karvo::Settings.CheckSignaturesOnly = 0;
  Run(form, karvo::gui::PageVerification, "PVBtnLoad");
  return form.Failed ? 1 : 0;
}
