// Recording a just-applied filter in "Filter" and "DecodeParms": the newest encoding first.
#include <gtest/gtest.h>

#include "pdf/object/limits.h"
#include "support/filters.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::DataOf;
using test::NamesOf;
using test::StreamWith;

std::unique_ptr<CPDFDict> PredictorParms(int predictor) {
  auto parms = std::make_unique<CPDFDict>();
  parms->Insert("Predictor", std::make_unique<CPDFInt>(predictor));
  return parms;
}

int PredictorOf(CPDFObject* value) {
  CPDFDict* dict = AsDict(value);
  CPDFNumber* number = dict ? dict->GetNumber(nullptr, "Predictor") : nullptr;
  return number ? number->IntValue() : -1;
}

std::unique_ptr<CPDFArray> NameArray(std::initializer_list<const char*> names) {
  auto array = std::make_unique<CPDFArray>();
  for (const char* name : names) array->Push_Back(std::make_unique<CPDFName>(name));
  return array;
}

class EncodeFilterRecord : public ::testing::Test {
 protected:
  std::unique_ptr<CPDFStream> stream = StreamWith("data");
  CPDFErrorRecord error;

  bool Record(const char* name, int predictor = 0) {
    return stream->EncodeFilter(name, predictor ? PredictorParms(predictor) : nullptr, error);
  }
  CPDFArray* ParmsArray() { return AsArray(stream->Get_DecodeParms()); }
};

TEST_F(EncodeFilterRecord, AbsentFilterBecomesTheName) {
  ASSERT_TRUE(Record("ASCII85Decode"));
  CPDFName* filter = AsName(stream->Get_Filter());
  ASSERT_NE(filter, nullptr);
  EXPECT_TRUE(filter->Equals("ASCII85Decode"));
  EXPECT_EQ(stream->Lookup("DecodeParms"), nullptr);
  EXPECT_EQ(DataOf(*stream), "data");
}

TEST_F(EncodeFilterRecord, AbsentFilterWithParametersStoresThemDirectly) {
  ASSERT_TRUE(Record("FlateDecode", 12));
  EXPECT_EQ(PredictorOf(stream->Get_DecodeParms()), 12);
}

TEST_F(EncodeFilterRecord, NameFilterBecomesAnArrayNewestFirst) {
  stream->Set_Filter(std::make_unique<CPDFName>("FlateDecode"));
  ASSERT_TRUE(Record("ASCII85Decode"));
  EXPECT_EQ(NamesOf(stream->Get_Filter()),
            (std::vector<std::string>{"ASCII85Decode", "FlateDecode"}));
  EXPECT_EQ(stream->Lookup("DecodeParms"), nullptr);
}

TEST_F(EncodeFilterRecord, NameFilterWithOldParametersPairsThemWithNull) {
  stream->Set_Filter(std::make_unique<CPDFName>("FlateDecode"));
  stream->Set_DecodeParms(PredictorParms(2));
  ASSERT_TRUE(Record("ASCIIHexDecode"));
  CPDFArray* parms = ParmsArray();
  ASSERT_NE(parms, nullptr);
  ASSERT_EQ(parms->Count(), 2u);
  EXPECT_TRUE(parms->GetObj(nullptr, 0)->IsType(kTypeNull));
  EXPECT_EQ(PredictorOf(parms->GetObj(nullptr, 1)), 2);
}

TEST_F(EncodeFilterRecord, NameFilterWithNewParametersOnlyHoldsThem) {
  stream->Set_Filter(std::make_unique<CPDFName>("FlateDecode"));
  ASSERT_TRUE(Record("RunLengthDecode", 10));
  ASSERT_NE(ParmsArray(), nullptr);
  ASSERT_EQ(ParmsArray()->Count(), 1u);  // while "Filter" has two
  EXPECT_EQ(PredictorOf(ParmsArray()->GetObj(nullptr, 0)), 10);
}

