// The file reader of both input files: the field and line rules,
// the end-of-file test, the counting pass and the number conversions. The
// rules are fed from memory; the files themselves in openFailure and
// countLinesLargeFile.

#include <QBuffer>
#include <QTemporaryDir>
#include <QDir>
#include <QtTest>

#include "TestFiles.h"

#include "FieldReader.h"

class TestFieldReader : public QObject {
  Q_OBJECT

 private slots:
  void fieldRules_data();
  void fieldRules();
  void lineNumbersAndFlags();
  void endOfFile();
  void readLine();
  void lineEndAcrossBufferBoundary();
  void openFailure();
  void countLines_data();
  void countLines();
  void countLinesLargeFile();
  void fieldToInt_data();
  void fieldToInt();
  void startAddress_data();
  void startAddress();
  void toAddress();

 private:
  // The reader over `bytes` in memory, from their start.
  FieldReader &Over(const QByteArray &bytes) {
    buffer_.close();
    buffer_.setData(bytes);
    buffer_.open(QIODevice::ReadOnly);
    reader_.Open(buffer_);
    return reader_;
  }

  QTemporaryDir dir_;
  QBuffer buffer_;
  FieldReader reader_;
};

void TestFieldReader::fieldRules_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<QList<QByteArray>>("fields");
  using L = QList<QByteArray>;
  QTest::newRow("CR LF lines") << QByteArray("a,b,c\r\nd,e,f\r\n") << L{"a", "b", "c", "d", "e", "f"};
  QTest::newRow("LF lines") << QByteArray("a,b\nc\n") << L{"a", "b", "c"};
  QTest::newRow("CR alone ends a line") << QByteArray("a\rb") << L{"a", "b"};
  QTest::newRow("last line without line end") << QByteArray("a,b\r\nc,d") << L{"a", "b", "c", "d"};
  QTest::newRow("blanks before a field skipped, after it kept")
      << QByteArray("  a , \tb\r\n   c") << L{"a ", "b", "c"};
  QTest::newRow("quoted field keeps commas, loses quotes") << QByteArray("\"x, y\",z\r\n") << L{"x, y", "z"};
  QTest::newRow("text after the closing quote dropped")
      << QByteArray("\"x\" junk,z\r\n\"q\"r\r\n") << L{"x", "z", "q"};
  QTest::newRow("blanks before a quoted field") << QByteArray("1,  \"Pump, main\",5") << L{"1", "Pump, main", "5"};
  QTest::newRow("empty quoted field") << QByteArray("\"\",a") << L{"", "a"};
  QTest::newRow("empty fields between commas") << QByteArray("a,,b") << L{"a", "", "b"};
  QTest::newRow("comma before line end gives an empty field") << QByteArray("a,\r\nb") << L{"a", "", "b"};
  QTest::newRow("comma at the end of the file gives an empty field") << QByteArray("a,") << L{"a", ""};
  QTest::newRow("blank line reads as one empty field") << QByteArray("a\r\n\r\nb\r\n") << L{"a", "", "b"};
  QTest::newRow("line of blanks reads as one empty field") << QByteArray("a\r\n   \r\nb") << L{"a", "", "b"};
  QTest::newRow("trailing blank line is one more field") << QByteArray("a\r\n\r\n") << L{"a", ""};
  QTest::newRow("S-record line is one field")
      << QByteArray("S1130000285F245F2212226A000424290008237C2A\r\nS9030000FC\r\n")
      << L{"S1130000285F245F2212226A000424290008237C2A", "S9030000FC"};
  QTest::newRow("bytes above 127 kept") << QByteArray("\xe9t\xe9,\xff") << L{"\xe9t\xe9", "\xff"};
  QTest::newRow("byte-order mark at the start skipped") << QByteArray("\xEF\xBB\xBF&H0400,a") << L{"&H0400", "a"};
  QTest::newRow("byte-order mark elsewhere kept") << QByteArray("a,\xEF\xBB\xBF" "b") << L{"a", "\xEF\xBB\xBF" "b"};
}

void TestFieldReader::fieldRules() {
  QFETCH(QByteArray, content);
  QFETCH(QList<QByteArray>, fields);
  FieldReader &reader = Over(content);
  QList<QByteArray> read;
  // The transfer loops' shape: read, then stop at the end of the file.
  while (!reader.AtEnd() && read.size() < 100) {
    read.append(reader.ReadField());
    QVERIFY(!reader.PastEnd());
  }
  if (read.size() < fields.size()) {  // "a," leaves the empty field after the comma at the very end
    read.append(reader.ReadField());
    QVERIFY(!reader.PastEnd());
  }
  QCOMPARE(read, fields);
  QVERIFY(reader.AtEnd());
  reader.ReadField();
  QVERIFY(reader.PastEnd());
}

