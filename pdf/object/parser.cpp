// The object parser: one value of any type, read straight from the input's buffer. Every
// reader marks its value as read from the file, owns it while reading (so a failure leaves
// nothing behind) and reports malformed input with its class label and "Serialize".
#include "pdf/object/parser.h"

#include <cstring>
#include <string>

#include "pdf/object/crypt_context.h"
#include "pdf/object/exception.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"

namespace quarn {

namespace {

constexpr const char* kRead = "Serialize";
constexpr const char* kDispatch = "SerializeObject";

[[noreturn]] void IoError(const char* label, const char* method = kRead) {
  Throw(label, method, kInvalidFormat, "ioerror");
}

[[noreturn]] void InvalidByte(const char* label, int c) {
  Throw(label, kRead, kInvalidFormat, Format("invalidtoken: %c", c));
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The control character that "\n", "\r", "\t", "\b" or "\f" stands for, or 0.
char ControlEscape(char c) {
  static constexpr char kFrom[] = "nrtbf";
  static constexpr char kTo[] = "\n\r\t\b\f";
  const char* at = c ? std::strchr(kFrom, c) : nullptr;
  return at ? kTo[at - kFrom] : 0;
}

// Octal escapes take one to three digits; a larger value keeps its low eight bits.
bool IsOctal(char c) { return c >= '0' && c <= '7'; }

class ObjectParser {
 public:
  // With `dropped`, a token that cannot stand where it is in an array or a dictionary is passed
  // over as readers do, and counted there; without it, it fails the read.
  ObjectParser(CPDFObjHolder* doc, InStream& in, StreamReader streams = nullptr,
               int* dropped = nullptr)
      : m_doc(doc), m_in(in), m_streams(streams), m_dropped(dropped) {}

  std::unique_ptr<CPDFObject> Any(const CPDFCryptContext* crypt);
  std::unique_ptr<CPDFObjRef> Reference();
  std::unique_ptr<CPDFNull> Null();
  std::unique_ptr<CPDFBool> Bool();
  std::unique_ptr<CPDFNumber> Number();
  std::unique_ptr<CPDFName> Name();
  std::unique_ptr<CPDFString> String(const CPDFCryptContext* crypt);
  std::unique_ptr<CPDFArray> Array(const CPDFCryptContext* crypt);
  std::unique_ptr<CPDFDict> Dict(const CPDFCryptContext* crypt);

 private:
  // Counts the containers open around the current value; a hostile file could otherwise nest
  // them until the stack runs out.
  class NestingScope {
   public:
    NestingScope(int& depth, const char* label) : m_depth(depth) {
      if (m_depth >= limits::kMaxNesting) Throw(label, kRead, kInvalidFormat, "nesting too deep");
      ++m_depth;
    }
    ~NestingScope() { --m_depth; }

   private:
    int& m_depth;
  };

  std::unique_ptr<CPDFObject> DictOrStream(const CPDFCryptContext* crypt);
  // A reference when the next tokens are "n g R", else any value; nullptr when there is none.
  std::unique_ptr<CPDFAtom> Entry(const CPDFCryptContext* crypt);
  // The value that should have been here is missing: name the token that stands there instead.
  [[noreturn]] void FailOnNextToken(const char* label);
  // The same when reading leniently: the token is passed over (true), or, when it is a keyword
  // that ends the object, left to be read and the container taken as closed (false). In a
  // dictionary, its closing ">>" is left to be read (true).
  bool DropNextToken(const char* label, bool inDict);
  // A container's element read by `read`; when reading leniently, a damaged one is passed over
  // (nullptr, counted).
  template <class Read>
  auto Lenient(Read read) -> decltype(read());
  void ReadLiteral(std::string& raw);
  static void DecodeLiteral(const std::string& raw, std::string& bytes);
  void ReadHex(std::string& bytes);
  std::string ReadNameBytes();
  static std::string DecodeName(const std::string& raw);
  bool ReadTwoBytes(char two[2]);

  CPDFObjHolder* m_doc;
  InStream& m_in;
  StreamReader m_streams;
  int* m_dropped;
  int m_depth = 0;
};

std::unique_ptr<CPDFObject> ObjectParser::Any(const CPDFCryptContext* crypt) {
  SkipWhitespaceAndComments(m_in);
  const int c = m_in.Peek();
  if (c == -1) return nullptr;
  switch (c) {
    case '<': {
      m_in.Get();
      const int next = m_in.Peek();
      if (next == -1) IoError("CPDFDict", kDispatch);
      m_in.Unget(1);
      if (next != '<') return String(crypt);
      return DictOrStream(crypt);
    }
    case '[':
      return Array(crypt);
    case '/':
      return Name();
    case '(': {
      m_in.Get();
      if (m_in.Peek() == -1) IoError("CPDFString", kDispatch);
      m_in.Unget(1);
      return String(crypt);
    }
    case 't':
    case 'f':
      return Bool();
    case 'n':
      return Null();
    default:
      if (StartsNumber(c)) return Number();
      return nullptr;  // ")", ">", "]", "{", a keyword...: no value starts here
  }
}

std::unique_ptr<CPDFObject> ObjectParser::DictOrStream(const CPDFCryptContext* crypt) {
  std::unique_ptr<CPDFDict> dict = Dict(crypt);
  SkipWhitespaceAndComments(m_in);
  if (m_in.Peek() != 's' || !m_streams) return dict;
  std::unique_ptr<CPDFObject> stream = m_streams(m_doc, m_in, std::move(dict), crypt);
  if (!stream) Throw("CPDFStream", kRead, kInternalError, "");
  return stream;
}

std::unique_ptr<CPDFObjRef> ObjectParser::Reference() {
  const int64_t start = m_in.Tell();
  char number[limits::kTokenBufferSize];
  char generation[limits::kTokenBufferSize];
  char keyword[limits::kTokenBufferSize];
  if (ReadToken(m_in, number, sizeof number) && IsDigit(number[0]) &&
      ReadToken(m_in, generation, sizeof generation) && IsDigit(generation[0]) &&
      ReadToken(m_in, keyword, sizeof keyword) && std::strcmp(keyword, "R") == 0) {
    return std::make_unique<CPDFObjRef>(TokenToInt(number), TokenToInt(generation));
  }
  m_in.Seek(start);
  return nullptr;
}

std::unique_ptr<CPDFAtom> ObjectParser::Entry(const CPDFCryptContext* crypt) {
  if (std::unique_ptr<CPDFObjRef> ref = Reference()) return ref;
  return Any(crypt);
}

void ObjectParser::FailOnNextToken(const char* label) {
  char token[limits::kTokenBufferSize];
  if (!ReadToken(m_in, token, sizeof token)) IoError(label);
  Throw(label, kRead, kInvalidFormat, Format("invalidtoken: %s", token));
}

bool ObjectParser::DropNextToken(const char* label, bool inDict) {
  if (!m_dropped) FailOnNextToken(label);
  const int64_t start = m_in.Tell();
  char two[2];
  const bool closes = inDict && ReadTwoBytes(two) && two[0] == '>' && two[1] == '>';
  m_in.Seek(start);
  if (closes) {
    ++*m_dropped;  // a key without its value
    return true;
  }
  char token[limits::kTokenBufferSize];
  if (!ReadToken(m_in, token, sizeof token)) IoError(label);
  for (const char* keyword : {"endobj", "obj", "stream", "endstream"}) {
    if (std::strcmp(token, keyword) == 0) {
      m_in.Seek(start);
      return false;
    }
  }
  ++*m_dropped;
  return true;
}

template <class Read>
auto ObjectParser::Lenient(Read read) -> decltype(read()) {
  if (!m_dropped) return read();
  const int64_t start = m_in.Tell();
  try {
    return read();
  } catch (const CPDFException& e) {
    if (e.Code() != kInvalidFormat || m_in.Peek() == -1 || e.Message() == "nesting too deep") {
      throw;
    }
  }
  // A value broken inside (a string with a stray byte): what is left of it is passed over from
  // where the read stopped, never from where it began.
  if (m_in.Tell() <= start) m_in.Seek(start + 1);
  ++*m_dropped;
  return nullptr;
}

std::unique_ptr<CPDFNull> ObjectParser::Null() {
  auto value = std::make_unique<CPDFNull>();
  value->m_readFromFile = true;
  char token[limits::kTokenBufferSize];
  if (!ReadToken(m_in, token, sizeof token)) IoError("CPDFNull");
  if (std::strcmp(token, "null") != 0) {
    Throw("CPDFNull", kRead, kInvalidFormat, Format("invalidtoken: %s", token));
  }
  return value;
}

std::unique_ptr<CPDFBool> ObjectParser::Bool() {
  auto value = std::make_unique<CPDFBool>();
  value->m_readFromFile = true;
  char token[limits::kTokenBufferSize];
  if (!ReadToken(m_in, token, sizeof token)) IoError("CPDFBool");
  if (std::strcmp(token, "true") == 0) {
    value->SetValue(true);
  } else if (std::strcmp(token, "false") == 0) {
    value->SetValue(false);
  } else {
    Throw("CPDFBool", kRead, kInvalidFormat, Format("invalidtoken: %s", token));
  }
  return value;
}

std::unique_ptr<CPDFNumber> ObjectParser::Number() {
  auto value = std::make_unique<CPDFNumber>();
  value->m_readFromFile = true;
  char token[limits::kTokenBufferSize];
  if (!ReadToken(m_in, token, sizeof token)) IoError("CPDFNumber");
  // Both forms come from the same token: "2.9" holds 2 and 2.9; the value itself is kept to
  // be written back.
  bool integerToken = false;
  const int64_t integer = TokenToInt64(token, &integerToken);
  value->SetFromFile(integer, TokenToReal(token), TokenToDouble(token), integerToken);
  return value;
}

std::string ObjectParser::ReadNameBytes() {
  std::string raw;
  for (;;) {
    // The end of the input ends a name as any delimiter does (the last value of an object
    // stream may be one).
    const int c = m_in.Peek();
    if (c == -1 || IsWhitespace(c) || IsDelimiter(c) || c == '%') return raw;
    raw.push_back(static_cast<char>(c));
    m_in.Get();
  }
}

std::string ObjectParser::DecodeName(const std::string& raw) {
  std::string bytes;
  bytes.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '#') {
      bytes.push_back(raw[i]);
      continue;
    }
    // A "#" that two hex digits do not follow is the byte "#" itself, as readers take it; the
    // name is written back with that byte escaped and so reads back the same.
    const int high = i + 2 < raw.size() ? HexValue(static_cast<unsigned char>(raw[i + 1])) : -1;
    const int low = i + 2 < raw.size() ? HexValue(static_cast<unsigned char>(raw[i + 2])) : -1;
    if (high < 0 || low < 0) {
      bytes.push_back('#');
      continue;
    }
    bytes.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return bytes;
}

std::unique_ptr<CPDFName> ObjectParser::Name() {
  auto value = std::make_unique<CPDFName>();
  value->m_readFromFile = true;
  const int c = m_in.Get();
  if (c == -1) IoError("CPDFName");
  if (c != '/') Throw("CPDFName", kRead, kInvalidFormat, Format("invalidtoken: %c", c));
  // A lone "/" is the empty name, a valid name that some files use as a key or a value.
  value->Assign(DecodeName(ReadNameBytes()));
  return value;
}

void ObjectParser::ReadLiteral(std::string& raw) {
  // Gathers the bytes up to the ")" that closes the string, balancing unescaped parentheses.
  int64_t depth = 0;
  bool escaped = false;
  for (;;) {
    const int c = m_in.Get();
    if (c == -1) IoError("CPDFString");
    if (escaped) {
      escaped = false;
    } else if (c == '\\') {
      escaped = true;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth == 0) return;
      --depth;
    }
    raw.push_back(static_cast<char>(c));
  }
}

void ObjectParser::DecodeLiteral(const std::string& raw, std::string& bytes) {
  bytes.reserve(raw.size());
  for (size_t i = 0; i < raw.size();) {
    const char c = raw[i++];
    if (c != '\\') {
      bytes.push_back(c);
      continue;
    }
    if (i >= raw.size()) break;
    const char next = raw[i++];
    if (const char control = ControlEscape(next)) {
      bytes.push_back(control);
    } else if (IsEndOfLine(next)) {
      // A backslash before an end of line joins the two lines; CR LF counts as one.
      if (next == '\r' && i < raw.size() && raw[i] == '\n') ++i;
    } else if (IsOctal(next)) {
      int value = next - '0';
      for (int digits = 1; digits < 3 && i < raw.size() && IsOctal(raw[i]); ++digits) {
        value = value * 8 + (raw[i++] - '0');
      }
      bytes.push_back(static_cast<char>(value & 0xFF));
    } else {
      // "\(", "\)", "\\", and a backslash before any other byte: the byte itself.
      bytes.push_back(next);
    }
  }
}

void ObjectParser::ReadHex(std::string& bytes) {
  int high = -1;
  for (;;) {
    const int c = m_in.Get();
    if (c == -1) IoError("CPDFString");
    if (c == '>') break;
    if (IsWhitespace(c)) continue;
    const int digit = HexValue(c);
    if (digit < 0) InvalidByte("CPDFString", c);
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) bytes.push_back(static_cast<char>(high * 16));  // odd count: a final 0
}

std::unique_ptr<CPDFString> ObjectParser::String(const CPDFCryptContext* crypt) {
  auto value = std::make_unique<CPDFString>();
  value->m_readFromFile = true;
  const int c = m_in.Get();
  if (c == -1) IoError("CPDFString");
  if (c == '(') {
    std::string raw;
    ReadLiteral(raw);
    DecodeLiteral(raw, value->Str());
    value->m_form = CPDFString::kLiteral;
  } else if (c == '<') {
    ReadHex(value->Str());
    value->m_form = CPDFString::kHex;
  } else {
    InvalidByte("CPDFString", c);
  }
  if (crypt && !value->Empty()) crypt->DecryptString(value->Str());
  return value;
}

bool ObjectParser::ReadTwoBytes(char two[2]) {
  const int first = m_in.Get();
  if (first == -1) return false;
  const int second = m_in.Get();
  if (second == -1) return false;
  two[0] = static_cast<char>(first);
  two[1] = static_cast<char>(second);
  return true;
}

std::unique_ptr<CPDFArray> ObjectParser::Array(const CPDFCryptContext* crypt) {
  NestingScope scope(m_depth, "CPDFArray");
  auto array = std::make_unique<CPDFArray>();
  array->m_readFromFile = true;
  if (m_in.Get() == -1) IoError("CPDFArray");  // the "[" that the dispatcher saw
  for (;;) {
    SkipWhitespaceAndComments(m_in);
    const int c = m_in.Peek();
    if (c == -1) IoError("CPDFArray");
    if (c == ']') {
      m_in.Get();
      return array;
    }
    const int64_t before = m_dropped ? *m_dropped : 0;
    std::unique_ptr<CPDFAtom> element = Lenient([&] { return Entry(crypt); });
    if (!element && m_dropped && *m_dropped > before) continue;
    if (!element && !DropNextToken("CPDFArray", false)) return array;
    if (!element) continue;
    try {
      array->Push_Back(std::move(element));
    } catch (const CPDFException&) {
      Throw("CPDFArray", kRead, kInternalError, "CPDFArray::Push_Back()");
    }
  }
}

std::unique_ptr<CPDFDict> ObjectParser::Dict(const CPDFCryptContext* crypt) {
  NestingScope scope(m_depth, "CPDFDict");
  auto dict = std::make_unique<CPDFDict>();
  dict->m_readFromFile = true;
  char two[2];
  if (!ReadTwoBytes(two)) IoError("CPDFDict");
  if (two[0] != '<' || two[1] != '<') {
    Throw("CPDFDict", kRead, kInvalidFormat, "invalidtoken: " + std::string(two, 2));
  }
  for (;;) {
    SkipWhitespaceAndComments(m_in);
    if (!ReadTwoBytes(two)) IoError("CPDFDict");
    if (two[0] == '>' && two[1] == '>') return dict;
    m_in.Unget(2);

    // Keys are never encrypted.
    const int64_t before = m_dropped ? *m_dropped : 0;
    std::unique_ptr<CPDFObject> key = Lenient([&] { return Any(nullptr); });
    if (!key && m_dropped && *m_dropped > before) continue;
    if (!key && !DropNextToken("CPDFDict", true)) return dict;
    if (!key) continue;
    if (key->TypeCode() != kTypeName) {
      if (!m_dropped) {
        Throw("CPDFDict", kRead, kInvalidFormat, Format("typecheck: %s", key->TypeName()));
      }
      ++*m_dropped;  // a key that is no name: the next token may be the key it displaced
      continue;
    }
    std::unique_ptr<CPDFAtom> value = Lenient([&] { return Entry(crypt); });
    if (!value && m_dropped && *m_dropped > before) continue;
    if (!value && !DropNextToken("CPDFDict", true)) return dict;
    if (!value) continue;
    try {
      // A key that is already present keeps the last value read.
      dict->Insert(static_cast<CPDFName&>(*key).View(), std::move(value));
    } catch (const CPDFException&) {
      Throw("CPDFDict", kRead, kInternalError, "CPDFDict::Insert()");
    }
  }
}

}  // namespace