TEST_F(EncodeFilterRecord, ArrayFilterTakesTheNewNameAtItsFront) {
  stream->Set_Filter(NameArray({"ASCII85Decode", "FlateDecode"}));
  ASSERT_TRUE(Record("ASCIIHexDecode"));
  EXPECT_EQ(NamesOf(stream->Get_Filter()),
            (std::vector<std::string>{"ASCIIHexDecode", "ASCII85Decode", "FlateDecode"}));
  EXPECT_EQ(stream->Lookup("DecodeParms"), nullptr);
}

TEST_F(EncodeFilterRecord, ArrayParametersTakeTheNewOnesOrNullAtTheFront) {
  stream->Set_Filter(NameArray({"FlateDecode"}));
  auto parms = std::make_unique<CPDFArray>();
  parms->Push_Back(PredictorParms(12));
  stream->Set_DecodeParms(std::move(parms));
  ASSERT_TRUE(Record("ASCII85Decode"));
  ASSERT_EQ(ParmsArray()->Count(), 2u);
  EXPECT_TRUE(ParmsArray()->GetObj(nullptr, 0)->IsType(kTypeNull));
  EXPECT_EQ(PredictorOf(ParmsArray()->GetObj(nullptr, 1)), 12);
  ASSERT_TRUE(Record("RunLengthDecode", 3));
  ASSERT_EQ(ParmsArray()->Count(), 3u);
  EXPECT_EQ(PredictorOf(ParmsArray()->GetObj(nullptr, 0)), 3);
}

TEST_F(EncodeFilterRecord, ArrayFilterWithNonArrayParametersPairsThem) {
  stream->Set_Filter(NameArray({"FlateDecode"}));
  stream->Set_DecodeParms(PredictorParms(15));
  ASSERT_TRUE(Record("ASCIIHexDecode", 4));
  ASSERT_EQ(ParmsArray()->Count(), 2u);
  EXPECT_EQ(PredictorOf(ParmsArray()->GetObj(nullptr, 0)), 4);
  EXPECT_EQ(PredictorOf(ParmsArray()->GetObj(nullptr, 1)), 15);
}

TEST_F(EncodeFilterRecord, ArrayFilterWithoutParametersLeavesThemAbsentOrSingle) {
  stream->Set_Filter(NameArray({"FlateDecode"}));
  ASSERT_TRUE(Record("ASCIIHexDecode"));
  EXPECT_EQ(stream->Lookup("DecodeParms"), nullptr);
  ASSERT_TRUE(Record("ASCII85Decode", 5));
  ASSERT_EQ(ParmsArray()->Count(), 1u);
  EXPECT_EQ(PredictorOf(ParmsArray()->GetObj(nullptr, 0)), 5);
}

TEST_F(EncodeFilterRecord, FilterOfAnotherTypeFailsWithTheRecordEmptied) {
  stream->Set_Filter(std::make_unique<CPDFInt>(3));
  error = CPDFException("Earlier", "Call", kUserError, "kept until now");
  EXPECT_FALSE(Record("ASCIIHexDecode"));
  EXPECT_FALSE(error.IsError());
  EXPECT_TRUE(stream->Get_Filter()->IsType(kTypeInteger));
}

TEST_F(EncodeFilterRecord, ChainLengthIsCapped) {
  auto names = std::make_unique<CPDFArray>();
  for (int i = 0; i < limits::kMaxFiltersPerStream; ++i) {
    names->Push_Back(std::make_unique<CPDFName>("ASCIIHexDecode"));
  }
  stream->Set_Filter(std::move(names));
  EXPECT_FALSE(Record("ASCIIHexDecode"));
  EXPECT_EQ(error.Module(), "CPDFStream");
  EXPECT_EQ(error.Method(), "EncodeFilter");
  EXPECT_EQ(error.Code(), kUserError);
  EXPECT_EQ(error.Message(), "too many filters");
  EXPECT_EQ(NamesOf(stream->Get_Filter()).size(), size_t(limits::kMaxFiltersPerStream));
  // An encoder on such a stream fails before it changes anything.
  CPDFErrorRecord encodeError;
  EXPECT_FALSE(stream->EncodeASCIIHexFilter(encodeError));
  EXPECT_EQ(encodeError.Message(), "too many filters");
  EXPECT_EQ(DataOf(*stream), "data");
}

}  // namespace
}  // namespace quarn