void TestFieldReader::lineNumbersAndFlags() {
  FieldReader &reader = Over("a,b\r\n\r\nc,\"d,e\r\nf\"g\"h,i");
  QCOMPARE(reader.Line(), qint64(0));
  QCOMPARE(reader.ReadField(), QByteArray("a"));
  QCOMPARE(reader.Line(), qint64(1));
  QVERIFY(!reader.FieldEndedLine());
  QCOMPARE(reader.ReadField(), QByteArray("b"));
  QCOMPARE(reader.Line(), qint64(1));
  QVERIFY(reader.FieldEndedLine());
  QCOMPARE(reader.ReadField(), QByteArray(""));  // the blank line 2
  QCOMPARE(reader.Line(), qint64(2));
  QVERIFY(reader.FieldEndedLine());
  QCOMPARE(reader.ReadField(), QByteArray("c"));
  QCOMPARE(reader.Line(), qint64(3));
  QCOMPARE(reader.ReadField(), QByteArray("d,e"));  // quote left open: ends with its line
  QVERIFY(reader.UnclosedQuote());
  QVERIFY(reader.FieldEndedLine());
  QCOMPARE(reader.Line(), qint64(3));
  QCOMPARE(reader.ReadField(), QByteArray("f\"g\"h"));  // a quote inside a field is an ordinary byte
  QVERIFY(!reader.UnclosedQuote());
  QCOMPARE(reader.Line(), qint64(4));
  QCOMPARE(reader.ReadField(), QByteArray("i"));
  QCOMPARE(reader.Line(), qint64(4));
  QVERIFY(reader.AtEnd());
}

void TestFieldReader::endOfFile() {
  // Empty file: at the end at once; a read gives nothing and says so.
  FieldReader &reader = Over({});
  QVERIFY(reader.AtEnd());
  QCOMPARE(reader.ReadField(), QByteArray());
  QVERIFY(reader.PastEnd());
  QCOMPARE(reader.ReadLine(), QByteArray());
  QVERIFY(reader.PastEnd());

  // After the last field of a file that ends with CR LF the reader is at the
  // end, so "if end of file, stop" stops there.
  Over("S0\r\nS9\r\n");
  QVERIFY(!reader.AtEnd());
  QCOMPARE(reader.ReadField(), QByteArray("S0"));
  QVERIFY(!reader.AtEnd());
  QCOMPARE(reader.ReadField(), QByteArray("S9"));
  QVERIFY(reader.AtEnd());

  // The same with LF, and without any line end.
  Over("1,x,5\n");
  reader.ReadField();
  reader.ReadField();
  QCOMPARE(reader.ReadField(), QByteArray("5"));
  QVERIFY(reader.AtEnd());
  Over("1,x,5");
  reader.ReadField();
  reader.ReadField();
  QCOMPARE(reader.ReadField(), QByteArray("5"));
  QVERIFY(reader.AtEnd());

  // A trailing blank line is one more (empty) line: not yet at the end.
  Over("S9\r\n\r\n");
  QCOMPARE(reader.ReadField(), QByteArray("S9"));
  QVERIFY(!reader.AtEnd());
  QCOMPARE(reader.ReadField(), QByteArray());
  QVERIFY(!reader.PastEnd());
  QVERIFY(reader.AtEnd());

  // Nothing open: at the end.
  FieldReader closed;
  QVERIFY(closed.AtEnd());
}

void TestFieldReader::readLine() {
  const QByteArray content("  7,\"8\",9\r\nsecond\nthird\rfourth\r\n\r\nlast");
  FieldReader &reader = Over(content);
  QCOMPARE(reader.ReadLine(), QByteArray("  7,\"8\",9"));  // whole line, bytes as they are
  QCOMPARE(reader.Line(), qint64(1));
  QCOMPARE(reader.ReadLine(), QByteArray("second"));
  QCOMPARE(reader.ReadLine(), QByteArray("third"));
  QCOMPARE(reader.ReadLine(), QByteArray("fourth"));
  QCOMPARE(reader.ReadLine(), QByteArray(""));
  QVERIFY(!reader.PastEnd());
  QCOMPARE(reader.Line(), qint64(5));
  QVERIFY(!reader.AtEnd());
  QCOMPARE(reader.ReadLine(), QByteArray("last"));
  QCOMPARE(reader.Line(), qint64(6));
  QVERIFY(reader.AtEnd());

  // Fields after ReadLine continue on the next line.
  Over(content);
  reader.ReadLine();
  QCOMPARE(reader.ReadField(), QByteArray("second"));
  QCOMPARE(reader.Line(), qint64(2));
}

