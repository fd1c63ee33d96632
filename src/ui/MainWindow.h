#pragma once
// The main window: the technician's choices, the state the upload steps share
// and the "Upload Status" frame they report to.

#include <QDir>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <optional>

#include "SerialPort.h"
#include "UploadDriver.h"
#include "PortProbe.h"
#include "Progress.h"

class QAction;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class InputGate;

class MainWindow : public QMainWindow, public UploadHost {
  Q_OBJECT

 public:
  // Shows an open-file dialog; returns the chosen name, or a null string when
  // the technician cancels. Replaceable so tests need no real dialog.
  using FileDialog = std::function<QString(QWidget *owner, const QString &currentName,
                                           const QString &qtFilter)>;

  explicit MainWindow(QWidget *parent = nullptr);

  int ComPort() const override { return comPort_; }
  // A number set without the dialog names whatever device has it at the upload.
  void SetComPort(int port) {
    comPort_ = port;
    comPortDevice_.clear();
  }
  // The device the technician chose in the port dialog, for this session only.
  QString ComPortDevice() const override { return comPortDevice_; }
  UploadKind UploadMode() const override { return uploadMode_; }
  bool CheckErrors() const override { return checkErrors_; }

  // The whole window, title bar included: the status frame hidden while
  // idle, shown while an upload runs.
  static constexpr int IdleHeightTwips = 3450;
  static constexpr int UploadHeightTwips = 5000;
  void SetOuterHeightTwips(int twips);
  int OuterHeightTwips() const;

  // While busy every control and menu is inert and the window refuses to close.
  void SetBusy(bool busy) override;
  bool Busy() const { return busy_; }

  // Called by "Start Upload" when not busy; the upload itself when unset.
  std::function<void()> OnStartUpload;
  FileDialog OpenFileDialog;

  // What the upload steps use.
  SerialPort &Port() override { return port_; }
  QString ParameterFile() const override { return parameterFile_; }
  QString ProgramFile() const override { return programFile_; }
  void SetStep(Step step) override;
  void SetProgressMin(int v) override;
  void SetProgressMax(int v) override;
  void SetProgressValue(int v) override;
  int ProgressValue() const override { return progress_.Value; }
  int ProgressMin() const { return progress_.Min; }
  int ProgressMax() const { return progress_.Max; }
  void Repaint() override { repaint(); }
  void Wait(double seconds) override;
  // At a safe point of the upload (between exchanges): true once it is to stop.
  bool StopIfEnding();

  // What the upload driver uses.
  void Message(const QString &text) override;
  PromptAnswer Prompt(PromptKind kind, const QString &text, bool again) override;
  PromptAnswer ShowRestoreDialog(const IdBackup &rows, const RestoreWrite &write, const QString &staysBlank) override;
  QString FinishWithBackup(const FinishOffer &offer) override;
  // Off the window's thread first, with a time limit: a port whose open
  // blocks (a Bluetooth port looking for its device) must not freeze it.
  bool OpenPort(SerialPort &port) override;
  bool WaitForPort(const QString &text, const QDeadlineTimer &deadline, const std::function<bool()> &back) override;
  int PortWaitSeconds() const override { return portWaitSeconds_; }
  // How long a port lost during an upload is waited for; 0: not at all.
  void SetPortWaitSeconds(int seconds) { portWaitSeconds_ = seconds; }
  QString HostEnding() const override;
  QString HostEndingText() const override;
  void UploadStarted() override { SetOuterHeightTwips(UploadHeightTwips); }
  void UploadEnded() override { SetOuterHeightTwips(IdleHeightTwips); }
  // What the prompt on screen asks for, while one is shown.
  std::optional<PromptKind> PromptShown() const { return promptShown_; }

  // The session ends (SIGTERM, SIGHUP, a logoff, a shutdown; `cause` names
  // it): an upload running stops at its next safe point, writes its journal
  // line and closes the port, and then the program ends; without one it ends at once.
  void EndSession(const QString &cause);
  // Called instead of quitting the application, for tests.
  std::function<void()> OnSessionEnded;
  // How long the port may take to open before the upload gives up on it, and
  // what tries it off the window's thread (replaceable for tests).
  int PortOpenLimitMs = 2000;
  PortOpener OpenOffThread = OpenAndClose;

 protected:
  void closeEvent(QCloseEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void moveEvent(QMoveEvent *event) override;
  bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;

 private:
  void BuildControls();
  void FitFonts();
  void BuildMenus();
  void SetFocusOrder();
  void SetStartDefaults();

  void ChooseFullMode();
  void ChooseParameterListMode();
  void BrowseParameterList();
  void BrowseProgramFile();
  void ChooseFile(QString &name, QLabel *label, const char *filter);
  void StartUploadClicked();
  // The attempt on this port and in this folder that did not finish, offered
  // to be finished: the request when the technician takes it up.
  enum class FinishChoice { Plain, Finish, Neither };
  FinishChoice OfferFinish(const QDir &folder, FinishRequest &request);
  // Shows the files the attempt began with, when they are still there unchanged; else says which is not.
  bool ShowFinishFiles(const UnfinishedAttempt &attempt);
  void EndSessionNow();
  void ChooseSerialPort();
  void ToggleCheckErrors();
  void ShowAbout();
  // Where backups and the journal go: the process's current directory, as it
  // is when the technician acts.
  static QDir WorkingFolder() { return QDir::current(); }
  void ShowWindowValues();
  void VerifyParameterListClicked();

  void EnableProgramRow(bool enabled);
  void ShowProgress();
  int DecorationHeight() const;
  int OuterHeightPixels() const;

  SerialPort port_;
  int comPort_ = 1;
  QString comPortDevice_;
  UploadKind uploadMode_ = UploadKind::ParameterList;
  bool checkErrors_ = false;
  QString parameterFile_;
  QString programFile_;
  ProgressState progress_;
  int outerHeightTwips_ = 0;
  std::optional<PromptKind> promptShown_;
  int appliedDecoration_ = 0;
  bool busy_ = false;
  InputGate *gate_ = nullptr;
  QString where_;       // the step caption or prompt at hand
  QString endCause_;    // why the session ends, once it does
  bool stopping_ = false;  // the upload stops at its next safe point
  int portWaitSeconds_ = DefaultPortWaitSeconds;

  QRadioButton *optParameterList = nullptr;
  QRadioButton *optAll = nullptr;
  QPushButton *cmdStartDownload = nullptr;
  QLabel *lblParameterList = nullptr;
  QPushButton *cmdParameterPath = nullptr;
  QLabel *lblParameter = nullptr;
  QLabel *lblProgramfile = nullptr;
  QPushButton *cmdProgramPath = nullptr;
  QLabel *lblProgram = nullptr;
  QGroupBox *fraDownloadStatus = nullptr;
  QLabel *lblStepDescription = nullptr;
  QProgressBar *pgbStep = nullptr;
  QPushButton *cmdGiveUp = nullptr;  // shown while a lost port is waited for

  QAction *mnuManualDrive = nullptr;
  QAction *mnuWinValue = nullptr;
  QAction *mnuVerifyList = nullptr;
  QAction *mnuChooseSerialPort = nullptr;
  QAction *mnuCheckError = nullptr;
  QAction *mnuVersion = nullptr;
};
