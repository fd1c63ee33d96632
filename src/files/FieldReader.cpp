#include "FieldReader.h"

#include "TextChars.h"

#include <QDir>

namespace {

constexpr qint64 BufferSize = 64 * 1024;

bool IsLineEnd(int c) { return c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal whole number at text[i]: optional sign, digits. Returns false when
// no digit follows. *end is set after the last digit; *overflow when the
// magnitude leaves 32 bits signed.
bool ParseDecimal(const QByteArray &text, qsizetype i, qint64 *value, qsizetype *end, bool *overflow) {
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || !IsDigit(text[i])) return false;
  qint64 magnitude = 0;
  bool over = false;
  while (i < text.size() && IsDigit(text[i])) {
    if (!over) {
      magnitude = magnitude * 10 + (text[i] - '0');
      if (magnitude > 2147483648LL) over = true;
    }
    ++i;
  }
  if (!negative && magnitude > 2147483647LL) over = true;
  *value = negative ? -magnitude : magnitude;
  *end = i;
  *overflow = over;
  return true;
}

qsizetype SkipBlanks(const QByteArray &text, qsizetype i = 0) {
  while (i < text.size() && IsBlank(static_cast<unsigned char>(text[i]))) ++i;
  return i;
}

}  // namespace

bool FieldReader::Open(const QString &path, QString *error) {
  Close();
  file_.setFileName(path);
  // The reader buffers by itself.
  if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    if (error) *error = QStringLiteral("%1 cannot be opened: %2").arg(QDir::toNativeSeparators(path), file_.errorString());
    return false;
  }
  Start(file_);
  return true;
}

bool FieldReader::Open(QIODevice &device) {
  Close();
  if (!device.isReadable()) return false;
  Start(device);
  return true;
}

void FieldReader::Start(QIODevice &device) {
  device_ = &device;
  Refill();
  // Windows editors put a UTF-8 byte-order mark before the first field.
  if (buf_.startsWith("\xEF\xBB\xBF")) pos_ = 3;
}

void FieldReader::Close() {
  if (file_.isOpen()) file_.close();
  device_ = nullptr;
  buf_.clear();
  pos_ = 0;
  currentLine_ = 1;
  lastLine_ = 0;
  afterComma_ = pastEnd_ = unclosedQuote_ = endedLine_ = readFailed_ = false;
}

void FieldReader::Refill() {
  pos_ = 0;
  buf_.resize(BufferSize);
  const qint64 n = device_ ? device_->read(buf_.data(), BufferSize) : 0;
  if (n < 0) readFailed_ = true;
  buf_.resize(n > 0 ? n : 0);
}

bool FieldReader::AtEnd() const { return pos_ >= buf_.size(); }

int FieldReader::Get() {
  if (pos_ >= buf_.size()) return -1;
  const int c = static_cast<unsigned char>(buf_[pos_++]);
  if (pos_ >= buf_.size()) Refill();
  return c;
}

void FieldReader::ConsumeLineEnd() {
  if (Get() == '\r' && Peek() == '\n') Get();
  ++currentLine_;
}

QByteArray FieldReader::ReadLine() {
  afterComma_ = unclosedQuote_ = false;
  lastLine_ = currentLine_;
  endedLine_ = true;
  pastEnd_ = AtEnd();
  QByteArray line;
  while (!AtEnd()) {
    // Take the run of ordinary bytes at once.
    qsizetype stop = pos_;
    while (stop < buf_.size() && !IsLineEnd(static_cast<unsigned char>(buf_[stop]))) ++stop;
    line.append(buf_.constData() + pos_, stop - pos_);
    pos_ = stop;
    if (pos_ < buf_.size()) {
      ConsumeLineEnd();
      break;
    }
    Refill();
  }
  return line;
}

