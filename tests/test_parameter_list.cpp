// The parameter list: record bytes, the map of bytes the transfer
// writes (following its running address), the CRC of the third line (Part
// 2.1) and the pre-flight check.

#include <QTemporaryDir>
#include <QDir>
#include <QtTest>

#include "TestFiles.h"

#include "FieldReader.h"
#include "ParameterList.h"
#include "ParameterListCheck.h"

namespace {

using ByteMap = std::map<quint16, quint8>;

// Three header lines as a real list has them (start address, a title line, a
// CRC line), the fields after the start address numbering a multiple of three.
const QByteArray Header = "&H0100,Calvenori,V1.5\r\nPump XY\r\n0,CRC,12345\r\n";

}  // namespace

class TestParameterList : public QObject {
  Q_OBJECT

 private slots:
  void hexHelpers();
  void recordBytes();
  void readRecord();
  void byteMap_data();
  void byteMap();
  void byteMapOpenFailure();
  void crc_data();
  void crc();
  void crcFailures_data();
  void crcFailures();
  void checkAccepts_data();
  void checkAccepts();
  void checkRefuses_data();
  void checkRefuses();
  void checkOpenFailures();

 private:
  QTemporaryDir dir_;
};

void TestParameterList::hexHelpers() {
  QCOMPARE(ValueHex(258), QStringLiteral("00000102"));
  QCOMPARE(ValueHex(-2), QStringLiteral("FFFFFFFE"));
  QCOMPARE(ValueHex(300), QStringLiteral("0000012C"));
  QCOMPARE(ValueHex(0), QStringLiteral("00000000"));
  QCOMPARE(ValueHex(-2147483647 - 1), QStringLiteral("80000000"));
  QCOMPARE(ValueHex(0x7ABCDEF0), QStringLiteral("7ABCDEF0"));
  QCOMPARE(AddressHex(0x0100), QStringLiteral("0100"));
  QCOMPARE(AddressHex(0xFFFF), QStringLiteral("FFFF"));
  QCOMPARE(AddressHex(0xab), QStringLiteral("00AB"));
  QCOMPARE(ByteHex(0x2C), QStringLiteral("2C"));
  QCOMPARE(ByteHex(0x0F), QStringLiteral("0F"));
  QCOMPARE(ByteHex(0), QStringLiteral("00"));
}

void TestParameterList::recordBytes() {
  using B = QList<quint8>;
  QCOMPARE(RecordBytes({2, "Speed", 258}), (B{0x01, 0x02}));
  QCOMPARE(RecordBytes({4, "Offset", -2}), (B{0xFF, 0xFF, 0xFF, 0xFE}));
  QCOMPARE(RecordBytes({1, "Mode", 300}), (B{0x2C}));  // higher bytes dropped
  QCOMPARE(RecordBytes({4, "Big", 0x12345678}), (B{0x12, 0x34, 0x56, 0x78}));
  QCOMPARE(RecordBytes({2, "Neg", -1}), (B{0xFF, 0xFF}));
  for (qint16 size : {qint16(3), qint16(0), qint16(-1), qint16(5), qint16(8)}) {
    QVERIFY2(RecordBytes({size, "x", 258}).isEmpty(), qPrintable(QString::number(size)));
  }
}

void TestParameterList::readRecord() {
  const QString path = WriteTestFile(dir_.path(), "records.txt", "2,\"Speed, max\",258\r\nTitle,x,y\r\n99999,a,99999999999\r\n1,b,-7");
  FieldReader reader;
  QVERIFY(reader.Open(path, nullptr));
  ParameterRecord r = ReadParameterRecord(reader);
  QCOMPARE(r.Size, qint16(2));
  QCOMPARE(r.Description, QByteArray("Speed, max"));
  QCOMPARE(r.Value, 258);
  r = ReadParameterRecord(reader);  // a text size reads as 0
  QCOMPARE(r.Size, qint16(0));
  QCOMPARE(r.Value, 0);
  r = ReadParameterRecord(reader);  // out of range reads as 0: never a stray 1, 2 or 4
  QCOMPARE(r.Size, qint16(0));
  QCOMPARE(r.Value, 0);
  r = ReadParameterRecord(reader);
  QCOMPARE(r.Size, qint16(1));
  QCOMPARE(r.Value, -7);
  QVERIFY(reader.AtEnd());
}

