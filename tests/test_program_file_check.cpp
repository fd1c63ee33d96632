// The pre-flight check of the program file: well-formed S-records
// accepted, each kind of bad file refused with the file and line named.

#include <QTemporaryDir>
#include <QDir>
#include <QtTest>

#include "TestFiles.h"

#include "ProgramFileCheck.h"

namespace {

// An S-record of the given type over address and data bytes, with its count
// and checksum computed.
QByteArray Record(char type, const QByteArray &addressAndData) {
  const int count = addressAndData.size() + 1;
  unsigned sum = static_cast<unsigned>(count);
  for (char b : addressAndData) sum += static_cast<unsigned char>(b);
  QByteArray bytes;
  bytes.append(static_cast<char>(count));
  bytes += addressAndData;
  bytes.append(static_cast<char>(~sum & 0xFF));
  return QByteArray("S") + type + bytes.toHex().toUpper();
}

QByteArray S1(quint16 address, const QByteArray &data) {
  QByteArray a;
  a.append(static_cast<char>(address >> 8));
  a.append(static_cast<char>(address & 0xFF));
  return Record('1', a + data);
}

// Records as a linker writes them (the first and last are the well-known
// examples of the format's description).
const QByteArray S0 = "S00F000068656C6C6F202020202000003C";
const QByteArray Data = "S11F00007C0802A6900100049421FFF07C6C1B787C8C23783C6000003863000026";
const QByteArray S9 = "S9030000FC";

}  // namespace

class TestProgramFileCheck : public QObject {
  Q_OBJECT

 private slots:
  void recordHelper();
  void accepts_data();
  void accepts();
  void acceptsMoreThan32767Lines();
  void refuses_data();
  void refuses();
  void openFailures();

 private:
  QTemporaryDir dir_;
};

void TestProgramFileCheck::recordHelper() {
  QCOMPARE(Record('9', QByteArray(2, '\0')), S9);
  QCOMPARE(Record('0', QByteArray::fromHex("000068656C6C6F20202020200000")), S0);
}

void TestProgramFileCheck::accepts_data() {
  QTest::addColumn<QByteArray>("content");
  const QByteArray crlf = S0 + "\r\n" + Data + "\r\n" + S9 + "\r\n";
  QTest::newRow("CR LF lines") << crlf;
  QTest::newRow("last line without line end") << QByteArray(S0 + "\r\n" + Data + "\r\n" + S9);
  QTest::newRow("LF lines") << QByteArray(S0 + "\n" + Data + "\n" + S9 + "\n");
  QTest::newRow("CR lines") << QByteArray(S0 + "\r" + Data + "\r" + S9 + "\r");
  QTest::newRow("blank lines") << QByteArray("\r\n" + S0 + "\r\n\r\n" + Data + "\r\n" + S9 + "\r\n\r\n");
  QTest::newRow("line of blanks counts as blank") << QByteArray(S0 + "\r\n   \r\n" + S9 + "\r\n");
  QTest::newRow("one record") << QByteArray(S9);
  QTest::newRow("UTF-8 byte-order mark first") << QByteArray("\xEF\xBB\xBF" + crlf);
  QTest::newRow("lower-case hexadecimal digits") << QByteArray(Data.toLower().replace('s', 'S') + "\r\n");
  QTest::newRow("every record type")
      << (Record('0', QByteArray(2, '\0')) + "\r\n" + S1(0x1234, "\x01\x02") + "\r\n" +
          Record('2', QByteArray::fromHex("01000011")) + "\r\n" + Record('3', QByteArray::fromHex("0001000022")) +
          "\r\n" + Record('5', QByteArray::fromHex("0003")) + "\r\n" + Record('6', QByteArray::fromHex("000003")) +
          "\r\n" + Record('7', QByteArray::fromHex("00010000")) + "\r\n" + Record('8', QByteArray::fromHex("010000")) +
          "\r\n" + Record('9', QByteArray::fromHex("0000")) + "\r\n");
  QTest::newRow("data record of 255 bytes") << (S1(0, QByteArray(252, '\xAA')) + "\r\n");
  QTest::newRow("bytes that sum past FF") << (S1(0xFFFF, QByteArray(16, '\xFF')) + "\r\n");
}

void TestProgramFileCheck::accepts() {
  QFETCH(QByteArray, content);
  const Verdict fit = CheckProgramFile(WriteTestFile(dir_.path(), "good.s19", content));
  QVERIFY2(fit, qPrintable(fit.Why));
}

void TestProgramFileCheck::acceptsMoreThan32767Lines() {
  QByteArray content = S0 + "\r\n";
  const int records = 40000;
  for (int i = 0; i < records; ++i) content += S1(static_cast<quint16>(i * 16), QByteArray(16, static_cast<char>(i))) + "\r\n";
  content += S9 + "\r\n";
  const QString path = WriteTestFile(dir_.path(), "large.s19", content);
  const Verdict fit = CheckProgramFile(path);
  QVERIFY2(fit, qPrintable(fit.Why));

  // A fault far beyond line 32767 is still found and named by its line.
  QByteArray bad = content;
  const QByteArray last = S1(static_cast<quint16>((records - 1) * 16), QByteArray(16, static_cast<char>(records - 1)));
  const qsizetype at = bad.lastIndexOf(last);
  QVERIFY(at > 0);
  bad[at + 10] = bad[at + 10] == '0' ? '1' : '0';  // a data digit: checksum now wrong
  const QString badPath = WriteTestFile(dir_.path(), "large-bad.s19", bad);
  const Verdict refused = CheckProgramFile(badPath);
  const QString message = refused.Why;
  QVERIFY(!refused);
  QVERIFY2(message.startsWith(QStringLiteral("Program file %1, line %2: the checksum").arg(QDir::toNativeSeparators(badPath)).arg(records + 1)),
           qPrintable(message));
}

