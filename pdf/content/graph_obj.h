// Graphic objects: the elements of new page content. An operator holds up to six operands and
// writes itself as PDF content text; a compound object (a text object, an external object)
// holds a nested list. Content is only built and written, never parsed back into this model.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/object/values.h"

namespace quarn {

class CPDFGraphObjs;
class OutStream;

// The base of every element of a graphic-object list.
class GraphObj {
 public:
  // One bit per kind, so that one mask test accepts several kinds.
  enum Kind : uint32_t {
    kBase = 0,
    kPageDescOperator = 1,
    kTextOperator = 4,
    kExternalOperator = 16,
    kTextObject = 128,
    kExternalObject = 512,
  };

  // Operator classes answered by GetOpClass (one bit per class).
  enum OpClass : uint32_t {
    kOpClassNone = 0,
    kOpClassSpecialGraphicsState = 1,  // q Q cm
    kOpClassGeneralGraphicsState = 2,  // i J d j w M gs
    kOpClassColor = 4,                 // g G rg RG k K cs CS sc SC scn SCN ri
    kOpClassCompatibility = 8,         // BX EX
    kOpClassMarkedContent = 16,        // BMC BDC EMC MP DP
    kOpClassTextObject = 256,          // BT ET
    kOpClassTextState = 512,           // Tc Tw Tz TL Tf Tr Ts
    kOpClassTextPositioning = 1024,    // Td TD Tm T*
    kOpClassTextShowing = 2048,        // Tj ' " TJ
    kOpClassXObject = 8192,            // Do PS
  };

  virtual ~GraphObj() = default;
  GraphObj(const GraphObj&) = delete;
  GraphObj& operator=(const GraphObj&) = delete;

  uint32_t KindCode() const { return m_kind; }
  const char* Description() const { return m_description; }

  // Writes the object's content text (no line breaks of its own).
  virtual void Write(OutStream& out) const = 0;
  // The operator-class bit of the current operator; 0 for compound objects and unset operators.
  virtual uint32_t GetOpClass() const { return kOpClassNone; }

 protected:
  GraphObj(uint32_t kind, const char* description) : m_kind(kind), m_description(description) {}

 private:
  uint32_t m_kind;
  const char* m_description;  // static text, not owned
};

// How an operator lays out its operands and its operator text.
enum class OperandLayout : uint8_t {
  kBare,            // "q": the operator alone
  kSpaced,          // operands separated by spaces, then " op"
  kTrailingSpaces,  // each operand followed by a space, then "op"
  kRawThenOp,       // the raw bytes of the first operand as they are, then " op"
  kQuote,           // the double-quote operator (two written forms, chosen by its flag)
  kShowArray,       // TJ, with "T* " in front when its flag is set
};

// One row of an operator table: the operator text, its class and its written form.
struct OperatorInfo {
  const char* text;
  uint32_t opClass;
  OperandLayout layout;
};

// The common part of the three operator kinds: operand slots, type number and operator text.
// Setting a new type first releases the operands that the old type owned.
class GraphOperator : public GraphObj {
 public:
  static constexpr size_t kMaxOperands = 6;
  static constexpr int32_t kUnset = -1;

  int32_t Type() const { return m_type; }
  const char* Operator() const { return m_operator.data(); }
  // The operand in slot i (observed), or nullptr when the slot is empty.
  const CPDFObject* Operand(size_t i) const {
    return i < kMaxOperands ? m_operands[i].get() : nullptr;
  }
  size_t OperandCount() const;
  // Releases every operand and leaves the operator unset (type -1, empty text).
  void Reset();

  void Write(OutStream& out) const override;
  uint32_t GetOpClass() const override;

 protected:
  GraphOperator(uint32_t kind, const char* description) : GraphObj(kind, description) {}

  // The table row of a type, or nullptr for a type this kind does not have.
  virtual const OperatorInfo* InfoOf(int32_t type) const = 0;
  // Resets, then takes the new type with its operator text and the given operands in order.
  void Assign(int32_t type, std::vector<std::unique_ptr<CPDFObject>> operands);

