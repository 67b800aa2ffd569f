#include "pdf/object/values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "pdf/object/geometry.h"
#include "pdf/object/limits.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Parse;
using test::Text;

// A value that reports its own destruction, to check who deletes what.
class TracedNull : public CPDFNull {
 public:
  explicit TracedNull(int* deaths) : m_deaths(deaths) {}
  ~TracedNull() override { ++*m_deaths; }

 private:
  int* m_deaths;
};

std::vector<std::string> Keys(const CPDFDict& dict) {
  std::vector<std::string> keys;
  for (const auto& entry : dict) keys.push_back(entry.first);
  return keys;
}

// ---- kinds, type codes, flags -------------------------------------------------------------------

TEST(ValueKindTest, KindsAndKindTexts) {
  CPDFObjRef ref(1, 0);
  CPDFNull null;
  EXPECT_EQ(ref.Kind(), 1);
  EXPECT_STREQ(ref.KindText(), "Indirect Reference");
  EXPECT_TRUE(ref.IsRef());
  EXPECT_EQ(null.Kind(), 2);
  EXPECT_STREQ(null.KindText(), "Object");
  EXPECT_TRUE(null.IsObject());
}

TEST(ValueKindTest, TypeCodesAndNames) {
  struct Case {
    std::unique_ptr<CPDFObject> value;
    int code;
    const char* name;
  };
  std::vector<Case> cases;
  cases.push_back({std::make_unique<CPDFBool>(), 1, "Bool"});
  cases.push_back({std::make_unique<CPDFNumber>(), 2, "Number"});
  cases.push_back({std::make_unique<CPDFInt>(), 4, "Integer"});
  cases.push_back({std::make_unique<CPDFReal>(), 8, "Real"});
  cases.push_back({std::make_unique<CPDFString>(), 16, "String"});
  cases.push_back({std::make_unique<CPDFName>(), 64, "Name"});
  cases.push_back({std::make_unique<CPDFArray>(), 128, "Array"});
  cases.push_back({std::make_unique<CPDFDict>(), 256, "Dictionary"});
  cases.push_back({std::make_unique<CPDFNull>(), 1024, "Null"});
  for (const Case& c : cases) {
    EXPECT_EQ(c.value->TypeCode(), c.code) << c.name;
    EXPECT_STREQ(c.value->TypeName(), c.name);
  }
  // One mask accepts several types.
  EXPECT_TRUE(CPDFName().IsType(80));
  EXPECT_TRUE(CPDFString().IsType(80));
  EXPECT_FALSE(CPDFArray().IsType(80));
}

TEST(ValueKindTest, FlagsStartAsSpecifiedAndCopyTogether) {
  CPDFDict dict;
  EXPECT_FALSE(dict.m_readFromFile);
  EXPECT_TRUE(dict.m_copyWithContainer);
  EXPECT_TRUE(dict.m_releasable);
  EXPECT_TRUE(dict.m_relocatable);
  CPDFDict other;
  other.m_readFromFile = true;
  other.m_copyWithContainer = false;
  other.m_releasable = false;
  other.m_relocatable = false;
  dict.CopyFlagsFrom(other);
  EXPECT_TRUE(dict.m_readFromFile);
  EXPECT_FALSE(dict.m_copyWithContainer);
  EXPECT_FALSE(dict.m_releasable);
  EXPECT_FALSE(dict.m_relocatable);
}

TEST(ValueKindTest, ReferenceIsDefinedOnlyWithBothParts) {
  EXPECT_FALSE(CPDFObjRef().IsDefined());
  EXPECT_FALSE(CPDFObjRef(-1, 0).IsDefined());
  EXPECT_FALSE(CPDFObjRef(3, -1).IsDefined());
  CPDFObjRef ref(3, 0);
  EXPECT_TRUE(ref.IsDefined());
  CPDFObjRef copy(ref);
  EXPECT_EQ(copy, ref);
  ref.Reset();
  EXPECT_FALSE(ref.IsDefined());
  EXPECT_TRUE(copy.IsDefined());
}