void TestProgramFileCheck::refuses_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<int>("line");  // 0: no line named
  QTest::addColumn<QString>("expected");
  QTest::newRow("empty file") << QByteArray() << 0 << "the file is empty";
  QTest::newRow("only blank lines") << QByteArray("\r\n\r\n  \r\n") << 0 << "holds no S-record, only blank lines";
  QTest::newRow("leading blank") << QByteArray(S0 + "\r\n " + Data + "\r\n") << 2 << "begins with a blank";
  QTest::newRow("leading tab") << QByteArray(S0 + "\r\n\t" + Data + "\r\n") << 2 << "begins with a blank";
  QTest::newRow("comma") << QByteArray(S0 + "\r\n" + S9 + ",\r\n") << 2 << "holds a comma";
  QTest::newRow("double quote") << QByteArray("\"" + S0 + "\"\r\n") << 1 << "holds a double quote";
  QTest::newRow("blanks after the record") << QByteArray(S0 + "\r\n" + S9 + "  \r\n") << 2
                                           << "blanks after the end of the record";
  QTest::newRow("tab after the record") << QByteArray(S9 + "\t") << 1 << "blanks after the end of the record";
  QTest::newRow("not an S-record") << QByteArray(S0 + "\r\n:10010000214601360121470136007EFE09D2190140\r\n")
                                   << 2 << "does not begin with \"S\"";
  QTest::newRow("lower-case s") << QByteArray("s9030000FC\r\n") << 1 << "does not begin with \"S\"";
  QTest::newRow("type not a digit") << QByteArray("SA030000FC\r\n") << 1 << "not followed by the record type 0 to 9";
  QTest::newRow("S alone") << QByteArray("S\r\n") << 1 << "not followed by the record type";
  QTest::newRow("no byte count") << QByteArray("S9\r\n") << 1 << "has no byte count";
  QTest::newRow("not hexadecimal") << QByteArray(S0 + "\r\nS9030000FG\r\n") << 2 << "character 10, \"G\", is not a hexadecimal digit";
  QTest::newRow("control character") << QByteArray("S9030000FC\x1a\r\n") << 1 << "the byte 1A (hexadecimal)";
  QTest::newRow("odd number of digits") << QByteArray("S9030000F\r\n") << 1 << "odd number of hexadecimal digits";
  QTest::newRow("count too large") << QByteArray("S9040000FC\r\n") << 1 << "the byte count 04 (4 bytes) does not match the 3 bytes";
  QTest::newRow("count too small") << QByteArray(S0 + "\r\nS1020000FC\r\n") << 2 << "does not match";
  QTest::newRow("line cut short") << QByteArray(Data.left(Data.size() - 8) + "\r\n") << 1 << "does not match";
  QTest::newRow("too short for its address") << (Record('3', QByteArray::fromHex("0000")) + "\r\n") << 1
                                             << "the S3 record is too short: it needs 4 address bytes";
  QTest::newRow("S1 with count 01") << QByteArray("S101FE\r\n") << 1 << "too short";
  QTest::newRow("wrong checksum") << QByteArray(S0 + "\r\n" + Data + "\r\nS9030000FD\r\n") << 3
                                  << "the checksum is FD but should be FC.";
  QTest::newRow("changed data byte") << QByteArray(S0 + "\r\n" + QByteArray(Data).replace(10, 1, "D") + "\r\n") << 2
                                     << "the checksum is 26 but should be";
  QTest::newRow("fault after blank lines") << QByteArray(S0 + "\r\n\r\n\r\nS9030001FC\r\n") << 4 << "checksum";
  QTest::newRow("LF lines count too") << QByteArray(S0 + "\n" + S9 + "\nS9030000FB") << 3 << "checksum";
}

void TestProgramFileCheck::refuses() {
  QFETCH(QByteArray, content);
  QFETCH(int, line);
  QFETCH(QString, expected);
  const QString path = WriteTestFile(dir_.path(), "bad firmware.s19", content);
  const Verdict fit = CheckProgramFile(path);
  QVERIFY(!fit);
  const QString message = fit.Why;
  // The path as the platform shows it: backslashes on Windows.
  const QString shown = QDir::toNativeSeparators(path);
  const QString prefix = line > 0 ? QStringLiteral("Program file %1, line %2: ").arg(shown).arg(line)
                                  : QStringLiteral("Program file %1: ").arg(shown);
  QVERIFY2(message.startsWith(prefix), qPrintable(message));
  QVERIFY2(message.contains(expected), qPrintable(message));
}

void TestProgramFileCheck::openFailures() {
  const QString missing = dir_.filePath("missing.s19");
  const Verdict absent = CheckProgramFile(missing);
  QVERIFY(!absent);
  QVERIFY2(absent.Why.startsWith("Program file " + QDir::toNativeSeparators(missing) + " cannot be opened"), qPrintable(absent.Why));
  const Verdict folder = CheckProgramFile(dir_.path());
  QVERIFY(!folder);
  QVERIFY2(folder.Why.contains("cannot be opened"), qPrintable(folder.Why));
}

QTEST_GUILESS_MAIN(TestProgramFileCheck)
#include "test_program_file_check.moc"