void TestParameterList::byteMap_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<ByteMap>("bytes");
  QTest::newRow("decimal 256, size 2 value 258: 01 02 at 0100, 0101")
      << QByteArray("256\r\n2,Speed,258\r\n") << ByteMap{{0x0100, 0x01}, {0x0101, 0x02}};
  QTest::newRow("&H100, size 2 value 258") << QByteArray("&H100\r\n2,Speed,258\r\n")
                                           << ByteMap{{0x0100, 0x01}, {0x0101, 0x02}};
  QTest::newRow("size 3, 0 and text send nothing and keep the address")
      << QByteArray("&H100\r\n3,Three,7\r\n0,Zero,7\r\nx,Text,7\r\n-1,Neg,7\r\n2,Speed,258\r\n")
      << ByteMap{{0x0100, 0x01}, {0x0101, 0x02}};
  QTest::newRow("size 4 value -2: FF FF FF FE") << QByteArray("&H200\r\n4,Offset,-2\r\n")
                                                << ByteMap{{0x200, 0xFF}, {0x201, 0xFF}, {0x202, 0xFF}, {0x203, 0xFE}};
  QTest::newRow("size 1 value 300: 2C") << QByteArray("10\r\n1,Mode,300\r\n1,Next,1\r\n")
                                        << ByteMap{{10, 0x2C}, {11, 0x01}};
  QTest::newRow("&HFFFF wraps to 0000") << QByteArray("&HFFFF\r\n1,A,17\r\n1,B,18\r\n")
                                        << ByteMap{{0xFFFF, 17}, {0x0000, 18}};
  QTest::newRow("UTF-8 byte-order mark before &H100") << QByteArray("\xEF\xBB\xBF&H100\r\n1,a,7\r\n")
                                                      << ByteMap{{0x0100, 7}};
  QTest::newRow("-1 is FFFF too") << QByteArray("-1\r\n2,A,258\r\n") << ByteMap{{0xFFFF, 1}, {0x0000, 2}};
  QTest::newRow("7FFF goes on to 8000") << QByteArray("&H7FFF\r\n2,A,-1\r\n") << ByteMap{{0x7FFF, 0xFF}, {0x8000, 0xFF}};
  QTest::newRow("32767 goes on to 8000") << QByteArray("32767\r\n2,A,4660\r\n") << ByteMap{{0x7FFF, 0x12}, {0x8000, 0x34}};
  QTest::newRow("header lines become records, sending nothing")
      << (Header + "2,Speed,258\r\n1,Mode,300\r\n") << ByteMap{{0x100, 0x01}, {0x101, 0x02}, {0x102, 0x2C}};
  QTest::newRow("a header line whose first field reads 1 does send")
      << QByteArray("&H100,Title,V1\r\nPump\r\n1,Header,7\r\n2,Speed,258\r\n")
      << ByteMap{{0x100, 0x07}, {0x101, 0x01}, {0x102, 0x02}};
  QTest::newRow("records across line ends, header included")
      << QByteArray("&H100,1\r\nA\r\n5\r\n2,B,-2\r\n")  // (1,A,5) then (2,B,-2)
      << ByteMap{{0x100, 5}, {0x101, 0xFF}, {0x102, 0xFE}};
  QTest::newRow("quoted description with commas") << QByteArray("0\r\n1,\"a, b, c\",9\r\n2,\"d\",10\r\n")
                                                  << ByteMap{{0, 9}, {1, 0}, {2, 10}};
  QTest::newRow("LF lines, no line end at the end") << QByteArray("5\n1,a,1\n1,b,2") << ByteMap{{5, 1}, {6, 2}};
  QTest::newRow("numeric size with trailing text") << QByteArray("0\r\n2x,a,258\r\n") << ByteMap{{0, 1}, {1, 2}};
  QTest::newRow("address written twice holds the later byte")
      << QByteArray("&HFFFF\r\n4,a,0\r\n") << ByteMap{{0xFFFF, 0}, {0, 0}, {1, 0}, {2, 0}};
  QTest::newRow("wrap onto an earlier byte") << QByteArray("&HFFFF\r\n1,a,1\r\n") << ByteMap{{0xFFFF, 1}};
  QTest::newRow("trailing blank line sends nothing") << QByteArray("0\r\n1,a,1\r\n\r\n") << ByteMap{{0, 1}};
  QTest::newRow("only a start address") << QByteArray("&H100") << ByteMap{};
  QTest::newRow("empty file") << QByteArray() << ByteMap{};
  QTest::newRow("unreadable start address counts as 0") << QByteArray("Start\r\n1,a,7\r\n") << ByteMap{{0, 7}};
}