// ---- numbers ------------------------------------------------------------------------------------

TEST(NumberValueTest, ConstructionSetsBothForms) {
  CPDFNumber fromInt(int32_t{7});
  EXPECT_EQ(fromInt.IntValue(), 7);
  EXPECT_FLOAT_EQ(fromInt.RealValue(), 7.0f);
  CPDFNumber fromReal(-2.7f);
  EXPECT_EQ(fromReal.IntValue(), -2);  // toward zero
  EXPECT_FLOAT_EQ(fromReal.RealValue(), -2.7f);
  CPDFNumber zero;
  EXPECT_EQ(zero.IntValue(), 0);
  EXPECT_FLOAT_EQ(zero.RealValue(), 0.0f);
  zero.SetReal(9.9f);
  EXPECT_EQ(zero.IntValue(), 9);
}

TEST(NumberValueTest, TruncationSaturates) {
  EXPECT_EQ(CPDFNumber::TruncateReal(1e20), INT32_MAX);
  EXPECT_EQ(CPDFNumber::TruncateReal(-1e20), INT32_MIN);
  EXPECT_EQ(CPDFNumber::TruncateReal(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(CPDFNumber::TruncateReal(-0.99), 0);
}

// ---- dictionaries -------------------------------------------------------------------------------

TEST(DictValueTest, KeysIterateInByteOrder) {
  CPDFDict dict;
  for (const char* key : {"Type", "Length", "Filter"})
    dict.Insert(key, std::make_unique<CPDFNull>());
  EXPECT_EQ(Keys(dict), (std::vector<std::string>{"Filter", "Length", "Type"}));

  CPDFDict bytes;
  for (const char* key : {"\xC3\xA9", "z", "AB", "A", "a", ""}) {
    bytes.Insert(key, std::make_unique<CPDFNull>());
  }
  // Unsigned bytes: 0xC3 after "z"; a prefix sorts first.
  EXPECT_EQ(Keys(bytes), (std::vector<std::string>{"", "A", "AB", "a", "z", "\xC3\xA9"}));
}

TEST(DictValueTest, InsertingAKeyTwiceKeepsTheSecondValueAndDeletesTheFirst) {
  int deaths = 0;
  CPDFDict dict;
  dict.Insert("K", std::make_unique<TracedNull>(&deaths));
  dict.Insert("K", std::make_unique<CPDFInt>(2));
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(dict.Count(), 1u);
  EXPECT_EQ(dict.GetNumber(nullptr, "K")->IntValue(), 2);
}

TEST(DictValueTest, ContainersDeleteWhatTheyOwn) {
  int deaths = 0;
  {
    auto array = std::make_unique<CPDFArray>();
    array->Push_Back(std::make_unique<TracedNull>(&deaths));
    CPDFDict dict;
    dict.Insert("A", std::move(array));
    dict.Insert("B", std::make_unique<TracedNull>(&deaths));
  }
  EXPECT_EQ(deaths, 2);
}

TEST(DictValueTest, NullAtomsAreRefused) {
  CPDFDict dict;
  try {
    dict.Insert("K", nullptr);
    FAIL();
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Code(), 5);
    EXPECT_EQ(e.Message(), "CPDFDict::Insert()");
  }
  CPDFArray array;
  try {
    array.Push_Back(nullptr);
    FAIL();
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Code(), 5);
    EXPECT_EQ(e.Message(), "CPDFArray::Push_Back()");
  }
  EXPECT_EQ(dict.Count(), 0u);
  EXPECT_EQ(array.Count(), 0u);
}

