// The value operations that go through a document: resolving, registering, copying between
// documents, releasing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/document/doc.h"
#include "pdf/object/limits.h"
#include "support/files.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Parse;
using test::Text;

class ValuesWithDocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_source.Create(nullptr)) << m_source.LastError().Message();
    ASSERT_TRUE(m_target.Create(nullptr)) << m_target.LastError().Message();
  }

  // Files `text` as a new indirect object of `doc`.
  CPDFObjRef Register(CPDFDoc& doc, const std::string& text) {
    CPDFObjRef ref;
    EXPECT_TRUE(doc.RegistObj(Parse(text), &ref)) << doc.LastError().Message();
    return ref;
  }

  static const CPDFObjRef& RefAt(const CPDFDict& dict, const char* key) {
    static const CPDFObjRef none;
    const CPDFAtom* atom = dict.Lookup(key);
    return atom && atom->IsRef() ? static_cast<const CPDFObjRef&>(*atom) : none;
  }

  CPDFDoc m_source;
  CPDFDoc m_target;
};

TEST_F(ValuesWithDocTest, SetValueRegistersAndGetValueResolves) {
  CPDFDict holder;
  CPDFObjRef ref;
  ASSERT_TRUE(holder.SetValue(&m_source, "A", std::make_unique<CPDFInt>(5), true, &ref));
  ASSERT_TRUE(ref.IsDefined());
  EXPECT_EQ(RefAt(holder, "A"), ref);
  CPDFObjRef got;
  CPDFNumber* number = holder.GetNumber(&m_source, "A", &got);
  ASSERT_NE(number, nullptr);
  EXPECT_EQ(number->IntValue(), 5);
  EXPECT_EQ(got, ref);
  EXPECT_EQ(m_source.GetObj(ref), number);

  // A defined identity files the new value in place of the old object.
  CPDFObjRef same = ref;
  ASSERT_TRUE(holder.SetValue(&m_source, "B", std::make_unique<CPDFInt>(6), true, &same));
  EXPECT_EQ(same, ref);
  EXPECT_EQ(AsNumber(m_source.GetObj(ref))->IntValue(), 6);
}

TEST_F(ValuesWithDocTest, AccessorsClearTheDocumentsLastError) {
  CPDFDict holder;
  holder.Insert("A", std::make_unique<CPDFInt>(1));
  m_source.LastError().Keep(CPDFException("CPDFDoc", "GetObj", 3, "earlier failure"));
  holder.GetValue(&m_source, "A");
  EXPECT_FALSE(m_source.LastError().IsError());
  m_source.LastError().Keep(CPDFException("CPDFDoc", "GetObj", 3, "earlier failure"));
  holder.RemoveValue(&m_source, "A");
  EXPECT_FALSE(m_source.LastError().IsError());
}

TEST_F(ValuesWithDocTest, ArrayElementsResolveThroughTheDocument) {
  const CPDFObjRef ref = Register(m_source, "(indirect)");
  CPDFArray array;
  array.Push_Back(std::make_unique<CPDFObjRef>(ref));
  CPDFObjRef got;
  CPDFObject* value = array.GetObj(&m_source, 0, &got);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(Text(*value), "(indirect)");
  EXPECT_EQ(got, ref);
}

TEST_F(ValuesWithDocTest, DuplicateMakesOneTargetObjectForTwoReferences) {
  const CPDFObjRef shared = Register(m_source, "<</V 1>>");
  CPDFDict dict;
  dict.SetReference("A", shared);
  dict.SetReference("B", shared);
  dict.Insert("C", std::make_unique<CPDFInt>(3));

  auto copy = dict.Duplicate(&m_target, &m_source);
  ASSERT_NE(copy, nullptr);
  const CPDFObjRef a = RefAt(*AsDict(copy.get()), "A");
  const CPDFObjRef b = RefAt(*AsDict(copy.get()), "B");
  ASSERT_TRUE(a.IsDefined());
  EXPECT_EQ(a, b);
  CPDFObject* copied = m_target.GetObj(a);
  ASSERT_NE(copied, nullptr);
  EXPECT_NE(copied, m_source.GetObj(shared));
  EXPECT_EQ(Text(*copied), "<<\r\n/V 1\r\n>>");
  EXPECT_EQ(AsDict(copy.get())->GetNumber(&m_target, "C")->IntValue(), 3);
}

TEST_F(ValuesWithDocTest, DuplicateCopiesCyclesOnce) {
  // A page and its parent refer to each other.
  const CPDFObjRef page = Register(m_source, "<</Type/Page>>");
  const CPDFObjRef parent = Register(m_source, "<</Type/Pages>>");
  AsDict(m_source.GetObj(page))->SetReference("Parent", parent);
  auto kids = std::make_unique<CPDFArray>();
  kids->Push_Back(std::make_unique<CPDFObjRef>(page));
  AsDict(m_source.GetObj(parent))->Insert("Kids", std::move(kids));

  CPDFDict holder;
  holder.SetReference("Page", page);
  auto copy = holder.Duplicate(&m_target, &m_source);
  ASSERT_NE(copy, nullptr);
  const CPDFObjRef newPage = RefAt(*AsDict(copy.get()), "Page");
  CPDFDict* pageCopy = AsDict(m_target.GetObj(newPage));
  ASSERT_NE(pageCopy, nullptr);
  EXPECT_TRUE(pageCopy->HasName(&m_target, "Type", "Page"));
  const CPDFObjRef newParent = RefAt(*pageCopy, "Parent");
  CPDFDict* parentCopy = AsDict(m_target.GetObj(newParent));
  ASSERT_NE(parentCopy, nullptr);
  EXPECT_TRUE(parentCopy->HasName(&m_target, "Type", "Pages"));
  CPDFArray* kidsCopy = parentCopy->GetArray(&m_target, "Kids");
  ASSERT_NE(kidsCopy, nullptr);
  ASSERT_EQ(kidsCopy->Count(), 1u);
  CPDFObjRef kid;
  EXPECT_EQ(kidsCopy->GetObj(&m_target, 0, &kid), pageCopy);
  EXPECT_EQ(kid, newPage);
}