void TestParameterList::byteMap() {
  QFETCH(QByteArray, content);
  QFETCH(ByteMap, bytes);
  QString error;
  const ByteMap map = ParameterByteMap(WriteTestFile(dir_.path(), "map.txt", content), &error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  if (map != bytes) {
    for (const auto &[address, byte] : map) qWarning("%04X: %02X", address, byte);
  }
  QVERIFY(map == bytes);
}

void TestParameterList::byteMapOpenFailure() {
  QString error;
  const QString missing = dir_.filePath("missing.txt");
  QVERIFY(ParameterByteMap(missing, &error).empty());
  QVERIFY2(error.contains(QDir::toNativeSeparators(missing)), qPrintable(error));
}

void TestParameterList::crc_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<qint32>("crc");
  QTest::newRow("7,8,9: comma at 2 passed over") << QByteArray("a\r\nb\r\n7,8,9\r\n") << 9;
  QTest::newRow("header layout") << Header << 12345;
  QTest::newRow("blanks around") << QByteArray("a\r\nb\r\n0,CRC,  4660 \t\r\n2,x,1\r\n") << 4660;
  QTest::newRow("negative") << QByteArray("a\r\nb\r\nCRC,-1\r\n") << -1;
  QTest::newRow("largest") << QByteArray("a\r\nb\r\nCRC,2147483647") << 2147483647;
  QTest::newRow("the rest of the line after the first comma")
      << QByteArray("a\r\nb\r\nxx,77\r\n") << 77;  // comma at 3 is found
  QTest::newRow("LF lines") << QByteArray("a\nb\n1,2,3\n") << 3;
}

void TestParameterList::crc() {
  QFETCH(QByteArray, content);
  QFETCH(qint32, crc);
  const Checked<qint32> read = ReadParameterCrc(WriteTestFile(dir_.path(), "crc.txt", content));
  QVERIFY2(read, qPrintable(read.Why));
  QCOMPARE(*read, crc);
}

void TestParameterList::crcFailures_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<QString>("expected");
  QTest::newRow("two lines only") << QByteArray("a\r\nb\r\n") << "only 2 lines";
  QTest::newRow("empty file") << QByteArray() << "only 0 lines";
  QTest::newRow("comma only among the first two characters") << QByteArray("a\r\nb\r\n7,89\r\n") << "line 3: there is no comma";
  QTest::newRow("no comma") << QByteArray("a\r\nb\r\n12345\r\n") << "line 3: there is no comma";
  QTest::newRow("nothing after the comma") << QByteArray("a\r\nb\r\nCRC,  \r\n") << "line 3: there is no CRC";
  QTest::newRow("not a number") << QByteArray("a\r\nb\r\nCRC,abc\r\n") << "line 3: the CRC \"abc\"";
  QTest::newRow("more fields after it") << QByteArray("a\r\nb\r\n0,CRC,1,2\r\n") << "line 3: the CRC \"1,2\"";
  QTest::newRow("trailing text") << QByteArray("a\r\nb\r\nCRC,12x\r\n") << "not a whole decimal number";
  QTest::newRow("hexadecimal") << QByteArray("a\r\nb\r\nCRC,&HFFFF\r\n") << "not a whole decimal number";
  QTest::newRow("too large") << QByteArray("a\r\nb\r\nCRC,4294967295\r\n") << "line 3: the CRC 4294967295 does not fit 32 bits";
}

