// The typed-value pattern, proven on two small classes defined here: a box (an array of four
// numbers) and a widget dictionary whose "Box" entry is typed.
#include "pdf/object/typed_dict.h"

#include <gtest/gtest.h>

#include "pdf/document/doc.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Parse;
using test::Text;

bool IsTestBox(CPDFObjHolder*, CPDFObject* value) { return value && value->TypeCode() == kTypeArray; }

class CTestBox : public CPDFDataStruct, public CPDFArray {
  QUARN_TYPED_CLASS(CTestBox, CPDFArray, "")
 public:
  // Binding takes the content first, then insists on four numbers.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source) {
    BindDoc(doc);
    SwapContent(source);
    if (Count() != 4) return false;
    for (int i = 0; i < 4; ++i) {
      if (!GetNumber(doc, i)) return false;
    }
    return true;
  }
  void SwapContent(CPDFObject& other) override { CPDFArray::SwapContent(other); }
  float Width() const {
    return GetNumber(Doc(), 2)->RealValue() - GetNumber(Doc(), 0)->RealValue();
  }
};

bool IsTestWidget(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict = AsDict(value);
  return dict && dict->TypeCode() == kTypeDict && dict->HasName(doc, "Type", "Widget") &&
         dict->GetArray(doc, "Box");
}

class CTestWidget : public CPDFDocStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CTestWidget, CPDFDict, "Widget")
 public:
  bool Create(CPDFObjHolder* doc) {
    BindDoc(doc);
    return SetValue(doc, "Type", std::make_unique<CPDFName>(ClassName().View()));
  }
  bool Realize(CPDFObjHolder* doc, CPDFObject& source) {
    BindDoc(doc);
    SwapContent(source);
    return BindEntry<CTestBox>(doc, *this, "Box", IsTestBox);
  }
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  QUARN_ACCESSOR(Box, CTestBox)
  QUARN_ACCESSOR(Title, CPDFString)
  QUARN_GET(Type, CPDFName)
};

TEST(TypedDictTest, ClassNameIsSharedAndHoldsTheDiscriminator) {
  EXPECT_EQ(CTestWidget::ClassName().Str(), "Widget");
  EXPECT_EQ(&CTestWidget::ClassName(), &CTestWidget::ClassName());
}

TEST(TypedDictTest, CreateWritesTheDiscriminatingEntry) {
  CTestWidget widget;
  ASSERT_TRUE(widget.Create(nullptr));
  EXPECT_EQ(Text(widget), "<<\r\n/Type /Widget\r\n>>");
  EXPECT_TRUE(widget.Get_Type()->Equals("Widget"));
}

TEST(TypedDictTest, RecognizerAnswersWithoutChangingTheValue) {
  auto good = Parse("<</Type/Widget/Box[0 0 10 20]>>");
  auto wrongType = Parse("<</Type/Gadget/Box[0 0 10 20]>>");
  auto noBox = Parse("<</Type/Widget/Box 5>>");
  const std::string before = Text(*noBox);
  EXPECT_TRUE(IsTestWidget(nullptr, good.get()));
  EXPECT_FALSE(IsTestWidget(nullptr, wrongType.get()));
  EXPECT_FALSE(IsTestWidget(nullptr, noBox.get()));
  EXPECT_FALSE(IsTestWidget(nullptr, nullptr));
  EXPECT_EQ(Text(*noBox), before);
}

TEST(TypedDictTest, RealizeBindsItsTypedEntries) {
  auto holder = Parse("<</W<</Type/Widget/Box[0 0 10 20]/Title(t)>>>>");
  CTestWidget* widget = nullptr;
  ASSERT_TRUE(BindEntry<CTestWidget>(nullptr, *AsDict(holder.get()), "W", IsTestWidget, &widget));
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(AsDict(holder.get())->Lookup("W"), widget);
  EXPECT_TRUE(widget->m_readFromFile) << "the typed object keeps the flags of the value";
  CTestBox* box = widget->Get_Box();
  ASSERT_NE(box, nullptr);
  EXPECT_FLOAT_EQ(box->Width(), 10.0f);
  EXPECT_EQ(widget->Get_Title()->Str(), "t");
  // Binding again finds the typed object already there.
  CTestWidget* again = nullptr;
  ASSERT_TRUE(BindEntry<CTestWidget>(nullptr, *AsDict(holder.get()), "W", IsTestWidget, &again));
  EXPECT_EQ(again, widget);
  EXPECT_EQ(Text(*holder), Text(*Parse("<</W<</Type/Widget/Box[0 0 10 20]/Title(t)>>>>")));
}

TEST(TypedDictTest, AValueThatFailsTheRecognizerStaysPlain) {
  auto holder = Parse("<</W<</Type/Gadget>>>>");
  CPDFAtom* before = AsDict(holder.get())->Lookup("W");
  CTestWidget sentinel;
  CTestWidget* widget = &sentinel;
  EXPECT_TRUE(BindEntry<CTestWidget>(nullptr, *AsDict(holder.get()), "W", IsTestWidget, &widget));
  EXPECT_EQ(widget, nullptr);
  EXPECT_EQ(AsDict(holder.get())->Lookup("W"), before);
  EXPECT_TRUE(BindEntry<CTestWidget>(nullptr, *AsDict(holder.get()), "Absent", IsTestWidget));
}