void TestFieldReader::lineEndAcrossBufferBoundary() {
  // A CR LF split between two buffer fills is still one line end, and a long
  // line spanning several fills comes back whole.
  for (int firstLength : {65535, 65534, 65536, 65537, 200000}) {
    QByteArray content(firstLength, 'A');
    content += "\r\nB,C\r\n";
    FieldReader &reader = Over(content);
    QCOMPARE(reader.ReadLine().size(), firstLength);
    QCOMPARE(reader.ReadField(), QByteArray("B"));
    QCOMPARE(reader.ReadField(), QByteArray("C"));
    QCOMPARE(reader.Line(), qint64(2));
    QVERIFY(reader.AtEnd());
    buffer_.seek(0);
    QCOMPARE(CountLines(buffer_), qint64(2));
  }
}

void TestFieldReader::openFailure() {
  FieldReader reader;
  QString error;
  const QString missing = dir_.filePath("no-such-file.txt");
  QVERIFY(!reader.Open(missing, &error));
  QVERIFY2(error.contains(QDir::toNativeSeparators(missing)), qPrintable(error));
  QVERIFY(reader.AtEnd());
  QVERIFY(!reader.Open(dir_.path(), &error));  // a directory is not a file
  QVERIFY(!reader.Open(missing, nullptr));     // no error text wanted
  QCOMPARE(CountLines(missing, &error), qint64(-1));
  QVERIFY(error.contains(QDir::toNativeSeparators(missing)));
  QBuffer closed;
  QVERIFY(!reader.Open(closed));
  QCOMPARE(CountLines(closed), qint64(-1));
}

void TestFieldReader::countLines_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<qint64>("lines");
  QTest::newRow("empty file: at least one read") << QByteArray() << qint64(1);
  QTest::newRow("one line without line end") << QByteArray("a") << qint64(1);
  QTest::newRow("one line with CR LF") << QByteArray("a\r\n") << qint64(1);
  QTest::newRow("one line and a blank one") << QByteArray("a\r\n\r\n") << qint64(2);
  QTest::newRow("last line without line end") << QByteArray("a\r\nb") << qint64(2);
  QTest::newRow("LF") << QByteArray("a\nb\nc\n") << qint64(3);
  QTest::newRow("commas do not matter") << QByteArray("1,2,3\r\n4,5,6\r\n") << qint64(2);
  QTest::newRow("lone line end") << QByteArray("\r\n") << qint64(1);
}

void TestFieldReader::countLines() {
  QFETCH(QByteArray, content);
  QFETCH(qint64, lines);
  QBuffer buffer(&content);
  QVERIFY(buffer.open(QIODevice::ReadOnly));
  QCOMPARE(CountLines(buffer), lines);
}

void TestFieldReader::countLinesLargeFile() {
  // No 32767-line limit: counted in 64 bits.
  QByteArray content;
  const int n = 100000;
  content.reserve(n * 12);
  for (int i = 0; i < n; ++i) content += "S9030000FC\r\n";
  const QString path = WriteTestFile(dir_.path(), "large.s19", content);
  QCOMPARE(CountLines(path, nullptr), qint64(n));
  FieldReader reader;
  QVERIFY(reader.Open(path, nullptr));
  qint64 fields = 0;
  while (!reader.AtEnd()) {
    reader.ReadField();
    ++fields;
  }
  QCOMPARE(fields, qint64(n));
  QCOMPARE(reader.Line(), qint64(n));
}

void TestFieldReader::fieldToInt_data() {
  QTest::addColumn<QByteArray>("field");
  QTest::addColumn<qint32>("value");
  QTest::addColumn<bool>("fits");
  QTest::addColumn<bool>("isNumber");
  QTest::newRow("plain") << QByteArray("258") << 258 << true << true;
  QTest::newRow("negative") << QByteArray("-2") << -2 << true << true;
  QTest::newRow("plus sign") << QByteArray("+7") << 7 << true << true;
  QTest::newRow("blanks before") << QByteArray("  \t42") << 42 << true << true;
  QTest::newRow("stops at first bad character") << QByteArray("12abc") << 12 << true << true;
  QTest::newRow("stops at a decimal point") << QByteArray("1.9") << 1 << true << true;
  QTest::newRow("stops at a blank") << QByteArray("3 4") << 3 << true << true;
  QTest::newRow("text reads as 0") << QByteArray("Pump") << 0 << true << false;
  QTest::newRow("empty reads as 0") << QByteArray("") << 0 << true << false;
  QTest::newRow("sign alone reads as 0") << QByteArray("-") << 0 << true << false;
  QTest::newRow("hex is not a field number") << QByteArray("&H10") << 0 << true << false;
  QTest::newRow("largest") << QByteArray("2147483647") << 2147483647 << true << true;
  QTest::newRow("smallest") << QByteArray("-2147483648") << qint32(-2147483647 - 1) << true << true;
  QTest::newRow("leading zeros") << QByteArray("000000000000000012") << 12 << true << true;
  QTest::newRow("one too large") << QByteArray("2147483648") << 0 << false << true;
  QTest::newRow("one too small") << QByteArray("-2147483649") << 0 << false << true;
  QTest::newRow("far too large") << QByteArray("99999999999999999999999") << 0 << false << true;
}