void TestParameterList::crcFailures() {
  QFETCH(QByteArray, content);
  QFETCH(QString, expected);
  const QString path = WriteTestFile(dir_.path(), "badcrc.txt", content);
  const Checked<qint32> read = ReadParameterCrc(path);
  QVERIFY(!read.Value);
  const QString error = read.Why;
  QVERIFY2(error.startsWith(QStringLiteral("Parameter list %1").arg(QDir::toNativeSeparators(path))), qPrintable(error));
  QVERIFY2(error.contains(expected), qPrintable(error));
}

void TestParameterList::checkAccepts_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<bool>("parameterOnly");
  QTest::newRow("header and parameters") << (Header + "2,Speed,258\r\n1,Mode,300\r\n4,Offset,-2\r\n") << true;
  QTest::newRow("without the last line end") << (Header + "2,Speed,258\r\n1,Mode,3") << true;
  QTest::newRow("LF lines") << QByteArray("&H100,a,b\nc\n0,CRC,1\n1,x,1\n") << true;
  QTest::newRow("trailing blank lines") << (Header + "1,Mode,3\r\n\r\n") << true;
  QTest::newRow("many trailing blank lines") << (Header + "1,Mode,3\r\n\r\n  \r\n\r\n\r\n\r\n") << false;
  QTest::newRow("blank header line") << QByteArray("&H100,Calvenori,V1\r\n\r\n0,CRC,7\r\n1,M,1\r\n") << true;
  QTest::newRow("start address alone on line 1") << QByteArray("256\r\nA,B,C\r\n0,CRC,9\r\n2,S,1\r\n") << true;
  QTest::newRow("start address and a record on line 1") << QByteArray("&H100,1,Mode,3\r\n") << false;
  QTest::newRow("quoted descriptions with commas")
      << (Header + "2,\"Speed, max\",258\r\n1,\"Mode \"\"A\"\"\",3\r\n") << true;
  QTest::newRow("text sizes between parameters (section line)")
      << (Header + "2,Speed,258\r\nSection,Motor,x\r\n1,Mode,3\r\n") << true;
  QTest::newRow("sizes 3, 0 and -1 between parameters") << (Header + "3,a,1\r\n1,b,2\r\n0,c,3\r\n-1,d,4\r\n") << true;
  QTest::newRow("numeric size and value with trailing text") << (Header + "2x,Speed,258 rpm\r\n") << true;
  QTest::newRow("blanks around fields") << QByteArray(" &H100 , a , b \r\n c \r\n0,CRC, 12 \r\n 1 , x , 5 \r\n") << true;
  QTest::newRow("start address -1 and FFFF wrap") << QByteArray("&HFFFF\r\n1,a,1\r\n1,b,2\r\n") << false;
  QTest::newRow("decimal 65535") << QByteArray("65535\r\n1,a,1\r\n") << false;
  QTest::newRow("decimal -32768") << QByteArray("-32768\r\n1,a,1\r\n") << false;
  QTest::newRow("extreme values") << (Header + "4,a,2147483647\r\n4,b,-2147483648\r\n32767,c,1\r\n-32768,d,1\r\n") << true;
  QTest::newRow("CRC line not checked outside parameter-only mode") << QByteArray("0\r\n1,a,1\r\n") << false;
  QTest::newRow("comma after the value of a size-0 header record")
      << QByteArray("&H100,Calvenori,V1\r\nx\r\n0,CRC,7\r\n1,M,1\r\n") << true;
}

void TestParameterList::checkAccepts() {
  QFETCH(QByteArray, content);
  QFETCH(bool, parameterOnly);
  const Verdict fit = CheckParameterList(WriteTestFile(dir_.path(), "good.txt", content), parameterOnly);
  QVERIFY2(fit, qPrintable(fit.Why));
}