TEST(TypedDictTest, AFailedBindingRestoresTheHolder) {
  // The box has two numbers, so the widget's own binding fails half-way.
  const std::string text = "<</W<</Type/Widget/Box[1 2]/Title(keep me)>>>>";
  auto holder = Parse(text);
  CPDFAtom* before = AsDict(holder.get())->Lookup("W");
  EXPECT_FALSE(BindEntry<CTestWidget>(nullptr, *AsDict(holder.get()), "W", IsTestWidget));
  EXPECT_EQ(AsDict(holder.get())->Lookup("W"), before);
  EXPECT_EQ(dynamic_cast<CTestWidget*>(before), nullptr);
  EXPECT_EQ(Text(*holder), Text(*Parse(text)));
}

TEST(TypedDictTest, ArrayElementsAreBoundInPlace) {
  auto holder = Parse("[[0 0 1 1] 5 [1 2]]");
  auto* array = AsArray(holder.get());
  CTestBox* box = nullptr;
  ASSERT_TRUE(BindElement<CTestBox>(nullptr, *array, 0, IsTestBox, &box));
  EXPECT_EQ(array->At(0), box);
  ASSERT_TRUE(BindElement<CTestBox>(nullptr, *array, 1, IsTestBox, &box));
  EXPECT_EQ(box, nullptr);
  EXPECT_FALSE(BindElement<CTestBox>(nullptr, *array, 2, IsTestBox, &box));
  EXPECT_EQ(Text(*holder), "[[0 0 1 1] 5 [1 2]]");
}

TEST(TypedDictTest, BindValueLeavesDirectValuesToTheirHolder) {
  auto value = Parse("<</Type/Widget/Box[0 0 1 1]>>");
  bool failed = true;
  EXPECT_EQ(BindValue<CTestWidget>(nullptr, value.get(), CPDFObjRef(), IsTestWidget, &failed),
            nullptr);
  EXPECT_FALSE(failed);
  EXPECT_EQ(Text(*value), Text(*Parse("<</Type/Widget/Box[0 0 1 1]>>")))
      << "an unbound direct value keeps its content";
}

TEST(TypedDictTest, AccessorsStoreDirectlyAndNeedADocumentForIndirectValues) {
  CTestWidget widget;
  ASSERT_TRUE(widget.Create(nullptr));
  EXPECT_TRUE(widget.Set_Title(std::make_unique<CPDFString>("hello")));
  EXPECT_EQ(widget.Get_Title()->Str(), "hello");
  CPDFObjRef ref;
  EXPECT_FALSE(widget.Set_Title(std::make_unique<CPDFString>("x"), true, &ref));
  EXPECT_EQ(widget.Get_Title()->Str(), "hello");
  // A getter of a class returns nothing for an entry of another class.
  widget.Insert("Box", std::make_unique<CPDFArray>());
  EXPECT_EQ(widget.Get_Box(), nullptr);
  EXPECT_EQ(widget.Get_Type()->Str(), "Widget");
}

TEST(TypedDictTest, CopiesKeepTheTypedClass) {
  auto holder = Parse("<</Type/Widget/Box[0 0 10 20]>>");
  CTestWidget widget;
  ASSERT_TRUE(widget.Realize(nullptr, *holder));
  auto copy = widget.Duplicate(nullptr, nullptr);
  ASSERT_NE(dynamic_cast<CTestWidget*>(copy.get()), nullptr);
  EXPECT_NE(dynamic_cast<CTestWidget*>(copy.get())->Get_Box(), nullptr);
  auto clone = widget.Clone();
  ASSERT_NE(dynamic_cast<CTestWidget*>(clone.get()), nullptr);
  EXPECT_EQ(Text(*clone), Text(widget));
}

TEST(TypedDictTest, BindingAnIndirectEntryKeepsItsIdentity) {
  CPDFDoc doc;
  ASSERT_TRUE(doc.Create(nullptr));
  CPDFObjRef ref;
  ASSERT_TRUE(doc.RegistObj(Parse("<</Type/Widget/Box[0 0 4 4]>>"), &ref));
  CPDFDict holder;
  holder.SetReference("W", ref);
  CTestWidget* widget = nullptr;
  ASSERT_TRUE(BindEntry<CTestWidget>(&doc, holder, "W", IsTestWidget, &widget));
  ASSERT_NE(widget, nullptr);
  ASSERT_TRUE(holder.Lookup("W")->IsRef());
  EXPECT_EQ(*static_cast<CPDFObjRef*>(holder.Lookup("W")), ref);
  EXPECT_EQ(doc.GetObj(ref), widget);
  EXPECT_EQ(widget->Doc(), &doc);
  EXPECT_FLOAT_EQ(widget->Get_Box()->Width(), 4.0f);
}

TEST(TypedDictTest, AFailedIndirectBindingLeavesTheDocumentsObject) {
  CPDFDoc doc;
  ASSERT_TRUE(doc.Create(nullptr));
  CPDFObjRef ref;
  ASSERT_TRUE(doc.RegistObj(Parse("<</Type/Widget/Box[1]>>"), &ref));
  CPDFObject* before = doc.GetObj(ref);
  CPDFDict holder;
  holder.SetReference("W", ref);
  EXPECT_FALSE(BindEntry<CTestWidget>(&doc, holder, "W", IsTestWidget));
  EXPECT_EQ(doc.GetObj(ref), before);
  EXPECT_EQ(Text(*before), Text(*Parse("<</Type/Widget/Box[1]>>")));
}

}  // namespace
}  // namespace quarn