QByteArray FieldReader::ReadField() {
  unclosedQuote_ = false;
  endedLine_ = false;
  lastLine_ = currentLine_;
  if (AtEnd()) {
    pastEnd_ = !afterComma_;
    afterComma_ = false;
    endedLine_ = true;
    return {};
  }
  pastEnd_ = afterComma_ = false;
  while (IsBlank(Peek())) Get();
  QByteArray field;
  int c = Peek();
  if (c == '"') {
    Get();
    while ((c = Peek()) != -1 && c != '"' && !IsLineEnd(c)) field.append(static_cast<char>(Get()));
    if (c == '"') {
      Get();
      while ((c = Peek()) != -1 && c != ',' && !IsLineEnd(c)) Get();
    } else {
      unclosedQuote_ = true;
    }
  } else {
    while ((c = Peek()) != -1 && c != ',' && !IsLineEnd(c)) field.append(static_cast<char>(Get()));
  }
  c = Peek();
  if (c == ',') {
    Get();
    afterComma_ = true;
  } else {
    if (c != -1) ConsumeLineEnd();
    endedLine_ = true;
  }
  return field;
}

qint64 CountLines(FieldReader &reader) {
  qint64 count = 0;
  do {
    reader.ReadLine();
    ++count;
  } while (!reader.AtEnd());
  return count;
}

qint64 CountLines(const QString &path, QString *error) {
  FieldReader reader;
  return reader.Open(path, error) ? CountLines(reader) : -1;
}

qint64 CountLines(QIODevice &device) {
  FieldReader reader;
  return reader.Open(device) ? CountLines(reader) : -1;
}

qint32 FieldToInt(const QByteArray &field, bool *fits) {
  qint64 value = 0;
  qsizetype end = 0;
  bool overflow = false;
  if (!ParseDecimal(field, SkipBlanks(field), &value, &end, &overflow)) {
    if (fits) *fits = true;
    return 0;
  }
  if (fits) *fits = !overflow;
  return overflow ? 0 : static_cast<qint32>(value);
}

bool FieldIsNumber(const QByteArray &field) {
  qint64 value = 0;
  qsizetype end = 0;
  bool overflow = false;
  return ParseDecimal(field, SkipBlanks(field), &value, &end, &overflow);
}

qint32 ReadStartAddressValue(const QByteArray &text, bool *ok) {
  return ReadStartAddressValue(text, ok, nullptr);
}

qint32 ReadStartAddressValue(const QByteArray &text, bool *ok, QByteArray *rest) {
  qsizetype i = SkipBlanks(text);
  bool good = false;
  qint32 result = 0;
  qsizetype end = i;
  if (i + 1 < text.size() && text[i] == '&' && (text[i + 1] == 'H' || text[i + 1] == 'h')) {
    qsizetype j = i + 2;
    quint64 value = 0;
    bool over = false;
    while (j < text.size() && HexDigit(text[j]) >= 0) {
      value = (value << 4) | static_cast<quint64>(HexDigit(text[j]));
      if (value > 0xFFFFFFFFull) over = true;
      if (over) value &= 0xFFFFFFFFFull;  // keep it bounded; the result is refused anyway
      ++j;
    }
    if (j > i + 2) {
      end = j;
      good = !over;
      if (good) result = static_cast<qint32>(static_cast<quint32>(value));
    }
  } else {
    qint64 value = 0;
    bool overflow = false;
    if (ParseDecimal(text, i, &value, &end, &overflow)) {
      good = !overflow;
      if (good) result = static_cast<qint32>(value);
    }
  }
  if (ok) *ok = good;
  if (rest) *rest = text.mid(end);
  return good ? result : 0;
}

QString CheckPrefix(const QString &kind, const QString &path, qint64 line) {
  const QString shown = QDir::toNativeSeparators(path);
  return line > 0 ? QStringLiteral("%1 %2, line %3: ").arg(kind, shown, QString::number(line))
                  : QStringLiteral("%1 %2: ").arg(kind, shown);
}

