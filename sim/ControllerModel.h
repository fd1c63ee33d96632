#pragma once
// The simulated pump controller as a pure, time-free state machine.
//
// Bytes from the tool go in through Feed(); what the controller answers comes
// out as a list of Outputs. An Output may ask for a pause before its bytes
// (a late acknowledgement, a gap inside a reply); the pty layer
// (SimulatedController) turns those pauses and the 9600 baud pacing into time.
//
// The controller holds everything a real one would keep across power cycles:
// the flash image, the parameter memory (EEPROM), the identification windows
// and the lock. The mode it runs in is chosen at power-on:
//   bridge (pins 5 and 9)                  -> boot monitor (dialect E or Er)
//   no bridge, program and parameter set   -> application (window protocol)
//   no bridge, otherwise                   -> parameter monitor
// A program is in place while the flash image is not empty; a parameter set
// while at least one "E" write (or the factory set) has happened since the
// last EEPROM erase. Writing 1 to window 500 switches the application to the
// parameter monitor after its ACK.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <map>
#include <optional>
#include <vector>

namespace sim {

enum class Mode { Off, Application, BootMonitor, ParameterMonitor };

// Boot monitor dialects, named by the prompt tag at characters 8 to 10 of the
// prompt: "(E)" takes E / C / P and answers erases with "Erased"; " Er" takes
// a / d / b. What each says and takes is its row of DialectRows().
enum class Dialect { E, Er };

struct DialectRow {
  Dialect Which;
  const char *Name;    // as calvenori-sim's --dialect takes it: "E", "Er"
  const char *Prompt;  // its answer to a lone CR, the tag at characters 8 to 10
  char FlashErase, EepromErase, Programming;
  const char *FlashErased, *EepromErased, *ProgrammingAnswer;  // its answers to them
};
const QList<DialectRow> &DialectRows();
const DialectRow &RowOf(Dialect dialect);

// Bytes to send, after DelayMs of deliberate silence (counted from the end of
// the previous output). An Interruptible output is abandoned as soon as the
// tool sends anything (the endless stream "until the next request").
struct Output {
  int DelayMs = 0;
  QByteArray Bytes;
  bool Interruptible = false;
};

// The forms in which a parameter monitor may answer "R" AAAA CR with the byte
// 2C: the digits, possibly lower case, framed by line ends or blanks, or after
// an echo of the command.
enum class ReadBackForm {
  Plain,         // "2C" CR
  LowerCase,     // "2c" CR
  CrLf,          // "2C" CR LF
  LineEndFirst,  // CR LF "2C" CR LF
  Blanks,        // " 2C " CR LF
  Echo,          // "R0105" CR LF "2C" CR LF
  EchoSameLine,  // "R0105 2C" CR LF
};

// Names for the forms, as calvenori-sim's --read-back and the demo take them:
// plain, lower, crlf, line-end-first, blanks, echo, echo-same-line.
bool ParseReadBackForm(const QByteArray &name, ReadBackForm &out);
QByteArray ReadBackFormName(ReadBackForm form);
QList<ReadBackForm> ReadBackForms();

// The forms in which a boot monitor may acknowledge a right S-record: "*"
// alone, or followed by a line end. Names for calvenori-sim's --record-ack and
// the demo: star, star-crlf.
bool ParseRecordAck(const QByteArray &name, QByteArray &out);
QByteArray RecordAckName(const QByteArray &ack);  // empty for a form without a name
QList<QByteArray> RecordAckNames();

// What the line knows of a byte the controller receives: whether noise struck
// it (one of its bits flipped, or the byte before it lost), and whether the
// tool sent it as part of an S-record. A clean line's bytes carry neither.
struct ByteNote {
  bool Struck = false;
  bool SentInRecord = false;
};

// Fault injection. Everything is off by default.
struct Faults {
  // --- Window protocol (application) ---
  bool Silent = false;           // no window request is answered (nor acted on)
  int RejectWrites = 0;          // the next n write requests get RejectCode instead of ACK
                                 // (counts down as they are used)
  char RejectCode = 0x15;        // NAK, an error digit '2'..'5', or any byte
  bool RejectAllWrites = false;  // every write request gets RejectCode
  int ErrorWindow = 0;           // every request for this window gets ErrorWindowCode
  char ErrorWindowCode = '5';    // e.g. '4' out of range, '5' window disabled
  int FailReadOfWindow = 0;      // reads of this window get no answer at all
  QByteArray StrayBytes;         // sent before each reply frame
  int GapMs = 0;                 // pause of GapMs inside each reply frame ...
  int GapAfterBytes = -1;        // ... after this many frame bytes; -1: right after the ETX
  bool BadChecksum = false;      // reply checksums are wrong
  bool TruncateAfterEtxPlusOne = false;  // replies stop after ETX and one checksum char
  bool EndlessStream = false;    // a request is answered with STX and EndlessBytes
  int EndlessBytes = 8192;       //   bytes without ETX, cut short by the next request
  QByteArray ReplyOverride;      // when set, every window request is answered with exactly these bytes
  bool UnpaddedReads = false;    // data replies carry the stored value unpadded (empty -> nine-byte reply)

