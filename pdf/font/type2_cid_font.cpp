#include "pdf/font/type2_cid_font.h"

#include <mutex>

#include "pdf/document/doc.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/truetype_font.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFType2CIDFont";

// A run of host codes measured into consecutive CIDs.
struct CodeRun {
  int32_t firstCode, lastCode;
  int32_t firstCID;
};
constexpr CodeRun kProportionalRuns[] = {{32, 125, 1}, {32, 126, 231}, {160, 223, 326}};
constexpr int32_t kTildeCode = 126;
constexpr int32_t kTildeCID = 631;
// The fixed-pitch W: CIDs 1-94, 231-389 and 631 at half width.
constexpr int32_t kFixedPitchW[] = {1, 94, 500, 231, 389, 500, 631, 631, 500};

bool BindType2CIDFont(CPDFObjHolder* doc, CPDFArray& array, size_t index) {
  return BindElement<CPDFType2CIDFont>(doc, array, index, IsType2CIDFont);
}

}  // namespace

bool IsType2CIDFont(CPDFObjHolder* doc, CPDFObject* value) {
  return IsCIDFont(doc, value) &&
         static_cast<CPDFDict*>(value)->HasName(doc, "Subtype", "CIDFontType2");
}

void RegisterType2CIDFontKind() {
  static std::once_flag once;
  std::call_once(once,
                 [] { RegisterCIDFontKind(kCIDFontType2, IsType2CIDFont, BindType2CIDFont); });
}

bool CPDFType2CIDFont::CreateWidths() {
  static constexpr const char* kOp = "CreateWidths";
  try {
    CPDFName* baseFont = Get_BaseFont();
    if (!baseFont) Throw(kModule, kOp, kInternalError, "CPDFType2CIDFont::Get_BaseFont()");
    CPDFObjRef wRef;
    CPDFArray* w = Get_W(&wRef);
    if (w && wRef.IsDefined() && !(Doc() && Doc()->UpdateObj(wRef))) {
      Throw(kModule, kOp, kInternalError, "CPDFDoc::UpdateObj()");
    }
    if (!w) {
      if (!Set_W(std::make_unique<CPDFArray>()))
        Throw(kModule, kOp, kInternalError, "CPDFCIDFont::Set_W()");
      w = Get_W();
    }
    w->ClearItems();
    FontCaches* caches = Caches();
    const TrueTypeInfo* info = caches ? caches->FindTrueTypeInfo(baseFont->Str()) : nullptr;
    if (!info) {
      Throw(kModule, kOp, kUserError,
            Format("undefined TrueType font: %s", baseFont->Str().c_str()));
    }
    auto widthOf = [info](int32_t code) {
      return info->WidthOf(static_cast<uint8_t>(code)).value_or(0);
    };
    if ((info->tmPitchAndFamily & kTmProportional) != 0) {
      for (const CodeRun& run : kProportionalRuns) {
        w->Push_Back(std::make_unique<CPDFInt>(run.firstCID));
        auto list = std::make_unique<CPDFArray>();
        for (int32_t code = run.firstCode; code <= run.lastCode; ++code) {
          list->Push_Back(std::make_unique<CPDFInt>(widthOf(code)));
        }
        w->Push_Back(std::move(list));
      }
      w->Push_Back(std::make_unique<CPDFInt>(kTildeCID));
      w->Push_Back(std::make_unique<CPDFInt>(kTildeCID));
      w->Push_Back(std::make_unique<CPDFInt>(widthOf(kTildeCode)));
    } else {
      for (int32_t value : kFixedPitchW) w->Push_Back(std::make_unique<CPDFInt>(value));
    }
    return true;
  } catch (...) {
    if (Doc()) KeepCurrentError(Doc()->LastError(), kModule, kOp);
  }
  return false;
}

std::unique_ptr<CPDFType0Font> CPDFType2CIDFont::CreateFont(CPDFObjHolder* doc,
                                                            const std::string& fontName,
                                                            const std::string& cmapName) {
  static constexpr const char* kOp = "CreateFont";
  CPDFObjRef descendantRef;
  try {
    FontCaches* caches = FontCachesOf(doc);
    const TrueTypeInfo* info = caches ? caches->FindTrueTypeInfo(fontName) : nullptr;
    if (!info)
      Throw(kModule, kOp, kUserError, Format("TrueType info not found: %s", fontName.c_str()));
    if (info->charSet != kCharsetShiftJIS) {
      Throw(kModule, kOp, kUserError, Format("unknown TrueType encoding: %s", fontName.c_str()));
    }
    std::string cmap = cmapName;
    if (cmap.empty())
      cmap = (info->tmPitchAndFamily & kTmProportional) != 0 ? "90msp-RKSJ-H" : "90ms-RKSJ-H";

    auto require = [](bool ok, const char* step) {
      if (!ok) Throw(kModule, kOp, kInternalError, step);
    };
    auto sysInfo = std::make_unique<CPDFCIDSysInfo>();
    require(sysInfo->Create(doc, "Adobe", "Japan1", 2), "CPDFCIDSysInfo::Create()");
    std::unique_ptr<CPDFFontDesc> desc =
        CreateTrueTypeDescriptor(doc, *info, fontName, kFontFlagSymbolic, kModule, kOp);

    auto cidFont = std::make_unique<CPDFType2CIDFont>();
    require(cidFont->CPDFFont::Create(doc, fontName) &&
                cidFont->Set_Subtype(std::make_unique<CPDFName>("CIDFontType2")) &&
                cidFont->Set_CIDSystemInfo(std::move(sysInfo)) &&
                cidFont->Set_FontDescriptor(std::move(desc)) &&
                cidFont->Set_DW(std::make_unique<CPDFInt>(1000)) &&
                cidFont->Set_W(std::make_unique<CPDFArray>()),
            "CPDFType2CIDFont::Create()");
    require(doc->RegistObj(std::move(cidFont), &descendantRef), "CPDFDoc::RegistObj()");
    auto descendants = std::make_unique<CPDFArray>();
    descendants->Push_Back(std::make_unique<CPDFObjRef>(descendantRef));

    auto font = std::make_unique<CPDFType0Font>();
    require(font->CPDFFont::Create(doc, fontName) &&
                font->Set_Subtype(std::make_unique<CPDFName>("Type0")) &&
                font->Set_Encoding(std::make_unique<CPDFName>(cmap)) &&
                font->Set_DescendantFonts(std::move(descendants)),
            "CPDFType0Font::Create()");
    if (font->CreateWidths()) return font;
  } catch (...) {
    if (doc) KeepCurrentError(doc->LastError(), kModule, kOp);
  }
  if (doc && descendantRef.IsDefined()) doc->DeleteObj(descendantRef);
  return nullptr;
}

}  // namespace quarn