TEST(DictValueTest, GetValueResolvesDirectValuesAndClearsTheReference) {
  auto value = Parse("<</N 5/R 3 1 R>>");
  auto* dict = AsDict(value.get());
  CPDFObjRef ref(9, 9);
  EXPECT_EQ(AsNumber(dict->GetValue(nullptr, "N", &ref))->IntValue(), 5);
  EXPECT_FALSE(ref.IsDefined());
  // Without a document a reference cannot be followed, but its identity is handed back.
  EXPECT_EQ(dict->GetValue(nullptr, "R", &ref), nullptr);
  EXPECT_EQ(ref, CPDFObjRef(3, 1));
  EXPECT_EQ(dict->GetValue(nullptr, "Missing", &ref), nullptr);
  EXPECT_FALSE(ref.IsDefined());
}

TEST(DictValueTest, TypedReadsReturnNothingForOtherTypes) {
  auto value = Parse("<</N 5/S(s)/A[]/D<<>>/M/Name>>");
  auto* dict = AsDict(value.get());
  EXPECT_NE(dict->GetNumber(nullptr, "N"), nullptr);
  EXPECT_EQ(dict->GetNumber(nullptr, "S"), nullptr);
  EXPECT_NE(dict->GetString(nullptr, "S"), nullptr);
  EXPECT_EQ(dict->GetString(nullptr, "M"), nullptr);
  EXPECT_NE(dict->GetArray(nullptr, "A"), nullptr);
  EXPECT_EQ(dict->GetArray(nullptr, "D"), nullptr);
  EXPECT_NE(dict->GetDict(nullptr, "D"), nullptr);
  EXPECT_EQ(dict->GetDict(nullptr, "A"), nullptr);
  EXPECT_NE(dict->GetName(nullptr, "M"), nullptr);
  EXPECT_TRUE(dict->HasName(nullptr, "M", "Name"));
  EXPECT_FALSE(dict->HasName(nullptr, "M", "Nam"));
  EXPECT_FALSE(dict->HasName(nullptr, "S", "s"));
}

TEST(DictValueTest, SetValueDirectAndIndirectWithoutADocument) {
  CPDFDict dict;
  EXPECT_TRUE(dict.SetValue(nullptr, "A", std::make_unique<CPDFInt>(1)));
  EXPECT_TRUE(dict.SetValue(nullptr, "A", std::make_unique<CPDFInt>(2)));
  EXPECT_EQ(dict.GetNumber(nullptr, "A")->IntValue(), 2);
  CPDFObjRef ref;
  EXPECT_FALSE(dict.SetValue(nullptr, "B", std::make_unique<CPDFInt>(3), true, &ref));
  EXPECT_FALSE(dict.Has("B"));
  EXPECT_FALSE(dict.SetValue(nullptr, "C", nullptr));
  EXPECT_TRUE(dict.SetReference("R", CPDFObjRef(4, 0)));
  EXPECT_EQ(Text(dict), "<<\r\n/A 2\r\n/R 4 0 R\r\n>>");
}

TEST(DictValueTest, RemoveValueDeletesTheEntry) {
  int deaths = 0;
  CPDFDict dict;
  dict.Insert("A", std::make_unique<TracedNull>(&deaths));
  dict.SetReference("R", CPDFObjRef(1, 0));
  dict.RemoveValue(nullptr, "A");
  dict.RemoveValue(nullptr, "R");
  dict.RemoveValue(nullptr, "Absent");
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(dict.Count(), 0u);
}

// ---- arrays -------------------------------------------------------------------------------------

TEST(ArrayValueTest, GetObjGivesNothingOutsideTheArray) {
  auto value = Parse("[1 2 0 R]");
  auto* array = AsArray(value.get());
  CPDFObjRef ref(5, 5);
  EXPECT_EQ(array->GetObj(nullptr, -1, &ref), nullptr);
  EXPECT_FALSE(ref.IsDefined());
  EXPECT_EQ(array->GetObj(nullptr, 2, &ref), nullptr);
  EXPECT_NE(array->GetObj(nullptr, 0, &ref), nullptr);
  EXPECT_EQ(array->GetObj(nullptr, 1, &ref), nullptr);  // a reference, and no document
  EXPECT_EQ(ref, CPDFObjRef(2, 0));
  EXPECT_EQ(array->GetNumber(nullptr, 0)->IntValue(), 1);
  EXPECT_EQ(array->GetNumber(nullptr, 1), nullptr);
}