  // --- Boot monitor ---
  bool EraseNotErased = false;   // erases answered with >= 10 bytes lacking "Erased"
  bool EraseShortReply = false;  // erases answered with fewer than nine bytes
  int LateAckRecord = -1;        // 0-based S-record index (since programming mode / power-on) ...
  int LateAckMs = 550;           // ... whose "*" comes this late
  int RefuseRecord = -1;         // 0-based S-record index answered "?" and not written
  int RefuseRecordTimes = 1;     // ... and the records after it, this many in all (the record sent again)
  int GarbleAckRecord = -1;      // 0-based S-record index written, but its "*" arrives garbled
  bool RefuseAllRecords = false;
  QByteArray RecordAck = "*";    // what a right record is answered with ...
  int RecordAckSplit = -1;       // ... its bytes from this one on (> 0) coming ...
  int RecordAckSplitMs = 0;      // ... this much later
  int ModeAnswerTailMs = 0;      // > 0: the CR LF after "Q" comes this much later (a busy line or tool)
  int EraseWorkMs = 0;           // > 0: an erase is echoed with CR LF at once, and its
                                 //   answer ("Erased" at 4..9) comes after this working time
  bool LettersInProgramming = false;  // its letters stay commands in programming mode (an erase
                                      //   among a record's hex digits); else they are answered "?"

  // --- Parameter monitor ---
  bool ParamWriteCrLf = false;   // "E" writes answered CR LF (the byte is still stored)
  int SpoiledWriteReplies = 0;   // the first this many "E" replies spoiled, each its own way (stored all the same)
  int WrongReadAddress = -1;     // "R" of this address reads back a wrong byte
  ReadBackForm ReadBack = ReadBackForm::Plain;
  QByteArray ReadBackOverride;   // when set, every "R" is answered with exactly these bytes
  bool CrcReplyCrLf = false;     // "C" answered CR LF

  // --- Both monitors ---
  bool SilentMonitor = false;    // boot and parameter monitor answer nothing

  // --- Line ---
  qint64 HangUpAfterBytesReceived = 0;  // > 0: the line hangs up once this many bytes have
                                        // come in from the tool since SetFaults (they are
                                        // still fed; counted before any noise)
};

// Window protocol helpers, also used by the tests.
constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr char Address = char(0x80);

// Two upper-case hex digits: XOR of every byte after the leading STX through ETX.
QByteArray FrameChecksum(const QByteArray &frameWithoutChecksum);
// STX 0x80 code ETX cs cs
QByteArray StatusReply(char code);
// STX 0x80 www '0' data ETX cs cs
QByteArray DataReply(int window, const QByteArray &data);

// The identification windows a fresh controller holds (310, 311, 319..325).
std::map<int, QByteArray> FactoryWindows();

class ControllerModel {
 public:
  explicit ControllerModel(Dialect dialect = Dialect::E);

  // The tool's bytes in, the controller's answers out.
  std::vector<Output> Feed(const QByteArray &bytes);
  std::vector<Output> Feed(char byte) { return Feed(byte, ByteNote()); }
  std::vector<Output> Feed(char byte, ByteNote note);

  // The technician's hands.
  void PowerOff();
  void PowerOn();  // mode chosen from the bridge, the program and the parameter set
  void SetBridge(bool bridged) { bridged_ = bridged; }
  bool Bridged() const { return bridged_; }
  bool Powered() const { return mode_ != Mode::Off; }
  Mode CurrentMode() const { return mode_; }
  void SetMode(Mode mode);  // jump straight into a mode (tests, calvenori-sim --mode)
  Dialect CurrentDialect() const { return dialect_; }
  void SetDialect(Dialect dialect) { dialect_ = dialect; }

  // Set-up: with a factory program and parameter set, or blank.
  void SetProgrammed(bool programmed);
  bool ProgramPresent() const { return !flash_.empty(); }
  bool ParameterSetPresent() const { return parameterSetPresent_; }

  // Prompt of the current monitor (boot or parameter), default 12 bytes.
  void SetPromptLength(int bytes) { promptLength_ = bytes; }
  int PromptLength() const { return promptLength_; }
  QByteArray BootPrompt() const;
  QByteArray ParameterPrompt() const;

  // Memory.
  const std::map<quint32, quint8> &Flash() const { return flash_; }
  const std::map<quint16, quint8> &ParameterMemory() const { return parameterMemory_; }
  void SetParameterByte(quint16 address, quint8 value) { parameterMemory_[address] = value; }
  QByteArray Window(int window) const;  // stored value (trailing spaces trimmed); empty if unknown
  bool HasWindow(int window) const;
  void SetWindow(int window, const QByteArray &value);
  bool Locked() const { return locked_; }
  std::optional<quint32> LastCrc() const { return lastCrc_; }

  void SetFaults(const Faults &faults) {
    faults_ = faults;
    bytesReceivedAtFaults_ = bytesReceived_;
    spoiledWriteReplies_ = 0;
  }
  const Faults &CurrentFaults() const { return faults_; }

