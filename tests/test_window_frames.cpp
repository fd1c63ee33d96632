// The window protocol's request frames, byte for byte: no port needed, so
// these run in the Windows build too.
#include "WindowProtocol.h"

#include <QtTest>

namespace {
QString Spaced(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ').toUpper()); }
}  // namespace

class WindowFramesTest : public QObject {
  Q_OBJECT

 private slots:
  void requestFramesAreExact() {
    QCOMPARE(Spaced(ReadRequestFrame(310)), QString("02 80 33 31 30 30 03 38 31"));
    QCOMPARE(Spaced(WriteRequestFrame(500, "L", "1")), QString("02 80 35 30 30 31 31 03 42 36"));
    QCOMPARE(Spaced(WriteRequestFrame(310, "N", "123")),
             QString("02 80 33 31 30 31 30 30 30 31 32 33 03 38 30"));
    // Logic: only the value 1 switches on.
    for (const char *off : {"0", "-1", "2", ""}) QCOMPARE(WriteRequestFrame(500, "L", off).mid(6, 1), QByteArray("0"));
    QCOMPARE(WriteRequestFrame(310, "N", "-5").mid(6, 7), QByteArray("-000005"));
    QCOMPARE(WriteRequestFrame(310, "N", "1234567").mid(6, 7), QByteArray("1234567"));
    QCOMPARE(WriteRequestFrame(310, "N", "abc").mid(6, 3), QByteArray("abc"));
    QCOMPARE(WriteRequestFrame(310, "N", "-9223372036854775808").mid(6, 20), QByteArray("-9223372036854775808"));
    // An unknown letter goes out with no data field at all.
    QCOMPARE(WriteRequestFrame(310, "X", "1").mid(6, 1), QByteArray("\x03"));
  }

  void textWindowsArePaddedNeverCut() {
    QCOMPARE(WriteRequestFrame(321, "A", "AB").mid(6, 5), QByteArray("AB  \x03"));
    QCOMPARE(WriteRequestFrame(319, "A", "ABCDE").mid(6, 11), QByteArray("ABCDE     \x03"));
    QCOMPARE(WriteRequestFrame(319, "A", "ABCDEFGHIJKLM").mid(6, 14), QByteArray("ABCDEFGHIJKLM\x03"));
  }

  void checksumKeepsItsLeadingZero() {
    QByteArray frame("\x02\x0A\x03", 3);  // 0x0A ^ 0x03 = 0x09
    QCOMPARE(FrameChecksum(frame), QByteArray("09"));
  }
};

QTEST_GUILESS_MAIN(WindowFramesTest)
#include "test_window_frames.moc"