TEST_F(ValuesWithDocTest, DuplicateWithinOneDocumentGivesNewNumbers) {
  const CPDFObjRef ref = Register(m_source, "[1 2]");
  CPDFDict holder;
  holder.SetReference("A", ref);
  auto copy = holder.Duplicate(&m_source, &m_source);
  ASSERT_NE(copy, nullptr);
  const CPDFObjRef copied = RefAt(*AsDict(copy.get()), "A");
  ASSERT_TRUE(copied.IsDefined());
  EXPECT_NE(copied, ref);
  EXPECT_EQ(Text(*m_source.GetObj(copied)), "[1 2]");
}

TEST_F(ValuesWithDocTest, DuplicateWithoutATargetStoresCopiesDirectly) {
  const CPDFObjRef ref = Register(m_source, "(text)");
  CPDFDict holder;
  holder.SetReference("A", ref);
  auto copy = holder.Duplicate(nullptr, &m_source);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Text(*copy), "<<\r\n/A (text)\r\n>>");
}

TEST_F(ValuesWithDocTest, ACycleWithoutATargetDocumentFailsTheCopy) {
  const CPDFObjRef self = Register(m_source, "<<>>");
  AsDict(m_source.GetObj(self))->SetReference("Me", self);
  CPDFDict holder;
  holder.SetReference("A", self);
  EXPECT_EQ(holder.Duplicate(nullptr, &m_source), nullptr);
}

TEST_F(ValuesWithDocTest, AReferenceChainBeyondTheWalkLimitFailsTheCopy) {
  CPDFObjRef next = Register(m_source, "<<>>");
  for (int i = 0; i < limits::kMaxWalkDepth + 10; ++i) {
    auto link = std::make_unique<CPDFDict>();
    link->SetReference("Next", next);
    next.Reset();
    ASSERT_TRUE(m_source.RegistObj(std::move(link), &next));
  }
  CPDFDict holder;
  holder.SetReference("First", next);
  EXPECT_EQ(holder.Duplicate(&m_target, &m_source), nullptr);
}

// A small PDF file whose objects 3 and 4 are strings; the cross-reference offsets are computed.
std::string SmallPdf() {
  const std::vector<std::string> objects = {
      "<</Type/Catalog/Pages 2 0 R>>", "<</Type/Pages/Kids[]/Count 0>>", "(kept)", "(dropped)"};
  std::string file = "%PDF-1.3\r\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(file.size());
    file += std::to_string(i + 1) + " 0 obj\r\n" + objects[i] + "\r\nendobj\r\n";
  }
  const size_t xref = file.size();
  file += "xref\r\n0 5\r\n0000000000 65535 f \n";
  for (size_t offset : offsets) file += Format("%010zu 00000 n \n", offset);
  file +=
      "trailer\r\n<</Size 5/Root 1 0 R>>\r\nstartxref\r\n" + std::to_string(xref) + "\r\n%%EOF\r\n";
  return file;
}

TEST(ValuesReleaseTest, ReleaseHandsReferencesToTheDocument) {
  test::TempDir dir;
  const std::string path = dir.File("small.pdf");
  test::WriteFile(path, SmallPdf());
  CPDFDoc doc;
  ASSERT_TRUE(doc.Open(nullptr, path, nullptr)) << doc.LastError().Message();
  const CPDFObjRef kept(3, 0);
  const CPDFObjRef dropped(4, 0);
  ASSERT_NE(doc.GetObj(kept), nullptr) << doc.LastError().Message();
  ASSERT_NE(doc.GetObj(dropped), nullptr);
  doc.GetObj(kept)->m_releasable = false;

  auto holder = Parse("<</Inner[null]>>");
  AsDict(holder.get())->SetReference("Kept", kept);
  AsDict(holder.get())
      ->GetArray(nullptr, "Inner")
      ->Push_Back(std::make_unique<CPDFObjRef>(dropped));
  EXPECT_TRUE(holder->Release(&doc));
  EXPECT_NE(doc.FindObj(kept, false), nullptr);
  EXPECT_EQ(doc.FindObj(dropped, false), nullptr) << "dropped from memory";
  // It is still in the file, so asking for it again loads it again.
  ASSERT_NE(doc.GetObj(dropped), nullptr);
  EXPECT_EQ(Text(*doc.GetObj(dropped)), "(dropped)");
}

TEST_F(ValuesWithDocTest, RemovingAReferenceLeavesTheObjectFiled) {
  const CPDFObjRef ref = Register(m_source, "(still here)");
  CPDFDict holder;
  holder.SetReference("A", ref);
  holder.RemoveValue(&m_source, "A");
  EXPECT_FALSE(holder.Has("A"));
  ASSERT_NE(m_source.FindObj(ref, false), nullptr);
  EXPECT_EQ(Text(*m_source.FindObj(ref, false)), "(still here)");
}

}  // namespace
}  // namespace quarn