 private:
  // The flag stored as a boolean operand by the double-quote and TJ operators.
  bool BoolOperand(size_t i) const;
  void WriteOperand(OutStream& out, size_t i) const;
  void WriteSpaced(OutStream& out, const char* op) const;
  void WriteTrailingSpaces(OutStream& out, const char* op) const;
  void WriteQuote(OutStream& out) const;
  void WriteShowArray(OutStream& out) const;

  std::array<std::unique_ptr<CPDFObject>, kMaxOperands> m_operands;
  int32_t m_type = kUnset;
  std::array<char, 4> m_operator{};  // up to three characters and a terminator
};

// One graphics-state, colour, compatibility or marked-content operator.
class PageDescOperator : public GraphOperator {
 public:
  enum OpType : int32_t {
    kSave = 0,               // q
    kRestore = 1,            // Q
    kConcatMatrix = 2,       // cm
    kFlatness = 3,           // i
    kLineCap = 4,            // J
    kDash = 5,               // d
    kLineJoin = 6,           // j
    kLineWidth = 7,          // w
    kMiterLimit = 8,         // M
    kExtGState = 9,          // gs
    kFillGray = 10,          // g
    kStrokeGray = 11,        // G
    kFillRGB = 12,           // rg
    kStrokeRGB = 13,         // RG
    kFillCMYK = 14,          // k
    kStrokeCMYK = 15,        // K
    kFillColorSpace = 16,    // cs
    kStrokeColorSpace = 17,  // CS
    kFillColor = 18,         // sc
    kStrokeColor = 19,       // SC
    kFillColorN = 20,        // scn
    kStrokeColorN = 21,      // SCN
    kRenderingIntent = 22,   // ri
    kBeginCompat = 23,       // BX
    kEndCompat = 24,         // EX
    kBeginMarked = 25,       // BMC
    kBeginMarkedProps = 26,  // BDC
    kEndMarked = 27,         // EMC
    kMarkPoint = 28,         // MP
    kMarkPointProps = 29,    // DP
  };

  PageDescOperator() : GraphOperator(kPageDescOperator, "Page-Description Operator") {}

  void SetSave();
  void SetRestore();
  void SetConcatMatrix(float a, float b, float c, float d, float e, float f);
  void SetFlatness(float flatness);
  void SetLineCap(int32_t cap);
  // `dashes` is the dash array, `phase` the dash phase.
  void SetDash(std::unique_ptr<CPDFArray> dashes, float phase);
  void SetLineJoin(int32_t join);
  void SetLineWidth(float width);
  void SetMiterLimit(float limit);
  void SetExtGState(std::string_view resourceName);
  void SetFillGray(float gray);
  void SetStrokeGray(float gray);
  void SetFillRGB(float r, float g, float b);
  void SetStrokeRGB(float r, float g, float b);
  void SetFillCMYK(float c, float m, float y, float k);
  void SetStrokeCMYK(float c, float m, float y, float k);
  void SetFillColorSpace(std::string_view name);
  void SetStrokeColorSpace(std::string_view name);
  // sc / SC: one to four components (extra components are ignored).
  void SetFillColor(const std::vector<float>& components);
  void SetStrokeColor(const std::vector<float>& components);
  // scn / SCN: up to four components (five without a pattern), then an optional pattern name.
  void SetFillColorN(const std::vector<float>& components, std::string_view pattern = {});
  void SetStrokeColorN(const std::vector<float>& components, std::string_view pattern = {});
  void SetRenderingIntent(std::string_view intent);
  void SetBeginCompat();
  // EX carries raw bytes written as they are in front of the operator.
  void SetEndCompat(std::string_view rawBytes);
  void SetBeginMarked(std::string_view tag);
  // BDC / DP: the properties are a resource name (Properties category) or an inline dictionary;
  // pass nullptr for none.
  void SetBeginMarkedProps(std::string_view tag, std::unique_ptr<CPDFObject> properties);
  void SetEndMarked();
  void SetMarkPoint(std::string_view tag);
  void SetMarkPointProps(std::string_view tag, std::unique_ptr<CPDFObject> properties);

 protected:
  const OperatorInfo* InfoOf(int32_t type) const override;