void TestFieldReader::fieldToInt() {
  QFETCH(QByteArray, field);
  QFETCH(qint32, value);
  QFETCH(bool, fits);
  QFETCH(bool, isNumber);
  bool reportedFits = !fits;
  QCOMPARE(FieldToInt(field, &reportedFits), value);
  QCOMPARE(reportedFits, fits);
  QCOMPARE(FieldToInt(field), value);
  QCOMPARE(FieldIsNumber(field), isNumber);
}

void TestFieldReader::startAddress_data() {
  QTest::addColumn<QByteArray>("text");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<qint32>("value");
  QTest::addColumn<QByteArray>("rest");
  QTest::newRow("decimal") << QByteArray("256") << true << 256 << QByteArray();
  QTest::newRow("hex") << QByteArray("&H100") << true << 256 << QByteArray();
  QTest::newRow("hex lower case prefix and digits") << QByteArray("&hff") << true << 255 << QByteArray();
  QTest::newRow("hex FFFF") << QByteArray("&HFFFF") << true << 65535 << QByteArray();
  QTest::newRow("minus one") << QByteArray("-1") << true << -1 << QByteArray();
  QTest::newRow("blanks before") << QByteArray("  &H0100") << true << 256 << QByteArray();
  QTest::newRow("hex stops at first bad character") << QByteArray("&H1G2") << true << 1 << QByteArray("G2");
  QTest::newRow("decimal stops at first bad character") << QByteArray("256abc") << true << 256 << QByteArray("abc");
  QTest::newRow("decimal stops at hex digit") << QByteArray("12AB") << true << 12 << QByteArray("AB");
  QTest::newRow("eight hex digits, negative") << QByteArray("&HFFFFFFFF") << true << -1 << QByteArray();
  QTest::newRow("nine hex digits") << QByteArray("&H100000000") << false << 0 << QByteArray();
  QTest::newRow("decimal too large") << QByteArray("99999999999") << false << 0 << QByteArray();
  QTest::newRow("prefix without digits") << QByteArray("&H") << false << 0 << QByteArray("&H");
  QTest::newRow("text") << QByteArray("Start") << false << 0 << QByteArray("Start");
  QTest::newRow("empty") << QByteArray() << false << 0 << QByteArray();
  QTest::newRow("octal prefix not read") << QByteArray("&O17") << false << 0 << QByteArray("&O17");
}

void TestFieldReader::startAddress() {
  QFETCH(QByteArray, text);
  QFETCH(bool, ok);
  QFETCH(qint32, value);
  QFETCH(QByteArray, rest);
  bool reportedOk = !ok;
  QByteArray reportedRest;
  QCOMPARE(ReadStartAddressValue(text, &reportedOk, &reportedRest), value);
  QCOMPARE(reportedOk, ok);
  QCOMPARE(reportedRest, rest);
  QCOMPARE(ReadStartAddressValue(text, nullptr), value);
}

void TestFieldReader::toAddress() {
  bool ok = false;
  QCOMPARE(ToAddress(ReadStartAddressValue("&HFFFF", &ok)), quint16(0xFFFF));
  QCOMPARE(ToAddress(ReadStartAddressValue("-1", &ok)), quint16(0xFFFF));
  QCOMPARE(ToAddress(ReadStartAddressValue("&H100", &ok)), quint16(0x0100));
  QCOMPARE(ToAddress(256), quint16(0x0100));
  QCOMPARE(ToAddress(-32768), quint16(0x8000));
  QCOMPARE(ToAddress(32767), quint16(0x7FFF));
  QCOMPARE(ToAddress(0), quint16(0));
}

QTEST_GUILESS_MAIN(TestFieldReader)
#include "test_field_reader.moc"
