// calvenori-upload.exe and the console's close, a logoff and a shutdown:
// Windows calls the console's handler on a thread of its own and ends the
// process once it returns, so the handler notes the stop and waits until the
// process is on its way out (the upload has let go of the port and written
// its journal line by then). Wine sends these events to no console program,
// so the handler is called here as Windows would call it.
#include "StopSignals.h"

#include <QtTest>

#include <atomic>
#include <thread>

#include <windows.h>

class ConsoleEventsTest : public QObject {
  Q_OBJECT

 private slots:
  void closeWaitsUntilTheUploadHasEnded();
};

void ConsoleEventsTest::closeWaitsUntilTheUploadHasEnded() {
  CatchStopSignals();
  std::atomic<bool> returned{false};
  std::atomic<int> taken{0};
  std::thread windows([&] {
    taken = HandleConsoleEvent(CTRL_CLOSE_EVENT);
    returned = true;
  });
  QTRY_COMPARE(StopSignal(), StopByConsoleClose);
  QCOMPARE(StopSignalName(StopSignal()), QStringLiteral("the console's close"));
  QVERIFY(!returned);  // Windows would end the process here, mid-upload
  StopHandled();
  QTRY_VERIFY(returned);
  windows.join();
  QCOMPARE(taken.load(), TRUE);
  // Ctrl+C after that: the default handler, which ends the process at once.
  QCOMPARE(HandleConsoleEvent(CTRL_C_EVENT), FALSE);
}

QTEST_GUILESS_MAIN(ConsoleEventsTest)
#include "test_windows_console_events.moc"