// ---- duplicate, clone, swap ---------------------------------------------------------------------

TEST(DuplicateTest, ScalarsKeepTheirClassDataAndFlags) {
  CPDFInt integer(40000);
  integer.m_readFromFile = true;
  integer.m_releasable = false;
  auto copy = integer.Duplicate(nullptr, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->TypeCode(), kTypeInteger);
  EXPECT_EQ(AsNumber(copy.get())->IntValue(), 40000);
  EXPECT_TRUE(copy->m_readFromFile);
  EXPECT_FALSE(copy->m_releasable);

  CPDFString hex("ab");
  hex.m_form = CPDFString::kHex;
  auto hexCopy = hex.Duplicate(nullptr, nullptr);
  EXPECT_EQ(Text(*hexCopy), "<6162>");
  EXPECT_EQ(Text(*CPDFReal(2.5f).Duplicate(nullptr, nullptr)), "2.5");
  EXPECT_EQ(Text(*CPDFBool(true).Duplicate(nullptr, nullptr)), "true");
  EXPECT_EQ(Text(*CPDFName("N").Duplicate(nullptr, nullptr)), "/N");
  EXPECT_EQ(Text(*CPDFNull().Duplicate(nullptr, nullptr)), "null");
}

TEST(DuplicateTest, DirectContainersAreCopiedDeeply) {
  auto value = Parse("<</A[1 (two) /three <</x true>>]/B 2.5>>");
  auto copy = value->Duplicate(nullptr, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Text(*copy), Text(*value));
  // The copy shares nothing with the source.
  AsDict(value.get())->GetArray(nullptr, "A")->Push_Back(std::make_unique<CPDFNull>());
  EXPECT_NE(Text(*copy), Text(*value));
}

TEST(DuplicateTest, EntriesNotCopiedWithTheirContainerAreLeftOut) {
  auto dict = std::make_unique<CPDFDict>();
  auto hidden = std::make_unique<CPDFInt>(1);
  hidden->m_copyWithContainer = false;
  dict->Insert("Hidden", std::move(hidden));
  dict->Insert("Shown", std::make_unique<CPDFInt>(2));
  auto array = std::make_unique<CPDFArray>();
  auto hiddenElement = std::make_unique<CPDFName>("gone");
  hiddenElement->m_copyWithContainer = false;
  array->Push_Back(std::make_unique<CPDFInt>(3));
  array->Push_Back(std::move(hiddenElement));
  array->Push_Back(std::make_unique<CPDFInt>(4));
  dict->Insert("Array", std::move(array));

  auto copy = dict->Duplicate(nullptr, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Text(*copy), "<<\r\n/Array [3 4]\r\n/Shown 2\r\n>>");
}

TEST(DuplicateTest, AnUnresolvableReferenceFailsTheWholeCopy) {
  auto value = Parse("<</A 1/B 7 0 R>>");
  EXPECT_EQ(value->Duplicate(nullptr, nullptr), nullptr);
  auto array = Parse("[1 7 0 R]");
  EXPECT_EQ(array->Duplicate(nullptr, nullptr), nullptr);
}

TEST(DuplicateTest, MergeCopiesOnlyTheMissingKeys) {
  auto from = Parse("<</A 1/B 2/C[3]>>");
  auto into = Parse("<</B 20>>");
  DuplicateMap map;
  AsDict(into.get())->MergeWith(nullptr, nullptr, *AsDict(from.get()), map);
  EXPECT_EQ(Text(*into), "<<\r\n/A 1\r\n/B 20\r\n/C [3]\r\n>>");
}