void TestParameterList::checkRefuses_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<bool>("parameterOnly");
  QTest::addColumn<int>("line");  // 0: no line named
  QTest::addColumn<QString>("expected");
  QTest::newRow("empty file") << QByteArray() << false << 0 << "the file is empty";
  QTest::newRow("start address missing") << QByteArray(",a,b\r\n1,x,1\r\n") << false << 1 << "start address is missing";
  QTest::newRow("only line ends") << QByteArray("\r\n\r\n") << false << 1 << "start address is missing";
  QTest::newRow("start address not a number") << QByteArray("Start,a,b\r\n1,x,1\r\n") << false << 1
                                              << "the start address \"Start\" is not a number";
  QTest::newRow("start address &H without digits") << QByteArray("&HXY\r\n1,x,1\r\n") << false << 1 << "is not a number";
  QTest::newRow("start address too large, decimal") << QByteArray("65536\r\n1,x,1\r\n") << false << 1
                                                    << "the start address 65536 does not fit 16 bits";
  QTest::newRow("start address too small") << QByteArray("-32769\r\n1,x,1\r\n") << false << 1 << "does not fit 16 bits";
  QTest::newRow("start address too large, hex") << QByteArray("&H10000\r\n1,x,1\r\n") << false << 1 << "does not fit 16 bits";
  QTest::newRow("start address eight hex digits") << QByteArray("&HFFFFFFFF\r\n1,x,1\r\n") << false << 1 << "does not fit 16 bits";
  QTest::newRow("start address far too large") << QByteArray("99999999999\r\n1,x,1\r\n") << false << 1 << "does not fit 16 bits";
  QTest::newRow("start address with a typo") << QByteArray("&H01O0\r\n1,x,1\r\n") << false << 1
                                             << "has other text after its number (\"O0\")";
  QTest::newRow("ends in the middle of a record: no value")
      << (Header + "2,Speed,258\r\n1,Mode") << false << 5 << "ends in the middle of a record";
  QTest::newRow("ends in the middle of a record: size only")
      << (Header + "2,Speed,258\r\n1\r\n") << false << 5 << "lacks its description and value";
  QTest::newRow("size does not fit 16 bits") << (Header + "2,Speed,258\r\n40000,Big,1\r\n") << false << 5
                                             << "the size 40000 does not fit 16 bits";
  QTest::newRow("size in a header does not fit 16 bits")
      << QByteArray("&H100,Calvenori,V1\r\nx\r\n123456,CRC,7\r\n1,M,1\r\n") << false << 3 << "the size 123456";
  QTest::newRow("value does not fit 32 bits") << (Header + "1,a,1\r\n4,Big,99999999999\r\n") << false << 5
                                              << "the value 99999999999 does not fit 32 bits.";
  QTest::newRow("value 2^31 does not fit") << (Header + "4,Big,2147483648\r\n") << false << 4 << "does not fit 32 bits";
  QTest::newRow("unclosed quote") << (Header + "2,\"Speed, max,258\r\n1,a,1\r\n") << false << 4
                                  << "double quote opens a text that is not closed";
  QTest::newRow("unclosed quote in the start address") << QByteArray("\"&H100\r\n1,a,1\r\n") << false << 1 << "not closed";
  QTest::newRow("value not a number") << (Header + "2,Speed,fast\r\n") << false << 4
                                      << "the value \"fast\" of the 2-byte parameter \"Speed\" is not a number";
  QTest::newRow("value missing") << (Header + "1,Mode,\r\n") << false << 4 << "the 1-byte parameter \"Mode\" has no value";
  QTest::newRow("parameter line with two fields") << (Header + "2,Speed\r\n258,x,1\r\n1,y,2\r\n") << false << 4
                                                  << "runs over into line 5";
  QTest::newRow("parameter line with four fields") << (Header + "1,a,1\r\n2,Speed,258,rpm\r\n1,b,2\r\n") << false << 5
                                                   << "more than three fields on this line";
  QTest::newRow("trailing comma on a parameter line") << (Header + "1,a,1,\r\n1,b,2\r\n") << false << 4
                                                      << "more than three fields on this line";
  QTest::newRow("blank line between parameters") << (Header + "1,a,1\r\n\r\n2,b,258\r\n") << false << 5
                                                 << "this line is blank";
  QTest::newRow("three blank lines between parameters") << (Header + "1,a,1\r\n\r\n\r\n\r\n1,b,2\r\n") << false << 5
                                                        << "this line is blank";
  QTest::newRow("text line of two fields between parameters") << (Header + "1,a,1\r\nSection,x\r\n1,b,2\r\n9,c,3\r\n")
                                                              << false << 5 << "does not hold exactly three fields";
  QTest::newRow("header out of step by one") << QByteArray("&H100,Calvenori\r\nPump\r\n0,CRC,1\r\n1,a,1\r\n2,b,2\r\n")
                                             << false << 5 << "ends in the middle of a record";
  QTest::newRow("header out of step by two") << QByteArray("&H100,Calvenori\r\n0,CRC,1\r\n1,a,7\r\n2,b,9\r\n") << false
                                             << 2 << "the record of size 1 that starts here runs over into line 3";
  QTest::newRow("only text sizes: nothing would be written")
      << QByteArray("&H100\r\nx,a,1\r\ny,b,2\r\n") << false << 0 << "holds no parameter";
  QTest::newRow("no parameter at all") << Header << false << 0 << "holds no parameter";
  QTest::newRow("only a start address") << QByteArray("&H100\r\n") << false << 0 << "holds no parameter";
  QTest::newRow("parameter-only: no third line") << QByteArray("&H100,1,a,1\r\n") << true << 0
                                                 << "the file has only 1 line; its third line must hold the CRC";
  QTest::newRow("parameter-only: no comma on line 3")
      << QByteArray("&H100,a,b\r\nc\r\n0\r\nx\r\nyz\r\n1,a,1\r\n") << true << 3 << "there is no comma";
  QTest::newRow("parameter-only: CRC not a number") << QByteArray("&H100,a,b\r\nc\r\n0,CRC,none\r\n1,a,1\r\n") << true
                                                    << 3 << "the CRC \"none\"";
  QTest::newRow("parameter-only: CRC too large")
      << QByteArray("&H100,a,b\r\nc\r\n0,CRC,4294967295\r\n1,a,1\r\n") << true << 3 << "does not fit 32 bits";
}