 private:
  void SetColorComponents(OpType type, const std::vector<float>& components, size_t maxCount,
                          std::string_view pattern);
};

// One text operator (inside a text object).
class TextOperator : public GraphOperator {
 public:
  enum OpType : int32_t {
    kBeginText = 0,        // BT
    kEndText = 1,          // ET
    kCharSpacing = 2,      // Tc
    kWordSpacing = 3,      // Tw
    kHorizScaling = 4,     // Tz
    kLeading = 5,          // TL
    kFont = 6,             // Tf
    kRenderMode = 7,       // Tr
    kRise = 8,             // Ts
    kMove = 9,             // Td
    kMoveSetLeading = 10,  // TD
    kTextMatrix = 11,      // Tm
    kNextLine = 12,        // T*
    kShow = 13,            // Tj
    kNextLineShow = 14,    // '
    kSpacingShow = 15,     // "
    kShowArray = 16,       // TJ
  };

  TextOperator() : GraphOperator(kTextOperator, "Text Operator") {}

  void SetBeginText();
  void SetEndText();
  void SetCharSpacing(float spacing);
  void SetWordSpacing(float spacing);
  void SetHorizScaling(float percent);
  void SetLeading(float leading);
  void SetFont(std::string_view resourceName, float size);
  void SetRenderMode(int32_t mode);
  void SetRise(float rise);
  // Td, or TD when `setLeading` is true.
  void SetMove(float x, float y, bool setLeading = false);
  void SetTextMatrix(float a, float b, float c, float d, float e, float f);
  void SetNextLine();
  void SetShow(const char* text, size_t length);
  void SetNextLineShow(const char* text, size_t length);
  // With `asOperator` the double-quote operator is written; without it the same effect is
  // spelled out with Tw, Tc and Tj.
  void SetSpacingShow(float wordSpacing, float charSpacing, const char* text, size_t length,
                      bool asOperator = true);
  // With `nextLine` "T* " is written in front of the array.
  void SetShowArray(std::unique_ptr<CPDFArray> elements, bool nextLine = false);

 protected:
  const OperatorInfo* InfoOf(int32_t type) const override;
};

// The operator that invokes an XObject ("Do") or a PostScript fragment ("PS").
class ExternalOperator : public GraphOperator {
 public:
  enum OpType : int32_t { kDo = 0, kPS = 1 };

  ExternalOperator() : GraphOperator(kExternalOperator, "External Operator") {}

  void SetDo(std::string_view resourceName);
  void SetPS(std::string_view resourceName);

 protected:
  const OperatorInfo* InfoOf(int32_t type) const override;
};

// A compound object: writes its nested list.
class GraphCompound : public GraphObj {
 public:
  ~GraphCompound() override;
  CPDFGraphObjs& Objects() { return *m_objects; }
  const CPDFGraphObjs& Objects() const { return *m_objects; }
  void Write(OutStream& out) const override;

 protected:
  GraphCompound(uint32_t kind, const char* description);

 private:
  std::unique_ptr<CPDFGraphObjs> m_objects;
};

// A text object: a nested list of text operators. Each call appends one operator and returns
// the object, so that calls chain.
class TextObject : public GraphCompound {
 public:
  TextObject() : GraphCompound(kTextObject, "Text Object") {}

  TextObject& BeginText();
  TextObject& EndText();
  // The size is stored as a number made from the 32-bit float.
  TextObject& SetFont(std::string_view resourceName, float size);
  TextObject& SetRenderMode(int32_t mode);
  // Td, or TD when `setLeading` is true.
  TextObject& MoveText(float x, float y, bool setLeading = false);
  TextObject& ShowText(const char* text, size_t length);
  // Any other text operator, already set up.
  TextObject& Append(std::unique_ptr<TextOperator> op);

 private:
  TextOperator& NewOperator();
};

// An external object: a nested list holding the one operator that invokes an XObject.
class ExternalObject : public GraphCompound {
 public:
  ExternalObject() : GraphCompound(kExternalObject, "External Object") {}

  // Makes the nested list hold exactly one "Do" (or "PS") operator for the resource name.
  void SetXObject(std::string_view resourceName);
  void SetPostScript(std::string_view resourceName);
};

}  // namespace quarn
