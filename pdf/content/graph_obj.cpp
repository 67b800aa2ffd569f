#include "pdf/content/graph_obj.h"

#include <cstring>
#include <utility>

#include "pdf/content/graph_objs.h"
#include "pdf/object/out_stream.h"

namespace quarn {

namespace {

using Operands = std::vector<std::unique_ptr<CPDFObject>>;
using L = OperandLayout;

// Indexed by PageDescOperator::OpType.
constexpr OperatorInfo kPageDescOperators[] = {
    {"q", GraphObj::kOpClassSpecialGraphicsState, L::kBare},
    {"Q", GraphObj::kOpClassSpecialGraphicsState, L::kBare},
    {"cm", GraphObj::kOpClassSpecialGraphicsState, L::kSpaced},
    {"i", GraphObj::kOpClassGeneralGraphicsState, L::kSpaced},
    {"J", GraphObj::kOpClassGeneralGraphicsState, L::kSpaced},
    {"d", GraphObj::kOpClassGeneralGraphicsState, L::kSpaced},
    {"j", GraphObj::kOpClassGeneralGraphicsState, L::kSpaced},
    {"w", GraphObj::kOpClassGeneralGraphicsState, L::kSpaced},
    {"M", GraphObj::kOpClassGeneralGraphicsState, L::kSpaced},
    {"gs", GraphObj::kOpClassGeneralGraphicsState, L::kSpaced},
    {"g", GraphObj::kOpClassColor, L::kSpaced},
    {"G", GraphObj::kOpClassColor, L::kSpaced},
    {"rg", GraphObj::kOpClassColor, L::kSpaced},
    {"RG", GraphObj::kOpClassColor, L::kSpaced},
    {"k", GraphObj::kOpClassColor, L::kSpaced},
    {"K", GraphObj::kOpClassColor, L::kSpaced},
    {"cs", GraphObj::kOpClassColor, L::kSpaced},
    {"CS", GraphObj::kOpClassColor, L::kSpaced},
    {"sc", GraphObj::kOpClassColor, L::kSpaced},
    {"SC", GraphObj::kOpClassColor, L::kTrailingSpaces},
    {"scn", GraphObj::kOpClassColor, L::kTrailingSpaces},
    {"SCN", GraphObj::kOpClassColor, L::kTrailingSpaces},
    {"ri", GraphObj::kOpClassColor, L::kSpaced},
    {"BX", GraphObj::kOpClassCompatibility, L::kBare},
    {"EX", GraphObj::kOpClassCompatibility, L::kRawThenOp},
    {"BMC", GraphObj::kOpClassMarkedContent, L::kSpaced},
    {"BDC", GraphObj::kOpClassMarkedContent, L::kTrailingSpaces},
    {"EMC", GraphObj::kOpClassMarkedContent, L::kBare},
    {"MP", GraphObj::kOpClassMarkedContent, L::kSpaced},
    {"DP", GraphObj::kOpClassMarkedContent, L::kTrailingSpaces},
};

// Indexed by TextOperator::OpType.
constexpr OperatorInfo kTextOperators[] = {
    {"BT", GraphObj::kOpClassTextObject, L::kBare},
    {"ET", GraphObj::kOpClassTextObject, L::kBare},
    {"Tc", GraphObj::kOpClassTextState, L::kSpaced},
    {"Tw", GraphObj::kOpClassTextState, L::kSpaced},
    {"Tz", GraphObj::kOpClassTextState, L::kSpaced},
    {"TL", GraphObj::kOpClassTextState, L::kSpaced},
    {"Tf", GraphObj::kOpClassTextState, L::kSpaced},
    {"Tr", GraphObj::kOpClassTextState, L::kSpaced},
    {"Ts", GraphObj::kOpClassTextState, L::kSpaced},
    {"Td", GraphObj::kOpClassTextPositioning, L::kSpaced},
    {"TD", GraphObj::kOpClassTextPositioning, L::kSpaced},
    {"Tm", GraphObj::kOpClassTextPositioning, L::kSpaced},
    {"T*", GraphObj::kOpClassTextPositioning, L::kBare},
    {"Tj", GraphObj::kOpClassTextShowing, L::kSpaced},
    {"'", GraphObj::kOpClassTextShowing, L::kSpaced},
    {"\"", GraphObj::kOpClassTextShowing, L::kQuote},
    {"TJ", GraphObj::kOpClassTextShowing, L::kShowArray},
};

// Indexed by ExternalOperator::OpType.
constexpr OperatorInfo kExternalOperators[] = {
    {"Do", GraphObj::kOpClassXObject, L::kSpaced},
    {"PS", GraphObj::kOpClassXObject, L::kSpaced},
};

template <size_t N>
const OperatorInfo* RowOf(const OperatorInfo (&table)[N], int32_t type) {
  return type >= 0 && static_cast<size_t>(type) < N ? &table[type] : nullptr;
}

std::unique_ptr<CPDFObject> Number(float v) { return std::make_unique<CPDFNumber>(v); }
std::unique_ptr<CPDFObject> Integer(int32_t v) { return std::make_unique<CPDFInt>(v); }
std::unique_ptr<CPDFObject> Name(std::string_view v) { return std::make_unique<CPDFName>(v); }
std::unique_ptr<CPDFObject> String(const char* text, size_t length) {
  return std::make_unique<CPDFString>(text ? text : "", text ? length : 0);
}
std::unique_ptr<CPDFObject> Flag(bool v) { return std::make_unique<CPDFBool>(v); }

// Builds an operand list from movable values (initializer lists cannot hold unique_ptr).
template <class... Args>
Operands MakeOperands(Args&&... args) {
  Operands list;
  list.reserve(sizeof...(Args));
  (list.push_back(std::forward<Args>(args)), ...);
  return list;
}

}  // namespace

// ---- GraphOperator ---------------------------------------------------------------------------

size_t GraphOperator::OperandCount() const {
  size_t n = 0;
  for (const auto& operand : m_operands) n += operand ? 1u : 0u;
  return n;
}

void GraphOperator::Reset() {
  for (auto& operand : m_operands) operand.reset();
  m_type = kUnset;
  m_operator.fill('\0');
}

void GraphOperator::Assign(int32_t type, Operands operands) {
  Reset();
  const OperatorInfo* info = InfoOf(type);
  if (!info) return;
  m_type = type;
  std::strncpy(m_operator.data(), info->text, m_operator.size() - 1);
  for (size_t i = 0; i < operands.size() && i < kMaxOperands; ++i)
    m_operands[i] = std::move(operands[i]);
}

uint32_t GraphOperator::GetOpClass() const {
  const OperatorInfo* info = m_type == kUnset ? nullptr : InfoOf(m_type);
  return info ? info->opClass : kOpClassNone;
}

void GraphOperator::Write(OutStream& out) const {
  const OperatorInfo* info = m_type == kUnset ? nullptr : InfoOf(m_type);
  if (!info) return;
  switch (info->layout) {
    case L::kBare:
      out << info->text;
      break;
    case L::kSpaced:
      WriteSpaced(out, info->text);
      break;
    case L::kTrailingSpaces:
      WriteTrailingSpaces(out, info->text);
      break;
    case L::kRawThenOp:
      if (const CPDFObject* raw = Operand(0); raw && raw->TypeCode() == kTypeString) {
        const auto* bytes = static_cast<const CPDFString*>(raw);
        out.WriteBytes(bytes->Data(), bytes->Length());
      }
      out << ' ' << info->text;
      break;
    case L::kQuote:
      WriteQuote(out);
      break;
    case L::kShowArray:
      WriteShowArray(out);
      break;
  }
}

void GraphOperator::WriteSpaced(OutStream& out, const char* op) const {
  bool first = true;
  for (const auto& operand : m_operands) {
    if (!operand) continue;
    if (!first) out << ' ';
    operand->Serialize(out);
    first = false;
  }
  out << ' ' << op;
}

void GraphOperator::WriteTrailingSpaces(OutStream& out, const char* op) const {
  for (const auto& operand : m_operands) {
    if (!operand) continue;
    operand->Serialize(out);
    out << ' ';
  }
  out << op;
}

bool GraphOperator::BoolOperand(size_t i) const {
  const CPDFObject* operand = Operand(i);
  return operand && operand->TypeCode() == kTypeBool &&
         static_cast<const CPDFBool*>(operand)->Value();
}

void GraphOperator::WriteOperand(OutStream& out, size_t i) const {
  if (const CPDFObject* operand = Operand(i)) operand->Serialize(out);
}

// Operands: word spacing, character spacing, string, flag.
void GraphOperator::WriteQuote(OutStream& out) const {
  if (BoolOperand(3)) {
    WriteOperand(out, 0);
    out << ' ';
    WriteOperand(out, 1);
    out << ' ';
    WriteOperand(out, 2);
    out << " \"";
    return;
  }
  // The spelled-out form keeps a blank between each operator and the next operand: without it
  // "Tw" and the following number would run together into one unknown token.
  WriteOperand(out, 0);
  out << " Tw ";
  WriteOperand(out, 1);
  out << " Tc ";
  WriteOperand(out, 2);
  out << " Tj";
}

// Operands: array, flag.
void GraphOperator::WriteShowArray(OutStream& out) const {
  if (BoolOperand(1)) out << "T* ";
  WriteOperand(out, 0);
  out << " TJ";
}

// ---- PageDescOperator ------------------------------------------------------------------------

const OperatorInfo* PageDescOperator::InfoOf(int32_t type) const {
  return RowOf(kPageDescOperators, type);
}

void PageDescOperator::SetSave() { Assign(kSave, {}); }
void PageDescOperator::SetRestore() { Assign(kRestore, {}); }
void PageDescOperator::SetConcatMatrix(float a, float b, float c, float d, float e, float f) {
  Assign(kConcatMatrix,
         MakeOperands(Number(a), Number(b), Number(c), Number(d), Number(e), Number(f)));
}
void PageDescOperator::SetFlatness(float flatness) {
  Assign(kFlatness, MakeOperands(Number(flatness)));
}
void PageDescOperator::SetLineCap(int32_t cap) { Assign(kLineCap, MakeOperands(Integer(cap))); }
void PageDescOperator::SetDash(std::unique_ptr<CPDFArray> dashes, float phase) {
  if (!dashes) dashes = std::make_unique<CPDFArray>();
  Assign(kDash, MakeOperands(std::unique_ptr<CPDFObject>(std::move(dashes)), Number(phase)));
}
void PageDescOperator::SetLineJoin(int32_t join) { Assign(kLineJoin, MakeOperands(Integer(join))); }
void PageDescOperator::SetLineWidth(float width) {
  Assign(kLineWidth, MakeOperands(Number(width)));
}
void PageDescOperator::SetMiterLimit(float limit) {
  Assign(kMiterLimit, MakeOperands(Number(limit)));
}
void PageDescOperator::SetExtGState(std::string_view resourceName) {
  Assign(kExtGState, MakeOperands(Name(resourceName)));
}
void PageDescOperator::SetFillGray(float gray) { Assign(kFillGray, MakeOperands(Number(gray))); }
void PageDescOperator::SetStrokeGray(float gray) {
  Assign(kStrokeGray, MakeOperands(Number(gray)));
}
void PageDescOperator::SetFillRGB(float r, float g, float b) {
  Assign(kFillRGB, MakeOperands(Number(r), Number(g), Number(b)));
}
void PageDescOperator::SetStrokeRGB(float r, float g, float b) {
  Assign(kStrokeRGB, MakeOperands(Number(r), Number(g), Number(b)));
}
void PageDescOperator::SetFillCMYK(float c, float m, float y, float k) {
  Assign(kFillCMYK, MakeOperands(Number(c), Number(m), Number(y), Number(k)));
}
void PageDescOperator::SetStrokeCMYK(float c, float m, float y, float k) {
  Assign(kStrokeCMYK, MakeOperands(Number(c), Number(m), Number(y), Number(k)));
}
void PageDescOperator::SetFillColorSpace(std::string_view name) {
  Assign(kFillColorSpace, MakeOperands(Name(name)));
}
void PageDescOperator::SetStrokeColorSpace(std::string_view name) {
  Assign(kStrokeColorSpace, MakeOperands(Name(name)));
}
void PageDescOperator::SetFillColor(const std::vector<float>& components) {
  SetColorComponents(kFillColor, components, 4, {});
}
void PageDescOperator::SetStrokeColor(const std::vector<float>& components) {
  SetColorComponents(kStrokeColor, components, 4, {});
}
void PageDescOperator::SetFillColorN(const std::vector<float>& components,
                                     std::string_view pattern) {
  SetColorComponents(kFillColorN, components, pattern.empty() ? kMaxOperands - 1 : 4, pattern);
}
void PageDescOperator::SetStrokeColorN(const std::vector<float>& components,
                                       std::string_view pattern) {
  SetColorComponents(kStrokeColorN, components, pattern.empty() ? kMaxOperands - 1 : 4, pattern);
}

void PageDescOperator::SetColorComponents(OpType type, const std::vector<float>& components,
                                          size_t maxCount, std::string_view pattern) {
  Operands operands;
  for (size_t i = 0; i < components.size() && i < maxCount; ++i)
    operands.push_back(Number(components[i]));
  if (!pattern.empty()) operands.push_back(Name(pattern));
  Assign(type, std::move(operands));
}

void PageDescOperator::SetRenderingIntent(std::string_view intent) {
  Assign(kRenderingIntent, MakeOperands(Name(intent)));
}
void PageDescOperator::SetBeginCompat() { Assign(kBeginCompat, {}); }
void PageDescOperator::SetEndCompat(std::string_view rawBytes) {
  Assign(kEndCompat, MakeOperands(String(rawBytes.data(), rawBytes.size())));
}
void PageDescOperator::SetBeginMarked(std::string_view tag) {
  Assign(kBeginMarked, MakeOperands(Name(tag)));
}
void PageDescOperator::SetBeginMarkedProps(std::string_view tag,
                                           std::unique_ptr<CPDFObject> properties) {
  Assign(kBeginMarkedProps, MakeOperands(Name(tag), std::move(properties)));
}
void PageDescOperator::SetEndMarked() { Assign(kEndMarked, {}); }
void PageDescOperator::SetMarkPoint(std::string_view tag) {
  Assign(kMarkPoint, MakeOperands(Name(tag)));
}
void PageDescOperator::SetMarkPointProps(std::string_view tag,
                                         std::unique_ptr<CPDFObject> properties) {
  Assign(kMarkPointProps, MakeOperands(Name(tag), std::move(properties)));
}

// ---- TextOperator ----------------------------------------------------------------------------

const OperatorInfo* TextOperator::InfoOf(int32_t type) const { return RowOf(kTextOperators, type); }

void TextOperator::SetBeginText() { Assign(kBeginText, {}); }
void TextOperator::SetEndText() { Assign(kEndText, {}); }
void TextOperator::SetCharSpacing(float spacing) {
  Assign(kCharSpacing, MakeOperands(Number(spacing)));
}
void TextOperator::SetWordSpacing(float spacing) {
  Assign(kWordSpacing, MakeOperands(Number(spacing)));
}
void TextOperator::SetHorizScaling(float percent) {
  Assign(kHorizScaling, MakeOperands(Number(percent)));
}
void TextOperator::SetLeading(float leading) { Assign(kLeading, MakeOperands(Number(leading))); }
void TextOperator::SetFont(std::string_view resourceName, float size) {
  Assign(kFont, MakeOperands(Name(resourceName), Number(size)));
}
void TextOperator::SetRenderMode(int32_t mode) { Assign(kRenderMode, MakeOperands(Integer(mode))); }
void TextOperator::SetRise(float rise) { Assign(kRise, MakeOperands(Number(rise))); }
void TextOperator::SetMove(float x, float y, bool setLeading) {
  Assign(setLeading ? kMoveSetLeading : kMove, MakeOperands(Number(x), Number(y)));
}
void TextOperator::SetTextMatrix(float a, float b, float c, float d, float e, float f) {
  Assign(kTextMatrix,
         MakeOperands(Number(a), Number(b), Number(c), Number(d), Number(e), Number(f)));
}
void TextOperator::SetNextLine() { Assign(kNextLine, {}); }
void TextOperator::SetShow(const char* text, size_t length) {
  Assign(kShow, MakeOperands(String(text, length)));
}
void TextOperator::SetNextLineShow(const char* text, size_t length) {
  Assign(kNextLineShow, MakeOperands(String(text, length)));
}
void TextOperator::SetSpacingShow(float wordSpacing, float charSpacing, const char* text,
                                  size_t length, bool asOperator) {
  Assign(kSpacingShow, MakeOperands(Number(wordSpacing), Number(charSpacing), String(text, length),
                                    Flag(asOperator)));
}
void TextOperator::SetShowArray(std::unique_ptr<CPDFArray> elements, bool nextLine) {
  if (!elements) elements = std::make_unique<CPDFArray>();
  Assign(kShowArray,
         MakeOperands(std::unique_ptr<CPDFObject>(std::move(elements)), Flag(nextLine)));
}

// ---- ExternalOperator ------------------------------------------------------------------------

const OperatorInfo* ExternalOperator::InfoOf(int32_t type) const {
  return RowOf(kExternalOperators, type);
}

void ExternalOperator::SetDo(std::string_view resourceName) {
  Assign(kDo, MakeOperands(Name(resourceName)));
}
void ExternalOperator::SetPS(std::string_view resourceName) {
  Assign(kPS, MakeOperands(Name(resourceName)));
}

// ---- compound objects ------------------------------------------------------------------------

GraphCompound::GraphCompound(uint32_t kind, const char* description)
    : GraphObj(kind, description), m_objects(std::make_unique<CPDFGraphObjs>()) {}

GraphCompound::~GraphCompound() = default;

void GraphCompound::Write(OutStream& out) const { m_objects->Write(out); }

TextOperator& TextObject::NewOperator() {
  return static_cast<TextOperator&>(Objects().Append(std::make_unique<TextOperator>()));
}

TextObject& TextObject::BeginText() {
  NewOperator().SetBeginText();
  return *this;
}
TextObject& TextObject::EndText() {
  NewOperator().SetEndText();
  return *this;
}
TextObject& TextObject::SetFont(std::string_view resourceName, float size) {
  NewOperator().SetFont(resourceName, size);
  return *this;
}
TextObject& TextObject::SetRenderMode(int32_t mode) {
  NewOperator().SetRenderMode(mode);
  return *this;
}
TextObject& TextObject::MoveText(float x, float y, bool setLeading) {
  NewOperator().SetMove(x, y, setLeading);
  return *this;
}
TextObject& TextObject::ShowText(const char* text, size_t length) {
  NewOperator().SetShow(text, length);
  return *this;
}
TextObject& TextObject::Append(std::unique_ptr<TextOperator> op) {
  if (op) Objects().Append(std::move(op));
  return *this;
}

void ExternalObject::SetXObject(std::string_view resourceName) {
  auto op = std::make_unique<ExternalOperator>();
  op->SetDo(resourceName);
  Objects().Clear();
  Objects().Append(std::move(op));
}

void ExternalObject::SetPostScript(std::string_view resourceName) {
  auto op = std::make_unique<ExternalOperator>();
  op->SetPS(resourceName);
  Objects().Clear();
  Objects().Append(std::move(op));
}

}  // namespace quarn