std::unique_ptr<CPDFObject> ParseObject(CPDFObjHolder* doc, InStream& in,
                                        const CPDFCryptContext* crypt, StreamReader streams) {
  return ObjectParser(doc, in, streams).Any(crypt);
}

std::unique_ptr<CPDFObject> ParseObjectLeniently(CPDFObjHolder* doc, InStream& in,
                                                 const CPDFCryptContext* crypt,
                                                 StreamReader streams, int* dropped) {
  return ObjectParser(doc, in, streams, dropped).Any(crypt);
}

std::unique_ptr<CPDFObjRef> ReadReference(CPDFObjHolder* doc, InStream& in) {
  return ObjectParser(doc, in).Reference();
}

std::unique_ptr<CPDFNull> ReadNull(InStream& in) { return ObjectParser(nullptr, in).Null(); }
std::unique_ptr<CPDFBool> ReadBool(InStream& in) { return ObjectParser(nullptr, in).Bool(); }
std::unique_ptr<CPDFNumber> ReadNumber(InStream& in) { return ObjectParser(nullptr, in).Number(); }
std::unique_ptr<CPDFName> ReadName(InStream& in) { return ObjectParser(nullptr, in).Name(); }

std::unique_ptr<CPDFString> ReadString(InStream& in, const CPDFCryptContext* crypt) {
  return ObjectParser(nullptr, in).String(crypt);
}

std::unique_ptr<CPDFArray> ReadArray(CPDFObjHolder* doc, InStream& in,
                                     const CPDFCryptContext* crypt) {
  return ObjectParser(doc, in).Array(crypt);
}

std::unique_ptr<CPDFDict> ReadDict(CPDFObjHolder* doc, InStream& in,
                                   const CPDFCryptContext* crypt) {
  return ObjectParser(doc, in).Dict(crypt);
}

}  // namespace quarn
