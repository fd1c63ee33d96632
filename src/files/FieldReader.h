#pragma once
// Sequential reader of the two input files (program file and parameter
// list), with the classic line and field input of the original tool,
// and the number conversions of their fields.
//
// A UTF-8 byte-order mark at the very start is skipped.
// Line ends: CR LF, LF alone and CR alone each end a line; the last line may
// lack its line end. Bytes are kept as they are (Latin-1, nothing decoded).
// The file is read through a buffer: one line at most is held, never the file.
// Any readable QIODevice serves as well as a file (a QBuffer in the tests).
//
// Field rules:
// - blanks (space, tab) before a field are skipped;
// - a field ends at a comma or at the end of a line (or of the file);
// - a field that begins with a double quote runs to the next double quote,
//   keeps any commas inside and loses its quotes; whatever follows the closing
//   quote up to the next comma or line end is dropped. A quote left open ends
//   at the end of its line (UnclosedQuote() tells);
// - after a field its delimiter (the comma, or the whole line end) is consumed,
//   so after the last field of a file that ends in CR LF the reader is AtEnd();
// - an empty line reads as one empty field; "a," holds two fields, the second
//   empty, also at the very end of the file.

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QtGlobal>

class FieldReader {
 public:
  FieldReader() = default;
  ~FieldReader() = default;
  FieldReader(const FieldReader &) = delete;
  FieldReader &operator=(const FieldReader &) = delete;

  // Opens the file for reading (closing one opened before). On failure
  // returns false and sets *error (if given) to a text naming path and reason.
  bool Open(const QString &path, QString *error);
  // Reads `device` from its current position; it must be open for reading and
  // outlive the reading. Returns false when it cannot be read.
  bool Open(QIODevice &device);
  void Close();

  // The classic end-of-file test: true once no more bytes remain (also when
  // nothing is open).
  bool AtEnd() const;

  // A whole line without its line end. At the end of the file: empty, and
  // PastEnd() is true.
  QByteArray ReadLine();

  // The next field (rules above). At the end of the file: empty, and
  // PastEnd() is true (unless a comma ended the previous field: then this is
  // the empty field after it).
  QByteArray ReadField();

  // 1-based number of the line on which the last field or line read lies
  // (0 before the first read).
  qint64 Line() const { return lastLine_; }

  // About the last read, for the pre-flight checks:
  bool PastEnd() const { return pastEnd_; }              // nothing was left to read
  bool UnclosedQuote() const { return unclosedQuote_; }  // an opening quote had no closing one on its line
  bool FieldEndedLine() const { return endedLine_; }     // its delimiter was a line end or the end of the file
  // True when the file could not be read to its end (an I/O error); the
  // reader then behaves as if the file ended there.
  bool ReadFailed() const { return readFailed_; }

 private:
  void Start(QIODevice &device);
  void Refill();
  int Peek() const { return pos_ < buf_.size() ? static_cast<unsigned char>(buf_[pos_]) : -1; }
  int Get();
  void ConsumeLineEnd();

  QFile file_;
  QIODevice *device_ = nullptr;  // file_, or the caller's device
  QByteArray buf_;
  qsizetype pos_ = 0;
  qint64 currentLine_ = 1;
  qint64 lastLine_ = 0;
  bool afterComma_ = false;
  bool pastEnd_ = false;
  bool unclosedQuote_ = false;
  bool endedLine_ = false;
  bool readFailed_ = false;
};

// The counting pass: reads whole lines until the end of
// the file, at least one read being made (an empty file counts 1; "a" and
// "a\r\n" count 1; "a\r\n\r\n" counts 2). Returns -1 and sets *error when the
// file cannot be opened. 64-bit: no 32767-line limit.
qint64 CountLines(const QString &path, QString *error);
qint64 CountLines(FieldReader &reader);  // from where it is to the end
qint64 CountLines(QIODevice &device);

// A field read as a whole decimal number: optional blanks, an optional sign,
// digits; reading stops at the first character that cannot belong to the
// number. A field that does not start with a number reads as 0. *fits (if
// given) tells whether the number fits 32 bits signed; when it does not, 0 is
// returned.
qint32 FieldToInt(const QByteArray &field, bool *fits = nullptr);

// True when the field (after blanks) starts with a number: an optional sign
// and at least one digit.
bool FieldIsNumber(const QByteArray &field);

// The start address text read the way a numeric literal is read: decimal, or
// hexadecimal after "&H" (either case), stopping at the first character that
// cannot belong to the number; leading blanks are skipped. *ok is false when
// the text does not start with a number, or when it does not fit 32 bits
// (decimal) or 8 hexadecimal digits; 0 is returned then, as the original's Val
// gave 0 for text. Hexadecimal &H0 to &H7FFFFFFF keep their value (so &HFFFF
// gives 65535); &H80000000 to &HFFFFFFFF give the negative 32-bit number.
qint32 ReadStartAddressValue(const QByteArray &text, bool *ok);

// Like ReadStartAddressValue; *rest receives what follows the number.
qint32 ReadStartAddressValue(const QByteArray &text, bool *ok, QByteArray *rest);

// For the pre-flight checks, whose messages name the file and the line:
// "<kind> <path>, line <line>: ", or "<kind> <path>: " for line 0.
QString CheckPrefix(const QString &kind, const QString &path, qint64 line);


// The 16-bit two's-complement form of an address: 65535 (&HFFFF) and -1 both
// give 0xFFFF; 256 gives 0x0100.
inline quint16 ToAddress(qint32 value) { return static_cast<quint16>(static_cast<quint32>(value) & 0xFFFFu); }
