// Signature fields and certification as the tool reads them before stamping: fields found
// through "Kids" (with inherited "FT" and "V", and trees that loop), signatures certified by
// DocMDP.
#include "pdf/document/signatures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::MakePdf;

constexpr const char* kSignature =
    "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 1 2 3] /Contents <00> >>";
constexpr const char* kDocMDP =
    "<< /Filter /Adobe.PPKLite /Contents <00> /Reference [<< /TransformMethod /DocMDP "
    "/TransformParams << /P 1 >> >>] >>";
constexpr const char* kFieldMDPOnly =
    "<< /Type /Sig /Contents <00> /Reference [<< /TransformMethod /FieldMDP >>] >>";

struct SignatureCase {
  const char* name;
  std::string catalogExtra;          // entries added to the catalog (object 1)
  std::vector<std::string> objects;  // objects 4 and on
  bool signedDoc;
  bool certified;
};

class Signatures : public test::DocTest, public ::testing::WithParamInterface<SignatureCase> {};

TEST_P(Signatures, AreFoundAsTheFormAndPermsSay) {
  const SignatureCase& c = GetParam();
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R " + c.catalogExtra + " >>",
                                      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>"};
  objects.insert(objects.end(), c.objects.begin(), c.objects.end());
  auto doc = OpenBytes(MakePdf(objects));
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(HasSignature(*doc), c.signedDoc);
  EXPECT_EQ(IsCertified(*doc), c.certified);
  EXPECT_FALSE(doc->LastError().IsError());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Signatures,
    ::testing::Values(
        SignatureCase{"NoForm", "", {}, false, false},
        SignatureCase{"SignedField",
                      "/AcroForm << /Fields [4 0 R] >>",
                      {"<< /FT /Sig /T (S) /V 5 0 R >>", kSignature},
                      true,
                      false},
        SignatureCase{"EmptySignatureField",
                      "/AcroForm << /Fields [4 0 R] >>",
                      {"<< /FT /Sig /T (S) >>"},
                      false,
                      false},
        SignatureCase{"ValueNotASignature",
                      "/AcroForm << /Fields [4 0 R] >>",
                      {"<< /FT /Sig /T (S) /V (text) >>"},
                      false,
                      false},
        // The type on the parent, the value on its kid; the parent lists itself too.
        SignatureCase{"InheritedTypeUnderALoop",
                      "/AcroForm << /Fields [4 0 R] >>",
                      {"<< /FT /Sig /T (P) /Kids [4 0 R 5 0 R] >>",
                       "<< /Parent 4 0 R /T (K) /V 6 0 R >>", kSignature},
                      true,
                      false},
        SignatureCase{"LoopWithoutSignature",
                      "/AcroForm << /Fields [4 0 R] >>",
                      {"<< /T (A) /Kids [5 0 R] >>", "<< /T (B) /Kids [4 0 R] /FT /Tx >>"},
                      false,
                      false},
        SignatureCase{"CertifiedDocMDP",
                      "/Perms << /DocMDP 4 0 R >> /AcroForm << /Fields [5 0 R] >>",
                      {kDocMDP, "<< /FT /Sig /T (S) /V 4 0 R >>"},
                      true,
                      true},
        SignatureCase{"PermsWithoutDocMDPTransform",
                      "/Perms << /DocMDP 4 0 R >>",
                      {kFieldMDPOnly},
                      false,
                      false},
        SignatureCase{"UsageRightsOnly", "/Perms << /UR3 4 0 R >>", {kDocMDP}, false, false}),
    [](const ::testing::TestParamInfo<SignatureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace quarn