  // Recording.
  const QByteArray &Received() const { return received_; }
  void ClearReceived() { received_.clear(); }
  // Complete monitor commands as they came on the wire: "E", "P", "a", the
  // S-record line, "\r" (lone CR), "U\r", "CFFFF\r", "E010001\r", "R0100\r" ...
  const QList<QByteArray> &MonitorCommands() const { return monitorCommands_; }
  // Complete window request frames (checksum included), valid or not.
  const QList<QByteArray> &WindowRequests() const { return windowRequests_; }
  void ClearRecords();
  qint64 BytesReceived() const { return bytesReceived_; }
  qint64 BytesReceivedSinceFaults() const { return bytesReceived_ - bytesReceivedAtFaults_; }
  qint64 BytesProduced() const { return bytesProduced_; }
  int RecordsReceived() const { return recordIndex_; }  // since programming mode / power-on

  // What noise made the controller do that no answer of its can show (since
  // ClearRecords), counted apart from anything the tool did:
  // S-records acknowledged although noise struck one of their bytes. The
  // checksum leaves out the type digit, so an S1 turned into S0, S5 or S9 is
  // acknowledged and not written, into S3 written at another address.
  int BlindSpotHits() const { return blindSpotHits_; }
  // Boot monitor commands (an erase, programming mode) taken from characters
  // the tool sent inside an S-record: its 'S' lost or garbled, the record's
  // hex digits are read as commands ("C", "E").
  int StrayCommands() const { return strayCommands_; }
  // Characters of an S-record whose 'S' was lost, refused in programming mode.
  int StrayRefused() const { return strayRefused_; }
  // A programming-mode command was taken since power-on.
  bool InProgrammingMode() const { return programming_; }
  // Parameter monitor "C" CRCs and "E" writes acted on although noise struck
  // the CRC's digits or the write's address: a CRC kept, or a byte written
  // elsewhere, answered as the right one would be.
  int ParameterBlindSpotHits() const { return parameterBlindSpotHits_; }

 private:
  struct WindowSlot {
    char Type = 'A';  // 'N', 'A' or 'L'
    QByteArray Value;
  };

  void RefuseInProgramming(char byte, std::vector<Output> &out);
  void ResetParsers();
  void EraseFlash();
  void EraseEeprom();
  void Emit(std::vector<Output> &out, const QByteArray &bytes, int delayMs = 0);

  // Window protocol (WindowApp.cpp).
  void FeedApplication(char byte, std::vector<Output> &out);
  void HandleFrame(const QByteArray &frame, std::vector<Output> &out);
  void SendFrame(const QByteArray &frame, std::vector<Output> &out);
  QByteArray FormatWindowData(int window, const WindowSlot &slot) const;
  static bool DataFits(char type, const QByteArray &data);

  // Boot monitor (BootMonitor.cpp).
  void FeedBootMonitor(char byte, std::vector<Output> &out);
  void HandleBootLetter(char byte, std::vector<Output> &out);
  void HandleRecord(const QByteArray &line, bool struck, std::vector<Output> &out);

  // Parameter monitor (ParameterMonitor.cpp).
  void FeedParameterMonitor(char byte, std::vector<Output> &out);
  void HandleParameterCommand(const QByteArray &line, const std::vector<bool> &struck, std::vector<Output> &out);

  // The command line being collected, with whether noise struck each byte.
  void StartLine(char byte);
  void AppendToLine(char byte);
  void ClearLine();

  // Monitors ignore window protocol frames: STX .. ETX c c is swallowed.
  bool SwallowFrame(char byte);

  Mode mode_ = Mode::Application;
  Dialect dialect_;
  bool bridged_ = false;
  int promptLength_ = 12;

  std::map<quint32, quint8> flash_;
  std::map<quint16, quint8> parameterMemory_;
  bool parameterSetPresent_ = true;
  std::map<int, WindowSlot> windows_;
  bool locked_ = false;
  std::optional<quint32> lastCrc_;
  Faults faults_;

  // Parsers.
  enum class FrameState { Hunting, Collecting, Trailer } frameState_ = FrameState::Hunting;
  QByteArray frame_;
  int trailerLeft_ = 0;
  enum class SwallowState { None, Body, Trailer } swallow_ = SwallowState::None;
  int swallowLeft_ = 0;
  enum class BootState { Idle, Record, Discard } bootState_ = BootState::Idle;
  QByteArray line_;
  std::vector<bool> lineStruck_;  // one per byte of line_
  ByteNote note_;                 // of the byte being fed
  int recordIndex_ = 0;
  bool programming_ = false;  // since the programming-mode command, until power-off

  // Records.
  QByteArray received_;
  QList<QByteArray> monitorCommands_;
  QList<QByteArray> windowRequests_;
  qint64 bytesReceived_ = 0;
  qint64 bytesReceivedAtFaults_ = 0;
  qint64 bytesProduced_ = 0;
  int blindSpotHits_ = 0;
  int strayCommands_ = 0;
  int spoiledWriteReplies_ = 0;  // Faults::SpoiledWriteReplies given so far, since the faults were set
  int strayRefused_ = 0;
  int parameterBlindSpotHits_ = 0;
};

}  // namespace sim