TEST(CloneTest, ReferencesStayReferencesAndClassesStay) {
  auto value = Parse("<</A 1 0 R/B[2 0 R 3]/C(s)>>");
  auto clone = value->Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(Text(*clone), Text(*value));
  EXPECT_TRUE(clone->m_readFromFile);
  EXPECT_TRUE(AsDict(clone.get())->Lookup("A")->IsRef());
  EXPECT_EQ(CPDFInt(5).Clone()->TypeCode(), kTypeInteger);
  auto atom = CPDFObjRef(4, 2).CloneAtom();
  EXPECT_EQ(Text(*atom), "4 2 R");
  // A matrix starts as the identity; its copy holds the six numbers of the source, not twelve.
  CPDFMatrix matrix;
  matrix.Set(2, 0, 0, 2, 10, 20);
  EXPECT_EQ(Text(*matrix.Clone()), "[2 0 0 2 10 20]");
}

TEST(SwapContentTest, ContentMovesButFlagsStay) {
  auto a = Parse("<</A 1>>");
  CPDFDict b;
  b.Insert("B", std::make_unique<CPDFInt>(2));
  a->SwapContent(b);
  EXPECT_EQ(Text(*a), "<<\r\n/B 2\r\n>>");
  EXPECT_EQ(Text(b), "<<\r\n/A 1\r\n>>");
  EXPECT_TRUE(a->m_readFromFile);
  EXPECT_FALSE(b.m_readFromFile);

  CPDFString s1("one"), s2("two");
  s2.m_form = CPDFString::kHex;
  s1.SwapContent(s2);
  EXPECT_EQ(Text(s1), "<74776F>");
  EXPECT_EQ(Text(s2), "(one)");
}

TEST(SwapContentTest, DifferentValueClassesAreRefused) {
  CPDFDict dict;
  CPDFArray array;
  EXPECT_THROW(dict.SwapContent(array), CPDFException);
  CPDFNumber number;
  CPDFInt integer;
  EXPECT_THROW(number.SwapContent(integer), CPDFException);
}

// ---- walks without a document; depth guard ------------------------------------------------------

TEST(WalkTest, ReleaseAndLinearizeWithoutADocumentSucceed) {
  auto value = Parse("<</A 1 0 R/B[2 0 R<</C 3 0 R>>]>>");
  EXPECT_TRUE(value->Release(nullptr));
  EXPECT_TRUE(value->Linearize(nullptr));
  EXPECT_TRUE(CPDFInt(1).Release(nullptr));
  EXPECT_TRUE(CPDFInt(1).Linearize(nullptr));
}

std::unique_ptr<CPDFArray> NestedArrays(int depth) {
  auto root = std::make_unique<CPDFArray>();
  CPDFArray* inner = root.get();
  for (int i = 1; i < depth; ++i) {
    auto next = std::make_unique<CPDFArray>();
    CPDFArray* raw = next.get();
    inner->Push_Back(std::move(next));
    inner = raw;
  }
  return root;
}

TEST(WalkTest, WalksDeeperThanTheLimitFailInsteadOfOverflowing) {
  auto fits = NestedArrays(limits::kMaxWalkDepth);
  EXPECT_NE(fits->Duplicate(nullptr, nullptr), nullptr);
  EXPECT_TRUE(fits->Release(nullptr));

  auto deep = NestedArrays(limits::kMaxWalkDepth + 1);
  EXPECT_EQ(deep->Duplicate(nullptr, nullptr), nullptr);
  try {
    deep->Release(nullptr);
    FAIL() << "the release walk must stop";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Code(), 4);
    EXPECT_EQ(e.Message(), "nesting too deep");
  }
  EXPECT_THROW(deep->Linearize(nullptr), CPDFException);
  EXPECT_THROW(deep->Clone(), CPDFException);
  // The guard unwinds completely: a shallow walk works again afterwards.
  EXPECT_NE(Parse("[[1]]")->Duplicate(nullptr, nullptr), nullptr);
}

}  // namespace
}  // namespace quarn