void TestParameterList::checkRefuses() {
  QFETCH(QByteArray, content);
  QFETCH(bool, parameterOnly);
  QFETCH(int, line);
  QFETCH(QString, expected);
  const QString path = WriteTestFile(dir_.path(), "bad list.txt", content);
  const Verdict fit = CheckParameterList(path, parameterOnly);
  QVERIFY(!fit);
  const QString message = fit.Why;
  // The path as the platform shows it: backslashes on Windows.
  const QString shown = QDir::toNativeSeparators(path);
  const QString prefix = line > 0 ? QStringLiteral("Parameter list %1, line %2: ").arg(shown).arg(line)
                                  : QStringLiteral("Parameter list %1: ").arg(shown);
  QVERIFY2(message.startsWith(prefix), qPrintable(message));
  QVERIFY2(message.contains(expected), qPrintable(message));
}

void TestParameterList::checkOpenFailures() {
  const QString missing = dir_.filePath("missing.txt");
  Verdict fit = CheckParameterList(missing, false);
  QVERIFY(!fit);
  QString message = fit.Why;
  QVERIFY2(message.startsWith("Parameter list " + QDir::toNativeSeparators(missing)), qPrintable(message));
  QVERIFY2(message.contains("cannot be opened"), qPrintable(message));
  fit = CheckParameterList(dir_.path(), true);
  QVERIFY(!fit);
  message = fit.Why;
  QVERIFY2(message.contains("cannot be opened"), qPrintable(message));
  // Example of the message a technician sees.
  const QString path = WriteTestFile(dir_.path(), "list.txt", Header + "1,a,1\r\n2,b,2\r\n1,c,3\r\n4,Big,99999999999\r\n");
  fit = CheckParameterList(path, false);
  QVERIFY(!fit);
  QCOMPARE(fit.Why, QStringLiteral("Parameter list %1, line 7: the value 99999999999 does not fit 32 bits.")
                       .arg(QDir::toNativeSeparators(path)));
}

QTEST_GUILESS_MAIN(TestParameterList)
#include "test_parameter_list.moc"
